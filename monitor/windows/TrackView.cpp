#include "TrackView.h"

CTrackView::CTrackView(INotifier& notifier, QWidget* parent) : QWidget(parent), m_notifier(notifier) {}
