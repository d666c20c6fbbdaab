#include "bench/WindowTrace.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <algorithm>
#include <cstring>

#include "monitor/windows/WindowRegistry.h"
#include "monitor/windows/WindowTypes.h"

namespace bench {
namespace {

// The link's window messages; 1145-1151 are the windows' clear messages.
constexpr int kFirstLinkMessage = 1025, kLastLinkMessage = 1144;
constexpr int kSettledEpoch = 3;

}  // namespace

int EpochOrder::Of(const LinkMessage& message) {
    if (message.number == msg::kRawSentence) {
        const RawSentence& raw = std::get<RawSentence>(message.payload);
        if (raw.length > 6 && std::memcmp(raw.text + 3, "GGA", 3) == 0) ++m_epoch;
    }
    return m_epoch;
}

WindowTrace::WindowTrace(const WindowRegistry& registry) {
    for (const MonitorWindowType& row : MonitorWindowTypes())
        m_views[static_cast<std::size_t>(row.type)] = registry.View(row.type);
}

bool WindowTrace::eventFilter(QObject* target, QEvent* event) {
    const int type = event->type();
    if (event == m_delivering) return false;
    if (type >= kFirstLinkMessage && type <= kLastLinkMessage) {
        const int epoch = m_order.Of(static_cast<LinkEvent*>(event)->message);
        m_handled[static_cast<std::size_t>(TargetOf(type))].push_back({Clock::now(), epoch});
        return false;
    }
    if (type != QEvent::UpdateRequest && type != QEvent::Paint) return false;
    if (m_inPass) {
        if (type == QEvent::Paint) MarkPainted(target);
        return false;
    }
    m_passes.push_back({Clock::now(), {}, {}});
    m_inPass = true;
    if (type == QEvent::Paint) MarkPainted(target);
    m_delivering = event;
    QCoreApplication::sendEvent(target, event);
    m_delivering = nullptr;
    m_inPass = false;
    m_passes.back().end = Clock::now();
    return true;
}

void WindowTrace::MarkPainted(const QObject* widget) {
    for (const QObject* o = widget; o; o = o->parent()) {
        const auto view = std::find(m_views.begin(), m_views.end(), o);
        if (view == m_views.end()) continue;
        m_passes.back().painted.set(static_cast<std::size_t>(view - m_views.begin()));
        return;
    }
}

namespace {

// When window `w` showed the epoch whose last message for it was handled at `at`: the
// end of the last pass that painted the window of those that began after `at` and no
// later than the window's next message, or than the first pass after `at` (one pass may
// paint what two messages changed). A chart repaints in a pass of its own after the rest
// of its window. A window with nothing to repaint showed the epoch on handling it.
Clock::time_point ShownAt(const WindowTrace& trace, std::size_t w, Clock::time_point at, Clock::time_point next) {
    const auto& passes = trace.Passes();
    auto pass = std::partition_point(passes.begin(), passes.end(),
                                     [&](const WindowTrace::Pass& p) { return p.start < at; });
    if (pass == passes.end()) return at;
    const auto limit = std::max(pass->start, next);
    Clock::time_point shown = at;
    for (; pass != passes.end() && pass->start <= limit; ++pass)
        if (pass->painted.test(w)) shown = pass->end;
    return shown;
}

}  // namespace

std::vector<EpochInWindows> EpochsInWindows(const WindowTrace& trace, std::size_t epochs) {
    std::vector<EpochInWindows> result(epochs);
    for (std::size_t w = 0; w < kWindows; ++w) {
        const auto& handled = trace.HandledBy(w);
        for (std::size_t i = 0; i < handled.size(); ++i) {
            const bool lastOfEpoch = i + 1 == handled.size() || handled[i + 1].epoch != handled[i].epoch;
            const auto epoch = static_cast<std::size_t>(handled[i].epoch);
            if (!lastOfEpoch || handled[i].epoch < 0 || epoch >= epochs) continue;
            const auto next = i + 1 < handled.size() ? handled[i + 1].at : Clock::time_point::max();
            result[epoch].handled[w] = handled[i].at;
            result[epoch].shown[w] = ShownAt(trace, w, handled[i].at, next);
        }
    }
    return result;
}

WindowTally::WindowTally(const WindowRegistry& registry, Clock::time_point start, Clock::duration period)
    : m_start(start), m_period(period) {
    for (const MonitorWindowType& row : MonitorWindowTypes())
        m_views[static_cast<std::size_t>(row.type)] = registry.View(row.type);
}

bool WindowTally::eventFilter(QObject* target, QEvent* event) {
    const int type = event->type();
    if (event == m_delivering) return false;
    if (type >= kFirstLinkMessage && type <= kLastLinkMessage) {
        const auto window = static_cast<std::size_t>(TargetOf(type));
        if (window < kWindows) ++m_messages[window];
        const LinkMessage& message = static_cast<LinkEvent*>(event)->message;
        const int epoch = m_order.Of(message);
        m_epochs = epoch + 1;
        // The first epochs' sky reports wait for the next epoch while the link learns
        // which sentence ends one: they are left out.
        if (type == msg::kSkyInView && epoch >= kSettledEpoch) {
            ++m_skyReports;
            const Clock::duration lag = Clock::now() - (m_start + m_period * epoch);
            m_worstSkyLag = std::max(m_worstSkyLag, lag);
            m_lateSkyReports += lag > m_period;
        }
        return false;
    }
    if (type == QEvent::Paint) {
        for (const QObject* o = target; o; o = o->parent()) {
            const auto view = std::find(m_views.begin(), m_views.end(), o);
            if (view == m_views.end()) continue;
            ++m_paints[static_cast<std::size_t>(view - m_views.begin())];
            break;
        }
        return false;
    }
    if (type != QEvent::UpdateRequest) return false;
    const auto begin = Clock::now();
    m_delivering = event;
    QCoreApplication::sendEvent(target, event);
    m_delivering = nullptr;
    m_longestPass = std::max(m_longestPass, Clock::now() - begin);
    return true;
}

}  // namespace bench
