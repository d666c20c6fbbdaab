// The corrections' way onto the module's line: a real link on a pseudo-terminal, frames
// written beside the link's own traffic, refused while no link is open or the line is held.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "monitor/link/CorrectionsFeed.h"
#include "monitor/link/NmeaThread.h"
#include "tests/support/TestSupport.h"

namespace {

class NoSink : public ILinkSink {
public:
    void Post(const LinkMessage&) override {}
};

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

// A message 1005 as a base station sends it, preamble to CRC.
const std::string kFrame1005 = Bytes({0xD3, 0x00, 0x13, 0x3E, 0xD7, 0xD3, 0x02, 0x02, 0x98, 0x0E, 0xDE, 0xEF,
                                                   0x34, 0xB4, 0xBD, 0x62, 0xAC, 0x09, 0x41, 0x98, 0x6F, 0x33, 0x36, 0x0B,
                                                   0x98});

// A frame with no payload, as casters send to keep a connection open.
const std::string kEmptyFrame = Bytes({0xD3, 0x00, 0x00, 0x47, 0xEA, 0x4B});

std::span<const uint8_t> Span(const std::string& bytes) {
    return {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
}

std::string ReadExactly(testsupport::PtyPair& pty, std::size_t count) {
    std::string got;
    for (int i = 0; i < 50 && got.size() < count; ++i) got += pty.ReadMaster(count - got.size(), 100);
    return got;
}

// What the pseudo-terminal holds, until it has been quiet for a while.
std::string ReadAll(testsupport::PtyPair& pty) {
    std::string got;
    for (std::string more = pty.ReadMaster(4096, 500); !more.empty(); more = pty.ReadMaster(4096, 500)) got += more;
    return got;
}

}  // namespace

TEST(CorrectionsLine, FramesGoOutOnlyOnAnOpenLineThatNoUploadHolds) {
    testsupport::PtyPair pty;
    NoSink sink;
    CNmeaThread link(pty.SlavePath(), 115200, &sink, nullptr);
    link.Start();
    CorrectionsLine line;
    EXPECT_EQ(line.Send(Span(kFrame1005)), CorrectionsLine::Sent::NoLink);
    line.Attach(&link);
    EXPECT_EQ(line.Send(Span(kFrame1005)), CorrectionsLine::Sent::NoLink) << "attached, but the port is not open yet";
    ASSERT_TRUE(link.Connect());
    EXPECT_EQ(line.Send(Span(kFrame1005)), CorrectionsLine::Sent::Sent);
    EXPECT_EQ(ReadExactly(pty, kFrame1005.size()), kFrame1005);
    const unsigned hold = link.HoldLine();
    EXPECT_EQ(line.Send(Span(kFrame1005)), CorrectionsLine::Sent::Held);
    link.ReleaseLine(hold);
    EXPECT_EQ(line.Send(Span(kEmptyFrame)), CorrectionsLine::Sent::Sent);
    EXPECT_EQ(ReadExactly(pty, kEmptyFrame.size()), kEmptyFrame) << "the frame refused while held was written";
    line.Attach(nullptr);
    EXPECT_EQ(line.Send(Span(kFrame1005)), CorrectionsLine::Sent::NoLink);
    link.Shutdown();
}

// The module's GGA as the caster wants it, forgotten when another link is attached.
TEST(CorrectionsLine, LatestFixIsTheCastersGgaAndANewLinkStartsWithoutOne) {
    CorrectionsLine line;
    EXPECT_EQ(line.LatestFix().quality, -1);
    GgaRecord gga{};
    gga.hour = 14, gga.minute = 30, gga.second = 15;
    gga.latitude = 35.6812, gga.northSouth = 'N', gga.longitude = 139.7671, gga.eastWest = 'E';
    gga.fixQuality = 4, gga.satellitesUsed = 12, gga.hdop = 0.9f, gga.altitude = 40;
    line.StoreFix(gga);
    EXPECT_EQ(line.LatestFix().quality, 4);
    EXPECT_TRUE(line.LatestFix().gga.starts_with("$GPGGA,143015.00,3540.87")) << line.LatestFix().gga;
    EXPECT_TRUE(line.LatestFix().gga.ends_with("\r\n"));
    line.Attach(nullptr);
    EXPECT_TRUE(line.LatestFix().gga.empty());
}

// The window thread closes the link while the client's thread sends: every frame either
// goes out whole or is refused, and the link is never written after it is gone.
TEST(CorrectionsLine, ClosingTheLinkWhileFramesAreSentIsSafe) {
    testsupport::PtyPair pty;
    NoSink sink;
    auto link = std::make_unique<CNmeaThread>(pty.SlavePath(), 115200, &sink, nullptr);
    link->Start();
    ASSERT_TRUE(link->Connect());
    CorrectionsLine line;
    line.Attach(link.get());
    std::atomic<bool> stop{false};
    std::atomic<int> sent{0}, refused{0};
    std::thread sender([&] {
        while (!stop) {
            if (line.Send(Span(kFrame1005)) == CorrectionsLine::Sent::Sent) ++sent;
            else ++refused;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    ASSERT_TRUE(testsupport::WaitUntil([&] { return sent > 20; }, std::chrono::seconds(10)));
    line.Attach(nullptr);
    link->Shutdown();
    link.reset();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return refused > 20; }, std::chrono::seconds(10)));
    stop = true;
    sender.join();
    const std::string got = ReadAll(pty);
    EXPECT_EQ(got.size() % kFrame1005.size(), 0u);
    EXPECT_EQ(got.substr(0, kFrame1005.size()), kFrame1005);
}
