// "Fix mode": to be built.
#pragma once

#include <QWidget>

class CFixModeView : public QWidget {
    Q_OBJECT
public:
    explicit CFixModeView(QWidget* parent = nullptr);
};
