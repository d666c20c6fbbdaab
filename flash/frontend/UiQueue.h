// Work for the GUI thread from the workers, through the window thread's courier: every
// hand-over is visible to the thread sanitizer, and nothing runs after the dialog is gone.
#pragma once

#include <QObject>
#include <functional>

class UiQueue : public QObject {
public:
    explicit UiQueue(QObject* parent);
    void Post(std::function<void()> work);  // any thread
    void Drain();                           // GUI thread: runs what was posted so far, now
};
