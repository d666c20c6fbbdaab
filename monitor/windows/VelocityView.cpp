#include "VelocityView.h"

CVelocityView::CVelocityView(QWidget* parent) : QWidget(parent) {}
