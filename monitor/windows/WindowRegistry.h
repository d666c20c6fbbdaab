// For each window type the newest view and child frame. The link thread posts to the
// views through it; a window that goes away leaves it at once, under the same lock as
// the posting, so nothing is ever posted to a window being destroyed.
#pragma once

#include <QEvent>
#include <QObject>
#include <array>
#include <functional>
#include <mutex>

#include "monitor/link/LinkMessages.h"
#include "platform/windowthread/WindowThread.h"

class QMdiSubWindow;
class QWidget;

// A window message from the link: its event type is the message number, and it carries
// its own copy of the record.
class LinkEvent : public QEvent {
public:
    explicit LinkEvent(const LinkMessage& m) : QEvent(static_cast<QEvent::Type>(m.number)), message(m) {}
    LinkMessage message;
};

class WindowRegistry {
public:
    WindowRegistry();

    void SetView(WindowType type, QWidget* view);
    void SetFrame(WindowType type, QMdiSubWindow* frame);
    QWidget* View(WindowType type) const;
    QMdiSubWindow* Frame(WindowType type) const;

    // Any thread: posts `event` to the registered view of `type`, or drops it.
    void Post(WindowType type, QEvent* event);

private:
    static std::size_t Slot(WindowType type) { return static_cast<std::size_t>(type); }
    void Forget(QObject* gone);

    mutable std::mutex m_mutex;
    std::array<QWidget*, kWindowTypeCount> m_views{};
    std::array<QMdiSubWindow*, kWindowTypeCount> m_frames{};
};

// The link's sink in the monitor: every message to its window's registered view.
class RegistrySink : public ILinkSink {
public:
    explicit RegistrySink(WindowRegistry& registry) : m_registry(registry) {}
    void Post(const LinkMessage& message) override;

private:
    WindowRegistry& m_registry;
};
