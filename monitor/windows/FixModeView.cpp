#include "FixModeView.h"

CFixModeView::CFixModeView(QWidget* parent) : QWidget(parent) {}
