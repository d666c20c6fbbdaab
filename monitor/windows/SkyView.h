// "Sky view": to be built.
#pragma once

#include <QWidget>

class CSkyViewView : public QWidget {
    Q_OBJECT
public:
    explicit CSkyViewView(QWidget* parent = nullptr);
};
