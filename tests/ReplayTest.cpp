// Replay of capture logs: the receiver's times, the epochs cut from a capture, pacing,
// the hold on an unacknowledged lead, seeking and the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "monitor/link/NmeaThread.h"
#include "monitor/link/Replay.h"
#include "tests/support/TestSupport.h"

using namespace replay;
namespace fs = std::filesystem;

namespace {

std::string WithChecksum(const std::string& body) {
    uint8_t sum = 0;
    for (char c : body) sum ^= static_cast<uint8_t>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + body + tail;
}

// One epoch as many receivers send it: RMC, GGA and two satellite sentences.
std::string Epoch(const std::string& time) {
    return WithChecksum("GPRMC," + time + ",A,2502.0000,N,12130.0000,E,0.0,0.0,010124,,,A") +
           WithChecksum("GPGGA," + time + ",2502.0000,N,12130.0000,E,1,08,0.9,50.0,M,15.0,M,,") +
           WithChecksum("GPGSV,2,1,08,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45") +
           WithChecksum("GPGSV,2,2,08,15,40,083,46,16,17,308,41,17,07,344,39,18,22,228,45");
}

std::string TimeText(int secondOfDay) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d%02d%02d.00", secondOfDay / 3600 % 24, secondOfDay / 60 % 60,
                  secondOfDay % 60);
    return text;
}

std::vector<Entry> IndexOf(const std::string& capture, std::size_t block = 1 << 20) {
    Indexer indexer;
    for (std::size_t at = 0; at < capture.size(); at += block)
        indexer.Feed(reinterpret_cast<const uint8_t*>(capture.data()) + at, std::min(block, capture.size() - at));
    return indexer.Finish();
}

// The GGA times the windows were sent, in order.
class GgaTimes : public ILinkSink {
public:
    void Post(const LinkMessage& message) override {
        if (message.number != msg::kGga) return;
        const auto& gga = std::get<GgaRecord>(message.payload);
        std::lock_guard lock(m_mutex);
        m_times.push_back(gga.hour * 3600 + gga.minute * 60 + static_cast<int>(gga.second));
    }
    std::vector<int> Times() const {
        std::lock_guard lock(m_mutex);
        return m_times;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<int> m_times;
};

struct CaptureFile {
    explicit CaptureFile(const std::string& bytes) : path(dir / "replay.log") { testsupport::WriteFile(path, bytes); }
    testsupport::ScratchDir dir;
    std::string path;
};

// A capture in a scratch file, opened by a player, and a running link (no port) that
// records the GGA times it dispatches. Stopped in that order at the end.
struct ReplayRig {
    explicit ReplayRig(const std::string& capture) : file(capture) {
        std::string error;
        opened = player.Open(file.path, error);
        EXPECT_TRUE(opened) << error;
        link.Start();
    }
    ~ReplayRig() {
        player.Stop();
        link.Shutdown();
    }
    CaptureFile file;
    GgaTimes sink;
    CNmeaThread link{"replay", 0, &sink, nullptr};
    Player player;
    bool opened = false;
};

bool Within(std::chrono::seconds limit, const std::function<bool()>& condition) {
    return testsupport::WaitUntil(condition, limit);
}

}  // namespace

TEST(ReplayTimes, ParsesTheReceiversTimesOnly) {
    EXPECT_EQ(ParseTimeOfDay("123456"), 12 * 3600 + 34 * 60 + 56);
    EXPECT_DOUBLE_EQ(*ParseTimeOfDay("000000.250"), 0.25);
    for (const char* bad : {"", "12345", "2400000", "126000", "12:34:56", "123456.a", "123456,1"})
        EXPECT_FALSE(ParseTimeOfDay(bad)) << bad;

    const std::string gga = WithChecksum("GNGGA,010203.00,2502.0,N,12130.0,E,1,08,0.9,50.0,M,15.0,M,,");
    EXPECT_EQ(SentenceTime(gga.substr(0, gga.size() - 2)), 3723);
    const std::string gll = WithChecksum("GPGLL,2502.0,N,12130.0,E,010204.00,A,A");
    EXPECT_EQ(SentenceTime(gll.substr(0, gll.size() - 2)), 3724);
    const std::string zda = WithChecksum("GPZDA,010205.00,01,01,2024,,");
    EXPECT_EQ(SentenceTime(zda.substr(0, zda.size() - 2)), 3725);
    std::string corrupt = gga.substr(0, gga.size() - 2);
    corrupt[9] = '9';
    EXPECT_FALSE(SentenceTime(corrupt)) << "a bad checksum is no time";
    EXPECT_FALSE(SentenceTime("$GPGSV,2,1,08,01,40,083,46*7F"));
    EXPECT_FALSE(SentenceTime("$PZRC461,V1.2*00"));
    EXPECT_FALSE(SentenceTime("$GPGGA,,,,,,0,,,,,,,,")) << "no fix yet: no time";
    EXPECT_EQ(SentenceTime("$GPRMC,010206,V,,,,,,,010124,,,N"), 3726) << "no checksum at all is taken";
}

TEST(ReplayTimes, SpeedsAsTyped) {
    EXPECT_EQ(ParseSpeed("max"), kUnpaced);
    EXPECT_EQ(ParseSpeed("Max"), kUnpaced);
    EXPECT_EQ(ParseSpeed("0.25"), 0.25);
    EXPECT_EQ(ParseSpeed("64"), 64);
    for (const char* bad : {"0", "0.2", "65", "-1", "fast", "2x", ""}) EXPECT_FALSE(ParseSpeed(bad)) << bad;
    EXPECT_EQ(TimeOfDayText(3723.9), "01:02:03");
    EXPECT_EQ(TimeOfDayText(-1), "--:--:--");
}

TEST(ReplayIndex, AnEntryPerEpochStartingAtItsFirstTimedSentence) {
    const std::string head = "noise before the first sentence\r\n" + WithChecksum("GPTXT,01,01,02,boot");
    std::string capture = head;
    for (int s = 100; s < 103; ++s) capture += Epoch(TimeText(s));
    const auto entries = IndexOf(capture);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].offset, 0u);
    EXPECT_EQ(entries[0].length, head.size()) << "what comes before any time is its own entry";
    EXPECT_EQ(entries[0].utc, -1);
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(entries[i].offset, head.size() + (i - 1) * Epoch(TimeText(0)).size());
        EXPECT_EQ(capture[entries[i].offset + 3], 'R') << "starts at its RMC";
        EXPECT_EQ(entries[i].at, i - 1);
        EXPECT_EQ(entries[i].utc, 99 + i);
    }
    uint64_t total = 0;
    for (const Entry& e : entries) total += e.length;
    EXPECT_EQ(total, capture.size()) << "the entries cover every byte once";
    // The same capture read a byte at a time, or in blocks that cut sentences: the same cut.
    for (std::size_t block : {1u, 7u, 100u}) {
        const auto again = IndexOf(capture, block);
        ASSERT_EQ(again.size(), entries.size()) << block;
        for (std::size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(again[i].offset, entries[i].offset) << block;
    }
}

TEST(ReplayIndex, GapsAreClampedAndMidnightIsCrossed) {
    const int times[] = {86398, 86399, 0, 1, 3601, 3600, 3602};
    std::string capture;
    for (int t : times) capture += Epoch(TimeText(t));
    const auto entries = IndexOf(capture);
    ASSERT_EQ(entries.size(), 7u);
    const double expected[] = {0, 1, 2, 3, 3 + kLongestGapSeconds, 3 + kLongestGapSeconds, 5 + kLongestGapSeconds};
    for (std::size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(entries[i].at, expected[i]) << i;
}

TEST(ReplayIndex, LargeEpochsSplitBeforeASentenceWithTheSameTime) {
    std::string capture = Epoch(TimeText(5));
    const std::string gsv = WithChecksum("GPGSV,2,1,08,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45");
    while (capture.size() < 3 * kLargestEntry) capture += gsv;
    capture += Epoch(TimeText(6));
    const auto entries = IndexOf(capture);
    ASSERT_GE(entries.size(), 4u);
    for (std::size_t i = 0; i + 1 < entries.size(); ++i) {
        EXPECT_EQ(capture[entries[i].offset], '$');
        EXPECT_LE(entries[i].length, kLargestEntry + gsv.size());
        EXPECT_EQ(entries[i].utc, 5);
    }
    EXPECT_EQ(entries.back().utc, 6);
}

// A line left open writes zeros for hours: the run is cut into entries of its own, so
// neither an entry nor the player's read of one grows with it, and the epochs around it
// keep their sentences whole.
TEST(ReplayIndex, LongRunsWithoutASentenceStartAreSplitToo) {
    const std::string before = Epoch(TimeText(5));
    const std::string after = Epoch(TimeText(6));
    const std::string capture = before + std::string(40 * kLargestEntry + 7, '\0') + after;
    for (const std::size_t block : {std::size_t{1} << 20, std::size_t{4093}}) {
        const auto entries = IndexOf(capture, block);
        ASSERT_GE(entries.size(), 40u);
        EXPECT_EQ(entries.front().offset, 0u);
        EXPECT_EQ(entries.back().offset, capture.size() - after.size());
        EXPECT_EQ(entries.back().utc, 6);
        uint64_t covered = 0;
        for (const Entry& e : entries) {
            EXPECT_EQ(e.offset, covered);
            EXPECT_LE(e.length, 2 * kLargestEntry);
            covered += e.length;
        }
        EXPECT_EQ(covered, capture.size());
    }
    // A packet's first byte counts as a start as "$" does: a packet begun just before the
    // entry is full stays whole in it.
    const std::string packet = "\xAA\xF0" + std::string(500, '\x55');
    const auto entries = IndexOf(std::string(kLargestEntry - 10, '\0') + packet + std::string(2 * kLargestEntry, '\0'));
    ASSERT_GE(entries.size(), 2u);
    EXPECT_EQ(entries[1].offset, 2 * kLargestEntry - 10);
}

TEST(ReplayPlayer, OpenSaysWhyAFileCannotBePlayed) {
    Player player;
    std::string error;
    EXPECT_FALSE(player.Open("/nonexistent/capture.log", error));
    EXPECT_NE(error.find("cannot open /nonexistent/capture.log"), std::string::npos) << error;
    CaptureFile empty("");
    EXPECT_FALSE(player.Open(empty.path, error));
    EXPECT_NE(error.find("nothing to replay"), std::string::npos) << error;
    EXPECT_FALSE(player.Open(empty.dir.Path(), error));
    EXPECT_EQ(error, "cannot replay " + empty.dir.Path() + ": not a regular file");
    CaptureFile noise("");
    std::string bytes = testsupport::RandomBytes(5000, 7);
    std::replace(bytes.begin(), bytes.end(), '$', '#');
    testsupport::WriteFile(noise.path, bytes);
    EXPECT_FALSE(player.Open(noise.path, error));
    EXPECT_NE(error.find("holds no NMEA sentence"), std::string::npos) << error;

    // Sentences without the receiver's time play, unpaced.
    testsupport::WriteFile(noise.path, WithChecksum("GPGSV,1,1,01,01,40,083,46") + WithChecksum("GPTXT,01,01,02,x"));
    ASSERT_TRUE(player.Open(noise.path, error)) << error;
    EXPECT_FALSE(player.Paced());
}

TEST(ReplayPlayer, UnpacedReplayDeliversEveryEpochInOrder) {
    std::string capture;
    for (int s = 0; s < 500; ++s) capture += Epoch(TimeText(43200 + s));
    ReplayRig rig(capture);
    ASSERT_TRUE(rig.opened);
    Player& player = rig.player;
    CNmeaThread& link = rig.link;
    GgaTimes& sink = rig.sink;
    player.Start(link, kUnpaced, {});
    ASSERT_TRUE(Within(std::chrono::seconds(30), [&] { return player.AtEnd(); }));
    const auto times = sink.Times();
    ASSERT_EQ(times.size(), 500u);
    for (int s = 0; s < 500; ++s) ASSERT_EQ(times[s], 43200 + s);
    EXPECT_EQ(player.Position(), 499u);
}

// Nothing is fed before its time: each epoch is dispatched no earlier than its offset
// from the first, divided by the speed, after the start. (A slow machine only makes it
// later.)
TEST(ReplayPlayer, PacedByTheReceiversClockTimesTheSpeed) {
    std::string capture;
    for (int s = 0; s < 9; ++s) capture += Epoch(TimeText(600 + s));
    ReplayRig rig(capture);
    ASSERT_TRUE(rig.opened);
    Player& player = rig.player;
    CNmeaThread& link = rig.link;
    std::mutex mutex;
    std::vector<std::chrono::steady_clock::time_point> fedAt;
    Player::Hooks hooks;
    hooks.dispatched = [&](uint64_t fed) {
        {
            std::lock_guard lock(mutex);
            fedAt.push_back(std::chrono::steady_clock::now());
        }
        player.Acknowledge(fed);
    };
    const auto start = std::chrono::steady_clock::now();  // no later than the player's own start
    player.Start(link, 16, hooks);
    ASSERT_TRUE(Within(std::chrono::seconds(30), [&] { return player.AtEnd(); }));
    player.Stop();
    link.Shutdown();
    ASSERT_EQ(fedAt.size(), 9u);
    for (std::size_t i = 1; i < fedAt.size(); ++i)
        EXPECT_GE(fedAt[i] - start, std::chrono::microseconds(static_cast<int>(i * 1e6 / 16))) << i;
}

// The windows hold the player: a few entries ahead of the last acknowledgement and no
// further. A seek goes on from the chosen epoch; pause holds it there.
TEST(ReplayPlayer, HeldByTheWindowsAndMovedBySeekAndPause) {
    std::string capture;
    for (int s = 0; s < 40; ++s) capture += Epoch(TimeText(7200 + s));
    ReplayRig rig(capture);
    ASSERT_TRUE(rig.opened);
    Player& player = rig.player;
    CNmeaThread& link = rig.link;
    GgaTimes& sink = rig.sink;
    std::atomic<uint64_t> fed{0};
    std::atomic<int> sought{0};
    Player::Hooks hooks;
    hooks.dispatched = [&](uint64_t n) { fed = n; };
    hooks.sought = [&] { ++sought; };
    player.Start(link, kUnpaced, hooks);
    ASSERT_TRUE(Within(std::chrono::seconds(10), [&] { return fed == 5; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(fed, 5u) << "no acknowledgement: the player waits";

    player.Seek(30);
    ASSERT_TRUE(Within(std::chrono::seconds(10), [&] { return sought == 1; }));
    player.Acknowledge(5);
    ASSERT_TRUE(Within(std::chrono::seconds(10), [&] { return fed == 10; }));
    const auto times = sink.Times();
    ASSERT_EQ(times.size(), 10u);
    EXPECT_EQ(times[4], 7204);
    EXPECT_EQ(times[5], 7230) << "after the seek, the chosen epoch comes next";

    player.Pause();
    player.Acknowledge(10);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(fed, 10u) << "paused";
    player.Resume();
    for (uint64_t n = 10; !player.AtEnd() && n < 100; n = fed) {
        player.Acknowledge(n);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(Within(std::chrono::seconds(10), [&] { return player.AtEnd(); }));
    EXPECT_EQ(sink.Times().back(), 7239);
    EXPECT_EQ(player.Position(), 39u);
}

// Captures of real receivers replay whole: as many GGA messages as a straight feed.
TEST(ReplayPlayer, RealCapturesReplayWhole) {
    for (const auto& item : fs::directory_iterator(NMEA_CAPTURES)) {
        if (item.path().extension() != ".nmea") continue;
        SCOPED_TRACE(item.path().filename().string());
        std::ifstream in(item.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        GgaTimes straight;
        {
            CNmeaThread link("straight", 0, &straight, nullptr);
            link.Start();
            link.FeedWithoutDrops(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            link.Drain();
            link.Shutdown();
        }
        Player player;
        std::string error;
        ASSERT_TRUE(player.Open(item.path().string(), error)) << error;
        EXPECT_GT(player.Entries().size(), 1u);
        GgaTimes replayed;
        CNmeaThread link("replay", 0, &replayed, nullptr);
        link.Start();
        player.Start(link, kUnpaced, {});
        ASSERT_TRUE(Within(std::chrono::seconds(30), [&] { return player.AtEnd(); }));
        player.Stop();
        link.Shutdown();
        EXPECT_EQ(replayed.Times(), straight.Times());
    }
}
