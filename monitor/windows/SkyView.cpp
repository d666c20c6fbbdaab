#include "SkyView.h"

CSkyViewView::CSkyViewView(QWidget* parent) : QWidget(parent) {}
