#include "monitor/link/Replay.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "monitor/link/NmeaThread.h"

namespace replay {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kLongestSentence = 100;  // longer lines carry no time for us
constexpr double kDaySeconds = 86400;
// Entries the player may run ahead of what the windows have handled.
constexpr uint64_t kLeadEntries = 4;

}  // namespace

void Indexer::StartEntry(uint64_t offset) {
    if (!m_entries.empty() && m_entries.back().offset == offset) {
        m_entries.back().at = m_at;
        m_entries.back().utc = m_lastUtc;
        return;
    }
    m_entries.push_back({offset, 0, m_at, m_lastUtc});
}

void Indexer::LineEnded() {
    m_inSentence = false;
    ++m_sentences;
    const auto time = SentenceTime(m_line);
    if (!time || *time == m_lastUtc) return;
    if (m_lastUtc >= 0) {
        double gap = *time - m_lastUtc;
        if (gap < -kDaySeconds / 2) gap += kDaySeconds;  // past midnight
        m_at += std::clamp(gap, 0.0, kLongestGapSeconds);
    }
    m_lastUtc = *time;
    StartEntry(m_lineStart);
}

void Indexer::Feed(const uint8_t* bytes, std::size_t count) {
    if (m_entries.empty() && count > 0) m_entries.push_back({0, 0, 0, -1});
    for (std::size_t i = 0; i < count; ++i, ++m_offset) {
        const uint8_t b = bytes[i];
        if (b == '$' || b == 0xAA) {
            if (m_offset - m_entries.back().offset >= kLargestEntry) StartEntry(m_offset);
            m_inSentence = b == '$';
            m_lineStart = m_lastStart = m_offset;
            m_line.assign(1, static_cast<char>(b));
        } else if (!m_inSentence && m_offset - m_entries.back().offset >= kLargestEntry &&
                   m_offset - m_lastStart >= kLargestEntry) {
            m_entries.push_back({m_offset, 0, m_at, m_lastUtc});  // in the middle of nothing
        } else if (m_inSentence) {
            if (b == '\r' || b == '\n') LineEnded();
            else if (m_line.size() < kLongestSentence) m_line.push_back(static_cast<char>(b));
            else m_inSentence = false;
        }
    }
}

std::vector<Entry> Indexer::Finish() {
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const uint64_t end = i + 1 < m_entries.size() ? m_entries[i + 1].offset : m_offset;
        m_entries[i].length = static_cast<uint32_t>(end - m_entries[i].offset);
    }
    return std::move(m_entries);
}

std::string TimeOfDayText(double utc) {
    if (utc < 0) return "--:--:--";
    const int s = static_cast<int>(utc);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", s / 3600 % 24, s / 60 % 60, s % 60);
    return text;
}

std::optional<double> ParseSpeed(std::string_view text) {
    if (text == "max" || text == "Max" || text == "MAX") return kUnpaced;
    double speed = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), speed);
    if (ec != std::errc() || end != text.data() + text.size() || !(speed >= kMinSpeed && speed <= kMaxSpeed))
        return std::nullopt;
    return speed;
}

Player::~Player() { Stop(); }

bool Player::Open(const std::string& path, std::string& error) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec) && !std::filesystem::is_regular_file(path, ec)) {
        error = "cannot replay " + path + ": not a regular file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    Indexer indexer;
    std::vector<char> block(1 << 20);
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        indexer.Feed(reinterpret_cast<const uint8_t*>(block.data()), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        error = "cannot read " + path;
        return false;
    }
    m_entries = indexer.Finish();
    if (m_entries.empty()) {
        error = path + " is empty: nothing to replay";
        return false;
    }
    if (indexer.Sentences() == 0) {
        error = path + " holds no NMEA sentence: nothing to replay";
        return false;
    }
    m_paced = std::any_of(m_entries.begin(), m_entries.end(), [](const Entry& e) { return e.utc >= 0; });
    m_path = path;
    return true;
}

void Player::Start(CNmeaThread& link, double speed, Hooks hooks) {
    m_hooks = std::move(hooks);
    m_speed = speed;
    m_thread = std::thread([this, &link] { Run(link); });
}

void Player::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void Player::Pause() {
    std::lock_guard lock(m_mutex);
    m_paused = true;
}

void Player::Resume() {
    {
        std::lock_guard lock(m_mutex);
        m_paused = false;
        m_reanchor = true;
    }
    m_wake.notify_all();
}

void Player::SetSpeed(double speed) {
    {
        std::lock_guard lock(m_mutex);
        m_speed = speed;
        m_reanchor = true;
    }
    m_wake.notify_all();
}

void Player::Seek(std::size_t entry) {
    {
        std::lock_guard lock(m_mutex);
        m_seekTo = std::min(entry, m_entries.empty() ? 0 : m_entries.size() - 1);
        m_atEnd = false;  // from now: the end is told again only once it is reached again
    }
    m_wake.notify_all();
}

void Player::Acknowledge(uint64_t fed) {
    {
        std::lock_guard lock(m_mutex);
        m_acknowledged = std::max(m_acknowledged, fed);
    }
    m_wake.notify_all();
}

bool Player::Paused() const {
    std::lock_guard lock(m_mutex);
    return m_paused;
}

double Player::Speed() const {
    std::lock_guard lock(m_mutex);
    return m_speed;
}

std::size_t Player::Position() const {
    std::lock_guard lock(m_mutex);
    return m_position;
}

bool Player::AtEnd() const {
    std::lock_guard lock(m_mutex);
    return m_atEnd;
}

uint64_t Player::Fed() const {
    std::lock_guard lock(m_mutex);
    return m_fed;
}

std::string Player::ErrorText() const {
    std::lock_guard lock(m_mutex);
    return m_error;
}

void Player::Run(CNmeaThread& link) {
    std::ifstream in(m_path, std::ios::binary);
    uint64_t filePosition = 0;
    std::size_t next = 0;
    double anchorAt = 0;
    Clock::time_point anchorWall;
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        if (m_seekTo) {
            next = *m_seekTo;
            m_seekTo.reset();
            m_atEnd = false;
            m_reanchor = true;
            lock.unlock();
            // The link has dispatched all it was fed: what it knows of the receiver
            // belongs to the old place and goes, as at a new connection.
            link.Dispatcher().Reset();
            if (m_hooks.sought) m_hooks.sought();
            lock.lock();
            continue;
        }
        if (next >= m_entries.size() && !m_atEnd && m_error.empty()) {
            // The file's last epoch has no next one to end it.
            lock.unlock();
            link.EndOfInput();
            lock.lock();
        }
        if (m_paused || next >= m_entries.size() || !m_error.empty()) {
            m_atEnd = next >= m_entries.size();
            m_wake.wait(lock);
            m_reanchor = true;
            continue;
        }
        if (m_hooks.dispatched && m_acknowledged + kLeadEntries < m_fed) {
            m_wake.wait(lock);
            continue;
        }
        const Entry entry = m_entries[next];
        if (m_reanchor) {
            anchorAt = entry.at;
            anchorWall = Clock::now();
            m_reanchor = false;
        }
        if (m_speed != kUnpaced) {
            const auto due = anchorWall + std::chrono::duration_cast<Clock::duration>(
                                              std::chrono::duration<double>((entry.at - anchorAt) / m_speed));
            if (Clock::now() < due) {
                m_wake.wait_until(lock, due);
                continue;
            }
        }
        lock.unlock();
        if (filePosition != entry.offset) {
            in.clear();
            in.seekg(static_cast<std::streamoff>(entry.offset));
        }
        m_buffer.resize(entry.length);
        in.read(reinterpret_cast<char*>(m_buffer.data()), entry.length);
        const bool read = static_cast<uint64_t>(in.gcount()) == entry.length;
        filePosition = entry.offset + static_cast<uint64_t>(in.gcount());
        if (read) {
            link.FeedWithoutDrops(m_buffer.data(), m_buffer.size());
            link.Drain();
        }
        lock.lock();
        if (!read) {
            m_error = "cannot read " + m_path + " at byte " + std::to_string(entry.offset);
            continue;
        }
        m_position = next++;
        const uint64_t fed = ++m_fed;
        if (m_hooks.dispatched) {
            lock.unlock();
            m_hooks.dispatched(fed);
            lock.lock();
        }
    }
}

}  // namespace replay
