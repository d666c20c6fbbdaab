#include "UiQueue.h"

namespace {
constexpr int kDrainMs = 20;
}

UiQueue::UiQueue(QObject* parent) : QObject(parent) {
    m_timer.setInterval(kDrainMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { Drain(); });
    m_timer.start();
}

void UiQueue::Post(std::function<void()> work) {
    std::lock_guard lock(m_mutex);
    m_pending.push_back(std::move(work));
}

void UiQueue::Drain() {
    std::vector<std::function<void()>> work;
    {
        std::lock_guard lock(m_mutex);
        work.swap(m_pending);
    }
    for (auto& w : work) w();
}
