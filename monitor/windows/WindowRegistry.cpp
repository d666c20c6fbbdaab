#include "WindowRegistry.h"

#include <QCoreApplication>
#include <QMdiSubWindow>
#include <QPointer>
#include <QWidget>

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

WindowRegistry::WindowRegistry() {
    static HandOverWitness witness;
    if (QCoreApplication::instance()) QCoreApplication::instance()->installEventFilter(&witness);
}
#else
void ReleaseToWindowThread() {}

WindowRegistry::WindowRegistry() = default;
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

void PostToWindowThread(QObject* context, std::function<void()> call) {
    static Courier* const courier = [] {
        auto* c = new Courier;
        c->moveToThread(QCoreApplication::instance()->thread());
        return c;
    }();
    auto* event = new CallEvent(context, std::move(call));
    ReleaseToWindowThread();
    QCoreApplication::postEvent(courier, event);
}

void WindowRegistry::SetView(WindowType type, QWidget* view) {
    {
        std::lock_guard lock(m_mutex);
        m_views[Slot(type)] = view;
    }
    QObject::connect(view, &QObject::destroyed, [this](QObject* gone) { Forget(gone); });
}

void WindowRegistry::SetFrame(WindowType type, QMdiSubWindow* frame) {
    {
        std::lock_guard lock(m_mutex);
        m_frames[Slot(type)] = frame;
    }
    QObject::connect(frame, &QObject::destroyed, [this](QObject* gone) { Forget(gone); });
}

QWidget* WindowRegistry::View(WindowType type) const {
    std::lock_guard lock(m_mutex);
    return type == WindowType::None ? nullptr : m_views[Slot(type)];
}

QMdiSubWindow* WindowRegistry::Frame(WindowType type) const {
    std::lock_guard lock(m_mutex);
    return type == WindowType::None ? nullptr : m_frames[Slot(type)];
}

void WindowRegistry::Post(WindowType type, QEvent* event) {
    std::lock_guard lock(m_mutex);
    QWidget* view = type == WindowType::None ? nullptr : m_views[Slot(type)];
    if (view) {
        ReleaseToWindowThread();
        QCoreApplication::postEvent(view, event);
    }
    else delete event;
}

void WindowRegistry::Forget(QObject* gone) {
    std::lock_guard lock(m_mutex);
    for (auto& view : m_views)
        if (view == gone) view = nullptr;
    for (auto& frame : m_frames)
        if (frame == gone) frame = nullptr;
}

void RegistrySink::Post(const LinkMessage& message) {
    m_registry.Post(TargetOf(message.number), new LinkEvent(message));
}
