// Work for the GUI thread from the workers. The workers append under a mutex; a timer in
// the GUI thread runs what is there. Unlike posting through Qt, every hand-over is
// visible to the thread sanitizer, and nothing runs after the dialog is gone.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <mutex>
#include <vector>

class UiQueue : public QObject {
public:
    explicit UiQueue(QObject* parent);
    void Post(std::function<void()> work);  // any thread
    void Drain();                           // GUI thread; the timer calls it too

private:
    std::mutex m_mutex;
    std::vector<std::function<void()>> m_pending;
    QTimer m_timer;
};
