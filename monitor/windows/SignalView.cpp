#include "SignalView.h"

CSignalView::CSignalView(QWidget* parent) : QWidget(parent) {}
