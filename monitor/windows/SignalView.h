// "Signal": to be built.
#pragma once

#include <QWidget>

class CSignalView : public QWidget {
    Q_OBJECT
public:
    explicit CSignalView(QWidget* parent = nullptr);
};
