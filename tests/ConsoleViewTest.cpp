// The Console window: its bounded history, the filter by sentence name, Pause, the marks
// of sent lines and failed checksums, driven through its messages; and its picture.
#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "monitor/windows/ConsoleHistory.h"
#include "monitor/windows/ConsoleView.h"
#include "monitor/windows/WindowTypes.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/ViewMessages.h"

namespace {

using testsupport::kPaint;

struct Line {
    ConsoleKind kind;
    std::string text;
    bool bad = false;
};

ConsoleBatch BatchOf(std::initializer_list<Line> lines, int64_t atMs = 0) {
    ConsoleBatch b;
    for (const Line& l : lines) {
        b.entries.push_back({l.kind, l.bad, atMs, static_cast<uint32_t>(b.text.size()), static_cast<uint32_t>(l.text.size())});
        b.text += l.text;
    }
    return b;
}

ConsoleLine LineOf(ConsoleKind kind, std::string text) { return {kind, false, 0, std::move(text)}; }

constexpr auto RX = ConsoleKind::Received, TX = ConsoleKind::Sent, BIN = ConsoleKind::Binary, NOTE = ConsoleKind::Note;

struct FilterCase {
    const char* filter;
    const char* sentence;
    ConsoleKind kind;
    bool shown;
};

class ConsoleFilterCases : public ::testing::TestWithParam<FilterCase> {};

}  // namespace

TEST_P(ConsoleFilterCases, ShowsWhatItsWordsMatch) {
    const FilterCase& c = GetParam();
    EXPECT_EQ(ConsoleFilter(c.filter).Shows(LineOf(c.kind, c.sentence)), c.shown) << c.filter << " / " << c.sentence;
}

INSTANTIATE_TEST_SUITE_P(
    Words, ConsoleFilterCases,
    ::testing::Values(FilterCase{"", "$GPGSV,1,1,01*00", RX, true}, FilterCase{"GGA", "$GNGGA,1*00", RX, true},
                      FilterCase{"gga", "$GPGGA,1*00", RX, true}, FilterCase{"GGA", "$GPRMC,1*00", RX, false},
                      FilterCase{"$GPGSV", "$GLGSV,1*00", RX, false}, FilterCase{"GGA, RMC", "$GPRMC,1*00", RX, true},
                      FilterCase{"PZRC", "$PZRC101,1*2B", TX, true}, FilterCase{"PZRC", "$PZRC000*00", RX, true},
                      FilterCase{"-GSV", "$GPGSV,1*00", RX, false}, FilterCase{"-GSV", "$GPGGA,1*00", RX, true},
                      FilterCase{"GP -GSV", "$GPGSV,1*00", RX, false}, FilterCase{"UBX", "B5 62 05 01", BIN, true},
                      FilterCase{"BIN", "AA F0 0B 00", BIN, true}, FilterCase{"GGA", "AA F0 0B 00", BIN, false},
                      FilterCase{"GGA", "line lost on ttyUSB0", NOTE, true}));

TEST(ConsoleHistory, KeepsTheNewestLinesUpToItsBoundAndCountsTheRest) {
    ConsoleHistory history;
    ConsoleBatch batch;
    for (std::size_t i = 0; i < ConsoleHistory::kMaxLines + 10; ++i) {
        const std::string text = "$GPGGA," + std::to_string(i);
        batch.entries.push_back({RX, false, 0, static_cast<uint32_t>(batch.text.size()), static_cast<uint32_t>(text.size())});
        batch.text += text;
    }
    batch.lost = 3;
    history.Append(batch);
    EXPECT_EQ(history.Lines().size(), ConsoleHistory::kMaxLines);
    EXPECT_EQ(history.Lines().front().text, "$GPGGA,10");
    EXPECT_EQ(history.Dropped(), 13u);
    EXPECT_EQ(history.Total(), ConsoleHistory::kMaxLines + 13);
}

TEST(ConsoleHistory, EachKindHasItsMark) {
    EXPECT_EQ(ConsoleText(LineOf(RX, "$GPGGA,1*00")), "RX $GPGGA,1*00");
    EXPECT_EQ(ConsoleText({RX, true, 0, "$GPGGA,1*00"}), "RX $GPGGA,1*00   << bad checksum");
    EXPECT_EQ(ConsoleText(LineOf(TX, "$PZRC101,1*2B")), "TX $PZRC101,1*2B");
    EXPECT_EQ(ConsoleText(LineOf(BIN, "B5 62 05 01 02 00 06 04 12 3B")), "RX UBX B5 62 05 01 02 00 06 04 12 3B");
    EXPECT_EQ(ConsoleText(LineOf(BIN, "AA F0 0B 00")), "RX BIN AA F0 0B 00");
    EXPECT_EQ(ConsoleText(LineOf(NOTE, "line lost")), "-- line lost");
    EXPECT_EQ(SentenceNameOf(LineOf(RX, "$PZRC000*00")), "PZRC000");
}

TEST(ConsoleView, FilterPauseAndClearOverTheLinesItWasGiven) {
    LinkStatus status;
    status.counts = {4200, 30, 1, 0, 1, 0};
    status.bytesPerSecond = 420;
    status.open = true;
    CConsoleView view([&] { return status; });
    view.resize(700, 300);
    testsupport::Deliver(view, msg::kConsoleLines,
                         BatchOf({{NOTE, "opened ttyUSB0 at 115200 baud"}, {RX, "$GPGGA,1*00"},
                                  {RX, "$GPGSV,1,1,01*00", true}, {TX, "$PZRC101,1*2B"}, {BIN, "AA F0 0B 00"}}));
    EXPECT_EQ(view.Text().document()->blockCount(), 5);
    EXPECT_TRUE(view.Text().toPlainText().contains("TX $PZRC101,1*2B"));
    EXPECT_TRUE(view.Text().toPlainText().contains("RX $GPGSV,1,1,01*00   << bad checksum"));

    view.FilterEdit().setText("GGA PZRC");
    EXPECT_EQ(view.Text().document()->blockCount(), 3);  // the note, the GGA and the command
    EXPECT_FALSE(view.Text().toPlainText().contains("GSV"));

    view.PauseButton().click();
    EXPECT_EQ(view.PauseButton().text(), "Resume");
    testsupport::Deliver(view, msg::kConsoleLines, BatchOf({{RX, "$GPGGA,2*00"}, {RX, "$GPRMC,2*00"}}));
    EXPECT_FALSE(view.Text().toPlainText().contains("$GPGGA,2*00")) << "paused: the text stands still";
    EXPECT_EQ(view.History().Lines().size(), 7u) << "but nothing is lost";
    view.ShowStatus();
    EXPECT_TRUE(view.StatusLabel().text().endsWith("; paused, 2 lines since")) << view.StatusLabel().text().toStdString();
    view.PauseButton().click();
    EXPECT_TRUE(view.Text().toPlainText().contains("$GPGGA,2*00"));
    EXPECT_FALSE(view.Text().toPlainText().contains("$GPRMC,2*00"));
    EXPECT_EQ(view.StatusLabel().text(), "RX 4.20 kB, 420 B/s, 30 sentences, 1 bad checksum, 1 dropped");

    testsupport::DeliverClear(view, LinkWindowOf(WindowType::Console).clearMessage);
    EXPECT_TRUE(view.History().Lines().empty());
    EXPECT_TRUE(view.Text().toPlainText().isEmpty());
    status.open = false;
    view.ShowStatus();
    EXPECT_TRUE(view.StatusLabel().text().endsWith("(no line open)"));
}

TEST(ConsoleView, PictureOfAReceiverAndItsCommands) {
    if (!kPaint) GTEST_SKIP() << "needs painting";
    LinkStatus status{{48213, 612, 1, 0, 0, 1}, 1163, true};
    CConsoleView view([&] { return status; });
    view.resize(900, 380);
    view.show();
    const int64_t at = 1765230000000;
    testsupport::Deliver(view, msg::kConsoleLines,
                         BatchOf({{NOTE, "opened ttyUSB0 at 115200 baud"},
                                  {RX, "$GPGGA,123519.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*5B"},
                                  {RX, "$GPGSA,A,3,04,05,09,12,,,,,,,,,2.5,1.3,2.1*39"},
                                  {RX, "$GPGSV,2,1,08,04,40,100,40,05,50,200,45,09,35,300,38,12,60,045,44*70"},
                                  {RX, "$GPGSV,2,2,08,14,12,150,,17,28,233,31,22,05,330,,25,71,090,46*77", true},
                                  {RX, "$GPRMC,123519.00,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A"},
                                  {TX, "$PZRC101,1*2B"},
                                  {RX, "$PZRC001,101,3*34"},
                                  {TX, "AA F0 0B 00 01 00 95 00 9F 0D 0A"},
                                  {BIN, "AA F0 0B 00 01 00 95 00 9F 0D 0A"},
                                  {RX, "$GPGGA,123520.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*53"},
                                  {NOTE, "line lost on ttyUSB0: Input/output error"}},
                                 at));
    QDir().mkpath(PICTURES_DIR);
    EXPECT_TRUE(view.grab().save(QString(PICTURES_DIR) + "/console.png"));
}
