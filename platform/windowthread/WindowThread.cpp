#include "platform/windowthread/WindowThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

// Qt hands a posted event to the window thread under a lock of its own, which the thread
// sanitizer cannot see (Qt is not built with it). In such builds two annotations say
// what that lock does: the posting releases, every delivery acquires.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);

// Qt's own locks are futexes the sanitizer cannot see either: what Qt touches through
// intercepted calls (the posted-event list it moves, its wait conditions, the threads of
// its event loop's library) is left to Qt.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Core.so.6\ncalled_from_lib:libQt6Gui.so.6\ncalled_from_lib:libQt6Widgets.so.6\n"
           "called_from_lib:libglib-2.0.so.0\n";
}

namespace {
char g_handOver;

class HandOverWitness : public QObject {
public:
    bool eventFilter(QObject*, QEvent*) override {
        __tsan_acquire(&g_handOver);
        return false;
    }
};

}  // namespace

void ReleaseToWindowThread() { __tsan_release(&g_handOver); }

void WatchWindowThreadHandOver() {
    static HandOverWitness witness;  // installed again, it stays one filter
    if (QCoreApplication::instance()) QCoreApplication::instance()->installEventFilter(&witness);
}
#else
void ReleaseToWindowThread() {}
void WatchWindowThreadHandOver() {}
#endif

namespace {

// A call for the window thread, carried by an event to the courier, which lives there.
struct CallEvent : QEvent {
    static constexpr auto kType = static_cast<QEvent::Type>(QEvent::User + 901);
    CallEvent(QObject* c, std::function<void()> f) : QEvent(kType), context(c), call(std::move(f)) {}
    QPointer<QObject> context;
    std::function<void()> call;
};

class Courier : public QObject {
public:
    bool event(QEvent* event) override {
        if (event->type() != CallEvent::kType) return QObject::event(event);
        auto& e = static_cast<CallEvent&>(*event);
        if (e.context) e.call();
        return true;
    }
};

}  // namespace

namespace {
Courier* TheCourier() {
    static Courier* const courier = [] {
        auto* c = new Courier;
        c->moveToThread(QCoreApplication::instance()->thread());
        return c;
    }();
    return courier;
}
}  // namespace

void PostToWindowThread(QObject* context, std::function<void()> call) {
    auto* event = new CallEvent(context, std::move(call));
    ReleaseToWindowThread();
    QCoreApplication::postEvent(TheCourier(), event);
}

void DeliverPostedCalls() { QCoreApplication::sendPostedEvents(TheCourier(), CallEvent::kType); }

