// "Track": to be built.
#pragma once

#include <QWidget>

class INotifier;

class CTrackView : public QWidget {
    Q_OBJECT
public:
    explicit CTrackView(INotifier& notifier, QWidget* parent = nullptr);

private:
    INotifier& m_notifier;
};
