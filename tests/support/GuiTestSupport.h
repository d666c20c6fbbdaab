// What the tests of windows and dialogs share: whether to paint, and waiting on the event
// loop.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

namespace testsupport {

// Painting hands image work to Qt's own thread pool, which the thread sanitizer cannot
// see into: there the windows stay unpainted and the pictures come from the other builds.
#if defined(__SANITIZE_THREAD__)
inline constexpr bool kPaint = false;
#else
inline constexpr bool kPaint = true;
#endif

// Runs the event loop until `done` holds; false when `ms` pass first.
inline bool WaitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

}  // namespace testsupport
