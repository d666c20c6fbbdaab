// The link's counts and its console lines, on a pseudo-terminal fed known bytes: what
// was received, in order, what was sent marked as sent, packets in hexadecimal, failed
// checksums and the framer's drops counted, and the line's loss told.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "monitor/link/LinkStatistics.h"
#include "monitor/link/NmeaThread.h"
#include "tests/support/LinkHarness.h"
#include "tests/support/Nmea.h"
#include "tests/support/TestSupport.h"

namespace {

using testsupport::Sentence;

const std::string kGga = Sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
const std::string kRmc = Sentence("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W");
const std::string kBadGsv = "$GPGSV,1,1,01,04,40,100,40*00\r\n";
// A reply packet: AA F0, its length 11, type 1, value 0x95, the XOR of bytes 2-7, CR LF.
const std::string kPacket = std::string("\xAA\xF0\x0B\x00\x01\x00\x95\x00", 8) + std::string(1, '\x9F') + "\r\n";

struct ConsoleLines {
    std::vector<std::pair<ConsoleKind, std::string>> lines;
    std::vector<bool> bad;
    int batches = 0;
};

ConsoleLines LinesOf(const std::vector<LinkMessage>& messages) {
    ConsoleLines out;
    for (const LinkMessage& m : messages) {
        const auto* batch = std::get_if<ConsoleBatch>(&m.payload);
        if (!batch) continue;
        EXPECT_EQ(m.number, msg::kConsoleLines);
        ++out.batches;
        for (const ConsoleEntry& e : batch->entries) {
            out.lines.emplace_back(e.kind, std::string(batch->TextOf(e)));
            out.bad.push_back(e.badChecksum);
        }
    }
    return out;
}

template <typename Done>
bool Await(Done done, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace

TEST(LinkStatistics, KnownBytesGiveTheirCountsChecksumErrorsAndDrops) {
    testsupport::PtyPair pty;
    testsupport::RecordingSink sink;
    CNmeaThread link(pty.SlavePath(), 115200, &sink, nullptr);
    link.Start();
    ASSERT_TRUE(link.Connect()) << link.OpenErrorText();
    // Two good sentences, a failed checksum, a line too long for any sentence, one broken
    // off by the next "$", and a reply packet.
    const std::string overlong = "$GPTXT," + std::string(300, 'x') + "\r\n";
    const std::string bytes = kGga + kBadGsv + overlong + "$GPGGA,1235" + kRmc + kPacket;
    pty.WriteMaster(bytes);
    ASSERT_TRUE(Await([&] { return link.Statistics().bytes == bytes.size(); }, 5000)) << link.Statistics().bytes;
    link.Drain();
    const LinkStatistics s = link.Statistics();
    EXPECT_EQ(s.sentences, 4u);  // GGA, GSV, RMC, the packet
    EXPECT_EQ(s.checksumErrors, 1u);
    EXPECT_EQ(s.overlong, 1u);
    EXPECT_EQ(s.cutShort, 1u);
    EXPECT_EQ(s.queueDrops, 0u);
    EXPECT_EQ(s.Dropped(), 2u);
    link.Shutdown();
}

// 300 GGAs before the link thread takes any: the queue keeps 255, the rest are dropped.
TEST(LinkStatistics, AQueueThatRunsFullCountsWhatItDropped) {
    testsupport::RecordingSink sink;
    CNmeaThread link("flood", 0, &sink, nullptr);
    std::string bytes;
    for (int i = 0; i < 300; ++i) bytes += kGga;
    for (const char c : bytes) link.FeedRxByte(static_cast<uint8_t>(c));
    const LinkStatistics s = link.Statistics();
    EXPECT_EQ(s.sentences, 300u);
    EXPECT_EQ(s.queueDrops, 45u);
    EXPECT_EQ(s.bytes, 0u) << "only the port's bytes are counted";
}

TEST(LinkStatistics, RateOverTheLastTwoSecondsAndTextsAsTheWindowsShowThem) {
    ByteRate rate;
    EXPECT_EQ(rate.PerSecond(), 0);
    rate.Sample(0, 0);
    rate.Sample(1000, 500);
    EXPECT_DOUBLE_EQ(rate.PerSecond(), 2000);
    for (int t = 1000; t <= 5000; t += 500) rate.Sample(1000, t);  // the line falls silent
    EXPECT_DOUBLE_EQ(rate.PerSecond(), 0);
    rate.Sample(10, 5500);  // a new link counts from 0
    EXPECT_EQ(rate.PerSecond(), 0);

    LinkStatus status;
    status.counts = {12345, 345, 2, 1, 1, 0};
    status.bytesPerSecond = 1152;
    EXPECT_EQ(StatisticsText(status), "RX 12.3 kB, 1.15 kB/s, 345 sentences, 2 bad checksums, 2 dropped");
    status.counts = {999, 1, 1, 0, 0, 0};
    status.bytesPerSecond = 0;
    EXPECT_EQ(StatisticsText(status), "RX 999 B, 0 B/s, 1 sentence, 1 bad checksum, 0 dropped");
    EXPECT_EQ(ShortStatisticsText(status), "999 B, 0 B/s, 1 sentence, 1 bad, 0 dropped");
    EXPECT_EQ(DroppedText({0, 0, 0, 3, 2, 1}), "3 behind, 2 too long, 1 cut short");
}

TEST(ConsoleFeed, PacketsInHexAndSentBytesAsTextRtcmOrHex) {
    const uint8_t packet[] = {0xAA, 0xF0, 0x0A, 0x00, 0x01, 0x00, 0x95, 0x00, 0x9E, 0x0D, 0x0A};
    EXPECT_EQ(HexText(packet, 100), "AA F0 0A 00 01 00 95 00 9E 0D 0A");
    EXPECT_EQ(HexText(packet, 4), "AA F0 0A 00 ... (11 bytes)");
    const std::string command = "$PZRC101,1*2B\r\n";
    EXPECT_EQ(SentText({reinterpret_cast<const uint8_t*>(command.data()), command.size()}), "$PZRC101,1*2B");
    // RTCM 3 message 1005: D3, 6 bits zero and a 10-bit length of 19, then 0x3ED in 12 bits.
    const uint8_t rtcm[] = {0xD3, 0x00, 0x13, 0x3E, 0xD0, 0x00, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x11, 0x22, 0x33};
    EXPECT_EQ(SentText(rtcm), "RTCM3 1005, 25 bytes");
    EXPECT_EQ(SentText({packet, 4}), "AA F0 0A 00");
}

TEST(ConsoleFeed, HandsOverAtMostEveryQuarterSecondAndCountsWhatAFullBatchLeavesOut) {
    ConsoleFeed feed;
    ConsoleBatch batch;
    EXPECT_FALSE(feed.TakeDue(1000, false, batch)) << "nothing to hand over";
    feed.Received("$GPGGA,1*00\r\n", false, 1000);
    EXPECT_TRUE(feed.TakeDue(1000, false, batch));
    ASSERT_EQ(batch.entries.size(), 1u);
    EXPECT_EQ(batch.TextOf(batch.entries[0]), "$GPGGA,1*00");
    feed.Received("$GPRMC\x01\xff*00\r\n", false, 1100);
    EXPECT_FALSE(feed.TakeDue(1100, false, batch));
    EXPECT_TRUE(feed.TakeDue(1250, false, batch));
    EXPECT_EQ(batch.TextOf(batch.entries[0]), "$GPRMC..*00") << "control bytes shown as dots";
    for (std::size_t i = 0; i < ConsoleFeed::kMaxBatchLines + 5; ++i) feed.Note("n", 2000);
    EXPECT_TRUE(feed.TakeDue(2000, true, batch));
    EXPECT_EQ(batch.entries.size(), ConsoleFeed::kMaxBatchLines);
    EXPECT_EQ(batch.lost, 5u);
}

// What the console is told, over a real line: everything in order, the reply packet in
// hexadecimal, the failed checksum marked, a command sent marked as sent, and the pulled
// line told; a few batches a second however many sentences.
TEST(ConsoleFeed, EverythingOnTheLineInOrderWithWhatWasSentAndTheLineLost) {
    testsupport::PtyPair pty;
    testsupport::RecordingSink sink;
    CNmeaThread link(pty.SlavePath(), 115200, &sink, nullptr);
    link.EnableConsole();
    link.Start();
    ASSERT_TRUE(link.Connect()) << link.OpenErrorText();
    const auto started = std::chrono::steady_clock::now();
    pty.WriteMaster(kGga + kBadGsv + kPacket);
    ASSERT_TRUE(Await([&] { return link.Statistics().sentences == 3; }, 5000));
    link.Drain();  // taken by the link thread too, so the command comes after them
    const std::string command = "$PZRC101,1*2B\r\n";
    ASSERT_TRUE(link.SendBytes(reinterpret_cast<const uint8_t*>(command.data()), command.size()));
    EXPECT_EQ(pty.ReadMaster(command.size(), 2000), command);
    for (int i = 0; i < 40; ++i) {
        pty.WriteMaster(kRmc);
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    ASSERT_TRUE(Await([&] { return LinesOf(sink.Messages()).lines.size() >= 45; }, 5000));
    pty.CloseMaster();
    ASSERT_TRUE(Await([&] { return link.LineLost().IsLost(); }, 5000));
    link.Disconnect();  // as the main frame does on a lost line
    link.Shutdown();
    const auto elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();

    const ConsoleLines got = LinesOf(sink.Messages());
    ASSERT_EQ(got.lines.size(), 46u);
    EXPECT_EQ(got.lines[0], std::pair(ConsoleKind::Note, "opened " + pty.SlavePath() + " at 115200 baud"));
    EXPECT_EQ(got.lines[1], std::pair(ConsoleKind::Received, kGga.substr(0, kGga.size() - 2)));
    EXPECT_EQ(got.lines[2], std::pair(ConsoleKind::Received, std::string("$GPGSV,1,1,01,04,40,100,40*00")));
    EXPECT_FALSE(got.bad[1]);
    EXPECT_TRUE(got.bad[2]);
    EXPECT_EQ(got.lines[3], std::pair(ConsoleKind::Binary, std::string("AA F0 0B 00 01 00 95 00 9F 0D 0A")));
    EXPECT_EQ(got.lines[4], std::pair(ConsoleKind::Sent, std::string("$PZRC101,1*2B")));
    for (std::size_t i = 5; i < 45; ++i) EXPECT_EQ(got.lines[i].second, kRmc.substr(0, kRmc.size() - 2)) << i;
    EXPECT_EQ(got.lines[45].first, ConsoleKind::Note);
    EXPECT_TRUE(got.lines[45].second.starts_with("line lost on " + pty.SlavePath() + ": ")) << got.lines[45].second;
    EXPECT_LE(got.batches, elapsedMs / ConsoleFeed::kHandOverMs + 2) << "over " << elapsedMs << " ms";
}

TEST(ConsoleFeed, ALinkWithoutTheConsoleTellsItNothing) {
    const auto messages = testsupport::RunThroughLink(kGga + kRmc);
    for (const LinkMessage& m : messages) EXPECT_NE(m.number, msg::kConsoleLines);
}
