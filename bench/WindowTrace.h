// How long skyLedger's windows take to show an epoch: the window thread's events noted
// as they are delivered (the link's messages to each window, and each repaint pass with
// the windows it painted), and from them, for each epoch and window, when the window was
// given its last message of the epoch and when it had painted it.
#pragma once

#include <QObject>
#include <array>
#include <bitset>
#include <chrono>
#include <cstddef>
#include <vector>

#include "monitor/link/LinkMessages.h"

class WindowRegistry;

namespace bench {

using Clock = std::chrono::steady_clock;

inline constexpr std::size_t kWindows = static_cast<std::size_t>(WindowType::None);

// The epoch of each window message, from the order the link posts them in: an epoch runs
// from the raw sentence of its GGA (the simulator begins each epoch with one, and a raw
// sentence goes before what the sentence tells) to the next. What the link tells late
// and once an epoch (the sky report and the summary for Track and Fix mode, which wait
// for the sentence that ended the last epoch, or else for the next epoch to begin) goes
// before the next GGA, so it counts for its own epoch.
class EpochOrder {
public:
    // -1 before the first GGA.
    int Of(const LinkMessage& message);

private:
    int m_epoch = -1;
};

// Installed on the application: notes each link message a view is given (its window and
// epoch) and each repaint pass (an update request, or a paint outside one) with its end
// and the windows it painted. A pass is delivered from here so that its end is seen.
class WindowTrace : public QObject {
public:
    struct Handled {
        Clock::time_point at;
        int epoch;
    };
    struct Pass {
        Clock::time_point start, end;
        std::bitset<kWindows> painted;
    };

    // The windows are the views registered now.
    explicit WindowTrace(const WindowRegistry& registry);
    bool eventFilter(QObject* target, QEvent* event) override;

    const std::vector<Handled>& HandledBy(std::size_t window) const { return m_handled[window]; }
    const std::vector<Pass>& Passes() const { return m_passes; }

private:
    void MarkPainted(const QObject* widget);

    std::array<const QObject*, kWindows> m_views{};
    std::array<std::vector<Handled>, kWindows> m_handled;
    std::vector<Pass> m_passes;
    EpochOrder m_order;
    bool m_inPass = false;
    QEvent* m_delivering = nullptr;
};

// For one epoch, by window: when the window was given its last message of the epoch and
// when it showed it (zero for both: it had no message of it).
struct EpochInWindows {
    std::array<Clock::time_point, kWindows> handled{}, shown{};
};

// Epochs 0 to `epochs` - 1 as the trace saw them.
std::vector<EpochInWindows> EpochsInWindows(const WindowTrace& trace, std::size_t epochs);

// For long runs, in constant memory: by window, how many link messages it was given and
// how often it painted; how many epochs began (raw GGA sentences handled); the longest
// repaint pass; and, for each epoch, how long after it was written its sky report (the
// last of its messages) reached the Sky view, the worst of them kept. Epoch e is taken
// as written at `start` + e periods, as the cost run's writer does.
class WindowTally : public QObject {
public:
    WindowTally(const WindowRegistry& registry, Clock::time_point start, Clock::duration period);
    bool eventFilter(QObject* target, QEvent* event) override;

    long Messages(std::size_t window) const { return m_messages[window]; }
    long Paints(std::size_t window) const { return m_paints[window]; }
    long Epochs() const { return m_epochs; }
    Clock::duration LongestPass() const { return m_longestPass; }
    Clock::duration WorstSkyLag() const { return m_worstSkyLag; }
    long SkyReports() const { return m_skyReports; }
    long LateSkyReports() const { return m_lateSkyReports; }  // later than one period

private:
    std::array<const QObject*, kWindows> m_views{};
    std::array<long, kWindows> m_messages{}, m_paints{};
    Clock::time_point m_start;
    Clock::duration m_period;
    EpochOrder m_order;
    long m_epochs = 0, m_skyReports = 0, m_lateSkyReports = 0;
    Clock::duration m_longestPass{}, m_worstSkyLag{};
    QEvent* m_delivering = nullptr;
};

}  // namespace bench
