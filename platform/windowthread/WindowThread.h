// The one way from a worker thread to the window thread, for the monitor and the flash
// dialogs alike: a call carried by an event to a courier that lives there.
#pragma once

#include <functional>

class QObject;

// Window thread, once the application exists: makes Qt's hand-over of posted events
// visible to the thread sanitizer (nothing in other builds). Calling it again does
// nothing.
void WatchWindowThreadHandOver();

// Before posting to the window thread from another thread: tells the thread sanitizer
// about the ordering Qt's own hand-over gives (it cannot see it); nothing otherwise.
void ReleaseToWindowThread();

// Runs `call` on the window thread, as a queued QMetaObject::invokeMethod on `context`
// does, dropped when `context` is gone by then; callable from any thread. The call is
// made before the hand-over is told, so the thread sanitizer sees it all.
void PostToWindowThread(QObject* context, std::function<void()> call);

// Window thread: runs the calls posted so far, before the event loop would.
void DeliverPostedCalls();
