// "Velocity": to be built.
#pragma once

#include <QWidget>

class CVelocityView : public QWidget {
    Q_OBJECT
public:
    explicit CVelocityView(QWidget* parent = nullptr);
};
