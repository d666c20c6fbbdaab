#include "sim/Simulator.h"

#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <thread>

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::size_t kReplayChunk = 4096;
constexpr auto kIdlePoll = milliseconds(10);

// Pacing needs better than millisecond wake-ups: a 1026-byte packet is 11 ms on a
// 921600-baud line, and rounding each wait up to a whole millisecond would cost a
// quarter of the line.
timespec TimeUntil(Clock::time_point t) {
    const auto ns = std::clamp<int64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(t - Clock::now()).count(),
                                        0, std::chrono::duration_cast<std::chrono::nanoseconds>(kIdlePoll).count());
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

}  // namespace

Simulator::Simulator(PtyLine& line, SimulatorOptions options)
    : m_line(line),
      m_options(std::move(options)),
      m_receiver(m_options.receiver),
      m_commands(m_options.restartDelays, m_options.receiver.epochsPerSecond, m_options.gpdFaults,
                 m_options.gpdOutFile) {
    if (m_options.chip)
        m_chip = std::make_unique<ChipModel>(m_options.faults, m_options.flashFile, m_options.flashSize);
}

// Takes the next piece of output once the previous one is on the line. Generated epochs
// keep their own clock: when a slow line cannot carry every epoch, the late ones are
// skipped, as a module's output falls behind its fixes.
bool Simulator::Refill(Clock::time_point now) {
    m_pending.clear();
    m_pendingPos = 0;
    if (!m_replies.empty()) {
        if (now < m_repliesDue) return false;  // still in the adapter
        m_pending.swap(m_replies);
        return true;
    }
    if (!Talking()) return false;
    if (!m_options.replayFile.empty()) {
        m_pending.resize(kReplayChunk);
        m_replay.read(m_pending.data(), static_cast<std::streamsize>(kReplayChunk));
        m_pending.resize(static_cast<std::size_t>(m_replay.gcount()));
        if (m_pending.empty() && m_options.loopReplay) {
            m_replay.clear();
            m_replay.seekg(0);
            return false;
        }
        if (m_pending.empty()) m_sourceDone.store(true, std::memory_order_release);
        return !m_pending.empty();
    }
    if (m_options.maxEpochs >= 0 && m_epoch >= m_options.maxEpochs) {
        m_sourceDone.store(true, std::memory_order_release);
        return false;
    }
    if (!m_options.flood && now < m_nextEpoch) return false;
    m_pending = m_receiver.Epoch(m_epoch, m_commands.ConditionsAt(m_epoch));
    ++m_epoch;
    const auto period = milliseconds(1000 / m_options.receiver.epochsPerSecond);
    m_nextEpoch += period;
    while (!m_options.flood && m_nextEpoch <= now) {
        m_nextEpoch += period;
        ++m_epoch;
    }
    return true;
}

// What was on its way goes with the module; the next one starts from power-on, in its
// firmware, with the epoch clock running from now.
void Simulator::TakeOutOrPutIn(bool inserted, Clock::time_point now) {
    m_pending.clear();
    m_pendingPos = 0;
    m_replies.clear();
    if (!inserted) return;
    if (m_options.chip)
        m_chip = std::make_unique<ChipModel>(m_options.faults, m_options.flashFile, m_options.flashSize);
    m_firmware.store(true, std::memory_order_release);
    m_nextEpoch = now;
}

bool Simulator::Talking() const {
    return m_firmware.load(std::memory_order_relaxed) && !m_commands.BinaryMode();
}

uint32_t Simulator::LineBaud(uint32_t hostBaud) const {
    return m_options.moduleBaud != 0 && m_firmware.load(std::memory_order_relaxed) ? m_options.moduleBaud : hostBaud;
}

// The chip's boot ROM and loader keep their own rates (ChipModel); only the firmware
// talks at the module's rate.
bool Simulator::HostInStep(uint32_t hostBaud) const {
    return m_options.moduleBaud == 0 || hostBaud == m_options.moduleBaud ||
           !m_firmware.load(std::memory_order_relaxed);
}

void Simulator::SendSome() {
    const uint32_t hostBaud = m_line.HostBaudRate();
    const uint32_t baud = LineBaud(hostBaud);
    std::size_t chunk = m_pending.size() - m_pendingPos;
    if (m_options.paced) {
        if (Clock::now() < m_txPacer.FreeAt()) return;
        // About 5 ms of line time per write keeps the pacing smooth at any rate.
        chunk = std::min<std::size_t>(chunk, std::max<uint32_t>(1, baud / 2000));
    }
    const char* out = m_pending.data() + m_pendingPos;
    if (!HostInStep(hostBaud)) {
        // What a UART sampling at the wrong rate makes of the bytes: noise, in which a
        // sentence with a good checksum is as good as impossible.
        m_garbled.assign(out, chunk);
        for (char& c : m_garbled) {
            m_noise = m_noise * 1664525u + 1013904223u;
            c = static_cast<char>(static_cast<uint8_t>(c) ^ static_cast<uint8_t>(m_noise >> 24));
        }
        out = m_garbled.data();
    }
    const ssize_t n = ::write(m_line.MasterFd(), out, chunk);
    if (n <= 0) return;  // the host's buffer is full: try again after the next poll
    const auto* bytes = reinterpret_cast<const uint8_t*>(out);
    if (m_onSent) m_onSent(bytes, static_cast<std::size_t>(n));
    m_pendingPos += static_cast<std::size_t>(n);
    m_sent.fetch_add(static_cast<uint64_t>(n), std::memory_order_acq_rel);
    if (m_options.paced) m_txPacer.Book(static_cast<std::size_t>(n), baud);
}

// The host's bytes are taken no faster than its baud rate would deliver them.
void Simulator::ReceiveSome() {
    uint8_t buf[512];
    const uint32_t baud = m_line.HostBaudRate();
    const std::size_t want = m_options.paced ? std::clamp<std::size_t>(baud / 2000, 1, sizeof buf) : sizeof buf;
    const ssize_t n = ::read(m_line.MasterFd(), buf, want);
    if (n <= 0) return;
    if (m_options.paced) m_rxPacer.Book(static_cast<std::size_t>(n), baud);
    if (m_onReceived) m_onReceived(buf, static_cast<std::size_t>(n));
    if (!HostInStep(baud)) return;  // noise to the module's UART
    std::string replies;
    if (m_firmware.load(std::memory_order_relaxed))
        m_commands.Receive(buf, static_cast<std::size_t>(n), m_epoch, replies);
    if (!m_chip) {
        AddReplies(replies);
        return;
    }
    // The bytes count at the rate the host has now. A pseudo-terminal carries no rate
    // with its bytes and drains at once, so a host that changes its rate straight after
    // a write may have changed it before the bytes are read; no guess here can tell which
    // came first. A host is heard exactly when it waits for an answer before changing its
    // rate, as the loader protocol has it: the baud switch's acknowledge, the closing
    // acknowledge.
    m_chip->Receive(buf, static_cast<std::size_t>(n), baud, replies);
    const bool firmware = m_chip->RunningFirmware();
    if (m_firmware.load(std::memory_order_relaxed) && !firmware)
        m_pendingPos = m_pending.size();  // restarting into the boot ROM cuts the output short
    m_firmware.store(firmware, std::memory_order_release);
    AddReplies(replies);
}

void Simulator::AddReplies(const std::string& replies) {
    if (replies.empty()) return;
    if (m_replies.empty()) m_repliesDue = Clock::now() + milliseconds(m_options.adapterLatencyMs);
    m_replies += replies;
}

bool Simulator::FollowPlug(Clock::time_point now, std::string& error) {
    if (now >= m_unplugAt) {
        m_unplugAt = Clock::time_point::max();
        m_plugged.store(false, std::memory_order_release);
    } else if (now >= m_plugAt) {
        m_plugAt = Clock::time_point::max();
        m_plugged.store(true, std::memory_order_release);
    }
    const bool plugged = m_plugged.load(std::memory_order_acquire);
    if (plugged == m_wasPlugged) return true;
    m_wasPlugged = plugged;
    if (!plugged) {
        m_line.Unplug();
    } else {
        if (!m_line.Plug(error)) return false;
        TakeOutOrPutIn(m_wasInserted, now);  // powered by the adapter: it starts afresh
    }
    if (m_onPlug) m_onPlug(plugged ? m_line.SlavePath() : std::string());
    return true;
}

bool Simulator::Run(std::string& error) {
    // Wake-ups as exact as the kernel gives: the default 50 us slack per sleep adds up
    // to percents of a 921600-baud line.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    if (!m_options.replayFile.empty()) {
        // Its kind before the open: opening a FIFO waits for a writer that may never come.
        std::error_code ec;
        const auto status = std::filesystem::status(m_options.replayFile, ec);
        if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
            error = "cannot replay " + m_options.replayFile + ": not a regular file";
            return false;
        }
        m_replay.open(m_options.replayFile, std::ios::binary);
        if (!m_replay) {
            error = "cannot read " + m_options.replayFile;
            return false;
        }
    }
    m_nextEpoch = Clock::now();
    if (m_options.startRemoved) m_inserted.store(false);
    m_wasInserted = m_inserted.load();
    if (m_options.unplugAfterS >= 0) {
        const auto after = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(m_options.unplugAfterS));
        const auto away = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(m_options.unplugForS));
        m_unplugAt = m_nextEpoch + after;
        m_plugAt = m_unplugAt + away;
    }
    while (!m_stop.load(std::memory_order_acquire)) {
        const auto now = Clock::now();
        if (!FollowPlug(now, error)) return false;
        if (!m_wasPlugged) {
            std::this_thread::sleep_for(kIdlePoll);
            continue;
        }
        if (const bool inserted = m_inserted.load(std::memory_order_acquire); inserted != m_wasInserted) {
            m_wasInserted = inserted;
            TakeOutOrPutIn(inserted, now);
        }
        if (!m_wasInserted) {
            // An empty fixture: nothing on the line either way.
            char drain[512];
            while (::read(m_line.MasterFd(), drain, sizeof drain) > 0) {}
            std::this_thread::sleep_for(kIdlePoll);
            continue;
        }
        if (m_pendingPos >= m_pending.size()) Refill(now);
        const bool havePending = m_pendingPos < m_pending.size();

        if (!m_line.HostConnected()) {
            // Nobody listening: the module talks into an open cable.
            if (havePending) m_dropped.fetch_add(m_pending.size() - m_pendingPos);
            m_pendingPos = m_pending.size();
            std::this_thread::sleep_for(kIdlePoll);
            continue;
        }
        if (havePending) SendSome();

        // Sleep until the line can take more, the next epoch is due or the host sends.
        const auto after = Clock::now();
        auto wake = after + kIdlePoll;
        short events = 0;
        if (m_pendingPos < m_pending.size()) {
            if (!m_options.paced || after >= m_txPacer.FreeAt()) events |= POLLOUT;
            else wake = std::min(wake, m_txPacer.FreeAt());
        } else if (!m_replies.empty()) {
            wake = std::min(wake, m_repliesDue);
        } else if (!SourceDone() && Talking()) {
            // (While the chip or a GPD upload owns the line no epoch is due: only the
            // host can wake it.)
            const bool clocked = m_options.replayFile.empty() && !m_options.flood;
            wake = clocked ? std::min(wake, m_nextEpoch) : after;
        }
        if (!m_options.paced || after >= m_rxPacer.FreeAt()) events |= POLLIN;
        else wake = std::min(wake, m_rxPacer.FreeAt());
        pollfd p{m_line.MasterFd(), events, 0};
        const timespec timeout = TimeUntil(wake);
        if (::ppoll(&p, 1, &timeout, nullptr) > 0 && (p.revents & POLLIN)) ReceiveSome();
    }
    return true;
}

}  // namespace sim
