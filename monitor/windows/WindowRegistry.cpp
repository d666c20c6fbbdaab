#include "monitor/windows/WindowRegistry.h"

#include <QCoreApplication>
#include <QMdiSubWindow>
#include <QWidget>

WindowRegistry::WindowRegistry() { WatchWindowThreadHandOver(); }

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
