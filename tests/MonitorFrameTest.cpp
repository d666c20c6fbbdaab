// The monitor's frame on the offscreen platform: start-up, tiling, the connection bar
// against a pseudo-terminal, messages reaching the windows, clearing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QDialog>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QStatusBar>
#include <QToolBar>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <csignal>
#include <unistd.h>

#include "monitor/app/MainFrame.h"
#include "monitor/app/MonitorApp.h"
#include "monitor/control/CommandTable.h"
#include "monitor/windows/ConsoleView.h"
#include "monitor/windows/NaviCmdView.h"
#include "monitor/windows/NmeaInfoView.h"
#include "monitor/windows/SatelliteTableView.h"
#include "monitor/windows/TtffSeriesDlg.h"
#include "platform/notifier/Notifier.h"
#include "platform/serial/PortList.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/Nmea.h"
#include "tests/support/TestSupport.h"

namespace {

using testsupport::kPaint;
using testsupport::WaitFor;

// The window messages each view receives, in order.
class MessageLog : public QObject {
public:
    bool eventFilter(QObject* target, QEvent* event) override {
        if (event->type() >= msg::kFirstMessage && event->type() <= msg::kLastMessage) seen.push_back({target, static_cast<int>(event->type())});
        return false;
    }
    std::vector<std::pair<QObject*, int>> seen;
};

class MonitorFrame : public ::testing::Test {
protected:
    MonitorFrame() : m_oldDir(QDir::currentPath()) { QDir::setCurrent(QString::fromStdString(m_dir.Path())); }
    ~MonitorFrame() override { QDir::setCurrent(m_oldDir); }

    testsupport::ScratchDir m_dir;  // the capture log goes here
    QString m_oldDir;
    RecordingNotifier m_notifier;
};

}  // namespace

TEST(HomeRects, LeftColumnsInHalvesRightColumnInThirds) {
    // W = 302: three columns of 100 at 0, 100 and 200; H = 203: halves of 100, thirds of 67.
    EXPECT_EQ(HomeRectOf(WindowType::NavigationCommand, 302, 203), (HomeRect{0, 0, 100, 100}));
    EXPECT_EQ(HomeRectOf(WindowType::Track, 302, 203), (HomeRect{100, 0, 100, 100}));
    EXPECT_EQ(HomeRectOf(WindowType::Velocity, 302, 203), (HomeRect{200, 0, 100, 67}));
    EXPECT_EQ(HomeRectOf(WindowType::Signal, 302, 203), (HomeRect{200, 67, 100, 67}));
    EXPECT_EQ(HomeRectOf(WindowType::FixMode, 302, 203), (HomeRect{200, 134, 100, 67}));
    EXPECT_EQ(HomeRectOf(WindowType::SkyView, 302, 203), (HomeRect{0, 100, 100, 100}));
    EXPECT_EQ(HomeRectOf(WindowType::NmeaInfo, 302, 203), (HomeRect{100, 100, 100, 100}));
}

TEST(HomeRects, CommandPanelGivesTwoThirdsLessMarginsToSendAndReceive) {
    EXPECT_EQ(NaviColumnsFor(612).leftWidth, 400);
    EXPECT_EQ(NaviColumnsFor(612).rightX + NaviColumnsFor(612).rightWidth, 612);
    EXPECT_EQ(NaviColumnsFor(100).leftWidth, 58);  // (2 * 88) / 3 truncated
    // A narrow tile keeps the right column's controls whole; Send and Receive narrow.
    EXPECT_EQ(NaviColumnsFor(420, 200).rightWidth, 200);
    EXPECT_EQ(NaviColumnsFor(420, 200).leftWidth, 214);
    EXPECT_EQ(NaviColumnsFor(900, 200).leftWidth, 592);
}

TEST(NmeaInfoRows, RecordsGiveTheRowTexts) {
    GgaRecord gga{};
    gga.hour = 12, gga.minute = 35, gga.second = 19.5f;
    gga.latitude = -48.1173, gga.northSouth = 'S', gga.longitude = 11.5166666667, gga.eastWest = 'E';
    gga.fixQuality = 2, gga.satellitesUsed = 8, gga.hdop = 0.9f, gga.altitude = 545.4f;
    const nmeainfo::Rows rows = nmeainfo::FromGga(gga);
    EXPECT_EQ(rows[0], (std::pair<int, std::string>{0, "12:35:19.5000"}));
    for (const auto& [second, text] : {std::pair{1.0f, "07:05:01.0000"}, {0.25f, "07:05:00.2500"}, {59.5f, "07:05:59.5000"}}) {
        GgaRecord early{};
        early.hour = 7, early.minute = 5, early.second = second;
        EXPECT_EQ(nmeainfo::FromGga(early)[0].second, text);
    }
    EXPECT_EQ(rows[1], (std::pair<int, std::string>{2, "-48.11730000 S"}));
    EXPECT_EQ(rows[3], (std::pair<int, std::string>{5, "DGPS"}));
    EXPECT_EQ(rows[6], (std::pair<int, std::string>{4, "545.4000"}));
    UsedSatelliteSet used{};
    used.count = 3;
    used.prn[0] = 4, used.prn[1] = 65, used.prn[2] = 7;
    used.system[0] = gnss::kGps, used.system[1] = gnss::kGlonass, used.system[2] = gnss::kUnresolved;
    EXPECT_EQ(nmeainfo::UsedSatellitesText(used), "G4 R65 7 ");
    EXPECT_EQ(nmeainfo::FixTypeName('3'), "3D");
    EXPECT_EQ(nmeainfo::FixQualityName(8), "8");
}

// Quality 0 with the old position repeated, empty coordinates beside a fix quality, and
// nothing at all: no latitude, longitude or altitude, rather than a fix at 0/0.
TEST(NmeaInfoRows, GgaWithoutFixOrCoordinatesShowsNoPosition) {
    GgaRecord stale{};
    stale.latitude = 48.1173, stale.northSouth = 'N', stale.longitude = 11.5166666667, stale.eastWest = 'E';
    stale.altitude = 545.4f, stale.fixQuality = 0;
    GgaRecord empty{};
    empty.fixQuality = 1, empty.satellitesUsed = 4;
    for (const GgaRecord& gga : {stale, empty, GgaRecord{}}) {
        const nmeainfo::Rows rows = nmeainfo::FromGga(gga);
        for (int row : {2, 3, 4}) {
            const auto it = std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.first == row; });
            ASSERT_NE(it, rows.end()) << "row " << row << " is written, so an earlier fix is wiped";
            EXPECT_EQ(it->second, "") << nmeainfo::RowName(row);
        }
        EXPECT_EQ(rows[3].second, gga.fixQuality == 0 ? "Invalid" : "SPS");
    }
}

TEST(NmeaInfoRows, RawListStartsAtAGgaAndEachGgaStartsItAgain) {
    nmeainfo::RawList list;
    EXPECT_EQ(list.Add("$GPVTG,...").row, -1);  // nothing before the first GGA
    EXPECT_EQ(list.Add("$GPGGA,...").row, 20);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(list.Add("$GPGSV,...").row, 21 + i);
    const auto restart = list.Add("$GNGGA,...");
    EXPECT_EQ(restart.row, 20);
    ASSERT_EQ(restart.blank.size(), 15u);  // rows 25 to 39
    EXPECT_EQ(restart.blank.front(), 25);
    list.Clear();
    EXPECT_EQ(list.Add("$GPRMC,...").row, -1);
}

TEST_F(MonitorFrame, StartsWithSevenTiledWindowsAndNeedsAPortToConnect) {
    CMonitorApp monitor(m_notifier, {}, 0);
    monitor.MainFrame().resize(1024, 700);
    monitor.Show();
    QStringList titles;
    for (QMdiSubWindow* w : monitor.MainFrame().MdiArea().subWindowList()) titles << w->windowTitle();
    EXPECT_EQ(titles, (QStringList{"Fix mode", "Velocity", "NMEA info", "Signal", "Sky view", "navi CMD", "Track"}));
    const QSize area = monitor.MainFrame().MdiArea().size();
    const HomeRect home = HomeRectOf(WindowType::Signal, area.width(), area.height());
    EXPECT_EQ(monitor.Registry().Frame(WindowType::Signal)->geometry(),
              QRect(home.left, home.top, home.width, home.height));
    EXPECT_EQ(monitor.MainFrame().BaudList().currentText(), "9600");
    CMonitorApp slow(m_notifier, {}, 4800);  // the list's first entry, current from the start
    slow.MainFrame().ConnectOrDisconnect();
    EXPECT_EQ(m_notifier.messages.back(), "COM port not select!");  // not "BaudRate not select!"
    m_notifier.messages.clear();
    monitor.MainFrame().ConnectOrDisconnect();
    EXPECT_EQ(m_notifier.messages, QStringList{"COM port not select!"});
    EXPECT_EQ(monitor.MainFrame().ConnectButton().text(), "Connect");
    const auto about = monitor.MakeAboutBox();
    EXPECT_EQ(about->windowTitle(), "About skyLedger");
    QStringList lines;
    for (const QLabel* label : about->findChildren<QLabel*>()) lines << label->text();
    EXPECT_TRUE(lines.contains("skyLedger Version 1.2"));
}

TEST_F(MonitorFrame, MaximisedWindowCoversTheAreaUntilRestoredAndNewWindowTakesOverItsSlot) {
    if (!kPaint) GTEST_SKIP() << "needs painting";
    CMonitorApp monitor(m_notifier, {}, 0);
    CMainFrame& frame = monitor.MainFrame();
    frame.resize(900, 600);
    monitor.Show();
    QMdiSubWindow* sky = monitor.Registry().Frame(WindowType::SkyView);
    sky->showMaximized();
    frame.resize(1000, 700);
    QCoreApplication::processEvents();
    EXPECT_EQ(sky->geometry().size(), frame.MdiArea().viewport()->size());
    sky->showNormal();
    QCoreApplication::processEvents();
    const QSize area = frame.MdiArea().size();
    const HomeRect home = HomeRectOf(WindowType::SkyView, area.width(), area.height());
    EXPECT_EQ(sky->geometry(), QRect(home.left, home.top, home.width, home.height));
    sky->close();  // the user cannot close a child window
    EXPECT_TRUE(sky->isVisible());

    QWidget* oldView = monitor.Registry().View(WindowType::SkyView);
    monitor.OpenWindow(WindowType::SkyView);
    EXPECT_NE(monitor.Registry().View(WindowType::SkyView), oldView);
    EXPECT_EQ(frame.MdiArea().subWindowList().size(), 8);
}

// Each tile lies inside the area's visible part: nothing is cut at the bottom or right.
// A capture of one fix, enough to start a replay and show its bar.
constexpr const char* kOneFix = "$GPGGA,000000.00,2500.0000,N,12100.0000,E,1,08,1.0,50.0,M,0.0,M,,*62\r\n";

static void ExpectTilesInsideTheArea(CMonitorApp& monitor) {
    const QRect area = monitor.MainFrame().MdiArea().viewport()->rect();
    for (WindowType type : ClearOrder()) {
        if (MonitorWindowOf(type).onDemand) continue;
        const QRect tile = monitor.Registry().Frame(type)->geometry();
        EXPECT_TRUE(area.contains(tile)) << MonitorWindowOf(type).title << " at " << tile.bottom() << " in "
                                         << area.bottom();
    }
}

TEST_F(MonitorFrame, ReplayBarShownOrHiddenTilesTheWindowsAgain) {
    CMonitorApp monitor(m_notifier, {}, 0);
    CMainFrame& frame = monitor.MainFrame();
    frame.resize(1280, 800);
    monitor.Show();
    QCoreApplication::processEvents();
    const int fullHeight = frame.MdiArea().height();
    const std::string capture = m_dir.Path() + "/short.nmea";
    testsupport::WriteFile(capture, kOneFix);
    ASSERT_TRUE(frame.StartReplay(QString::fromStdString(capture), 1));
    QCoreApplication::processEvents();
    EXPECT_LT(frame.MdiArea().height(), fullHeight);  // the bar took room from the area
    ExpectTilesInsideTheArea(monitor);
    frame.StopReplay();
    QCoreApplication::processEvents();
    EXPECT_EQ(frame.MdiArea().height(), fullHeight);
    ExpectTilesInsideTheArea(monitor);
    const HomeRect home = frame.HomeRectFor(WindowType::SkyView);
    EXPECT_EQ(monitor.Registry().Frame(WindowType::SkyView)->geometry(),
              QRect(home.left, home.top, home.width, home.height));
}

// On the small screen of 1280x800 every control can be reached without scrolling and
// every text is whole: the command panel's Set, Track's Export, the NMEA info columns,
// the status panes and the About box's title.
TEST_F(MonitorFrame, OnASmallScreenControlsAreReachableAndTextsWhole) {
    CMonitorApp monitor(m_notifier, {}, 0);
    CMainFrame& frame = monitor.MainFrame();
    frame.resize(1280, 800);
    monitor.Show();
    frame.showNormal();  // the offscreen screen is smaller than the one looked at
    frame.resize(1280, 800);
    const std::string capture = m_dir.Path() + "/a-capture-with-a-rather-long-name.nmea";
    testsupport::WriteFile(capture, kOneFix);
    ASSERT_TRUE(frame.StartReplay(QString::fromStdString(capture), 1));
    QCoreApplication::processEvents();

    // A control is reachable when it lies inside its window's visible part.
    const auto visibleIn = [](QWidget* control, QWidget* window) {
        const QRect at(control->mapTo(window, QPoint(0, 0)), control->size());
        return window->rect().contains(at);
    };
    QWidget* panel = monitor.Registry().Frame(WindowType::NavigationCommand)->widget();
    const auto buttons = monitor.Registry().View(WindowType::NavigationCommand)->findChildren<QPushButton*>();
    const auto set = std::find_if(buttons.begin(), buttons.end(), [](QPushButton* b) { return b->text() == "Set"; });
    ASSERT_NE(set, buttons.end());
    EXPECT_TRUE(visibleIn(*set, panel));
    QWidget* track = monitor.Registry().View(WindowType::Track);
    const auto trackButtons = track->findChildren<QPushButton*>();
    for (QPushButton* b : trackButtons) EXPECT_TRUE(visibleIn(b, track)) << b->text().toStdString();

    auto* info = static_cast<CNmeaInfoView*>(monitor.Registry().View(WindowType::NmeaInfo));
    QTableWidget& table = info->Table();
    const QFontMetrics tableFont(table.font());
    for (int row = 0; row < table.rowCount(); ++row)
        EXPECT_GE(table.columnWidth(1), tableFont.horizontalAdvance(table.item(row, 1)->text()) + 6) << row;
    // DATA reaches the right edge: no room left over, nothing hidden to the right.
    EXPECT_EQ(table.columnViewportPosition(2) + table.columnWidth(2), table.viewport()->width());

    for (int pane : {0, 1, 2, 3}) {
        const QString text = frame.StatusText(pane);
        for (QLabel* l : frame.findChildren<QLabel*>()) {
            if (l->text() != text || text.trimmed().isEmpty()) continue;
            EXPECT_GE(l->contentsRect().width(), QFontMetrics(l->font()).horizontalAdvance(text)) << text.toStdString();
        }
    }
    EXPECT_EQ(frame.StatusText(1), "a-capture-with-a-rather-long-name.nmea");

    const auto about = monitor.MakeAboutBox();
    about->show();
    EXPECT_GE(about->width(), QFontMetrics(about->font()).horizontalAdvance(about->windowTitle()) + 100);
}

TEST_F(MonitorFrame, ConnectFeedsTheWindowsAndDisconnectKeepsThePortName) {
    testsupport::PtyPair pty;
    CMonitorApp monitor(m_notifier, {QString::fromStdString(pty.SlavePath())}, 115200);
    if (kPaint) monitor.Show();
    MessageLog log;
    for (const MonitorWindowType& row : MonitorWindowTypes())
        if (!row.onDemand) monitor.Registry().View(row.type)->installEventFilter(&log);
    CMainFrame& frame = monitor.MainFrame();

    frame.ConnectOrDisconnect();
    ASSERT_TRUE(m_notifier.messages.isEmpty()) << m_notifier.messages.join("|").toStdString();
    EXPECT_EQ(frame.ConnectButton().text(), "DisConnect");
    EXPECT_FALSE(frame.PortList().isEnabled());
    EXPECT_EQ(frame.StatusText(2), "  Connected <<--->>");
    // Connect clears every window first, navigation command first, track last.
    std::vector<int> clears;
    for (const auto& [view, number] : log.seen) clears.push_back(number);
    EXPECT_EQ(clears, (std::vector<int>{1145, 1146, 1147, 1148, 1149, 1150, 1151}));

    log.seen.clear();
    pty.WriteMaster(testsupport::Sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
    ASSERT_TRUE(WaitFor([&] { return log.seen.size() >= 3; }, 5000));
    EXPECT_EQ(log.seen[1].first, monitor.Registry().View(WindowType::NmeaInfo));
    EXPECT_EQ(log.seen[1].second, 1025);
    EXPECT_EQ(log.seen[2].first, monitor.Registry().View(WindowType::NavigationCommand));
    // Its epoch goes to Fix mode and Track once the next one begins.
    pty.WriteMaster(testsupport::Sentence("GPGGA,123520,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
    ASSERT_TRUE(WaitFor([&] { return log.seen.size() >= 8; }, 5000));
    EXPECT_EQ(log.seen[3].first, monitor.Registry().View(WindowType::FixMode));
    EXPECT_EQ(log.seen[4].first, monitor.Registry().View(WindowType::Track));
    auto* info = static_cast<CNmeaInfoView*>(monitor.Registry().View(WindowType::NmeaInfo));
    EXPECT_EQ(info->Text(2, 2), "48.11730000 N");
    EXPECT_TRUE(info->Text(20, 2).startsWith("$GPGGA,123520"));
    // A sentence longer than NMEA 0183 allows (an RTK GGA) is listed, and told once.
    const std::string rtkGga =
        testsupport::Sentence("GNGGA,123521.00,4807.0380123,N,01131.0000456,E,4,12,0.55,545.412,M,46.900,M,1.0,0000");
    ASSERT_GT(rtkGga.size(), 82u);
    pty.WriteMaster(rtkGga);
    pty.WriteMaster(testsupport::Sentence("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A"));
    // A GGA begins the list anew.
    ASSERT_TRUE(WaitFor([&] { return info->Text(21, 2).startsWith("$GPVTG"); }, 5000)) << info->Text(21, 2).toStdString();
    EXPECT_EQ(frame.StatusText(5), "NMEA packet length > 80");
    EXPECT_EQ(info->Text(20, 2).toStdString(), rtkGga.substr(0, rtkGga.size() - 2));
    EXPECT_TRUE(m_notifier.messages.isEmpty());
    if (kPaint) {
        QDir().mkpath(PICTURES_DIR);
        frame.resize(1280, 800);
        frame.grab().save(QString(PICTURES_DIR) + "/skyledger-main.png");
    }

    // The command panel: a hot start reaches the module, its reply the Receive box, and
    // the clock runs from the first no-fix report to the first tick after a 3D one.
    auto* panel = static_cast<CNaviCmdView*>(monitor.Registry().View(WindowType::NavigationCommand));
    // A command pasted from a log, its "$" and a wrong checksum with it, sent by Enter:
    // one "$", the right checksum, a word under the field, the text in the list as typed.
    const auto typeAndEnter = [&](const QString& text) {
        panel->CommandField().lineEdit()->setText(text);
        // To the field as the keyboard's focus delivers it: the box hands it on.
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(&panel->CommandField(), &enter);
    };
    typeAndEnter("$PZRC999*06");
    EXPECT_EQ(pty.ReadMaster(64, 2000), "$PZRC999*22\r\n");
    EXPECT_EQ(panel->CommandNote().text(), "typed checksum *06 is wrong: sent with *22");
    typeAndEnter("PZRC460");
    EXPECT_EQ(pty.ReadMaster(64, 2000), "$PZRC460*29\r\n");
    EXPECT_EQ(panel->CommandNote().text(), "");
    QComboBox& history = panel->CommandField();
    ASSERT_GE(history.count(), 2);
    EXPECT_EQ(history.itemText(history.count() - 2), "$PZRC999*06");
    EXPECT_EQ(history.itemText(history.count() - 1), "PZRC460");
    panel->RestartClicked(Restart::Hot);
    EXPECT_EQ(pty.ReadMaster(64, 2000), "$PZRC030,1,1*28\r\n");
    pty.WriteMaster(testsupport::Sentence("PZRC001,030,3"));
    ASSERT_TRUE(WaitFor([&] { return panel->ReceiveBox().toPlainText().contains("Status:"); }, 5000));
    EXPECT_EQ(panel->ReceiveBox().toPlainText(),
              "[Receive] 001\n[Respond] 030\nStatus: Valid packet, action succeeded\n\n");
    const std::string gsv = testsupport::Sentence("GPGSV,1,1,01,04,40,100,40");
    // The first epoch with a sky is told when the next begins; from then on each as soon
    // as its last GSV group ends.
    pty.WriteMaster(testsupport::Sentence("GPGSA,A,1,,,,,,,,,,,,,,,") + gsv +
                    testsupport::Sentence("GPGGA,123522,,,,,0,00,,,M,,M,,"));
    ASSERT_TRUE(WaitFor([&] { return panel->TtffBox().text() == "0.2 s"; }, 5000));
    pty.WriteMaster(testsupport::Sentence("GPGSA,A,3,04,,,,,,,,,,,,1.0,1.0,1.0") + gsv);
    ASSERT_TRUE(WaitFor([&] { return !panel->TtffBox().text().isEmpty(); }, 5000));
    WaitFor([] { return false; }, 300);  // the first tick after the 3D report ends the clock
    const QString shown = panel->TtffBox().text();
    WaitFor([] { return false; }, 400);
    EXPECT_EQ(panel->TtffBox().text(), shown);
    EXPECT_TRUE(shown.endsWith(" s"));

    // A pulled cable is told in the status bar, naming the device and the reason.
    pty.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return frame.StatusText(5).startsWith("line lost on "); }, 5000));
    EXPECT_EQ(frame.StatusText(5).toStdString(),
              "line lost on " + pty.SlavePath() + ": Input/output error; waiting for it to come back");

    const QString portName = frame.StatusText(1);
    frame.ConnectOrDisconnect();
    EXPECT_EQ(frame.ConnectButton().text(), "Connect");
    EXPECT_EQ(frame.StatusText(2), "  DisConnect <- x ->");
    EXPECT_EQ(frame.StatusText(1), portName);
    EXPECT_EQ(frame.ActiveLink(), nullptr);
    m_notifier.messages.clear();
    panel->SetClicked();
    panel->RestartClicked(Restart::Cold);
    panel->SendClicked();
    EXPECT_EQ(m_notifier.messages, QStringList(3, "Please open the COM port before send CMD"));
    // "Clean All" works without a link and empties what the windows showed.
    frame.CleanAll();
    EXPECT_TRUE(panel->ReceiveBox().toPlainText().isEmpty());
    EXPECT_TRUE(panel->TtffBox().text().isEmpty());
    EXPECT_TRUE(info->Text(2, 2).isEmpty());
    EXPECT_TRUE(info->Text(20, 2).isEmpty());
}

namespace {

// Reads from the module's side of the line until `count` bytes have come.
std::string ReadExactly(testsupport::PtyPair& pty, std::size_t count) {
    std::string got;
    for (int i = 0; i < 50 && got.size() < count; ++i) got += pty.ReadMaster(count - got.size(), 100);
    return got;
}

std::string Reply(int type, int value, int status) {
    std::string r = {'\xAA', '\xF0', 12, 0, char(type), 0, char(value & 0xFF), char(value >> 8), char(status)};
    char sum = 0;
    for (std::size_t i = 2; i < r.size(); ++i) sum ^= r[i];
    return r + sum + "\r\n";
}

}  // namespace

// The module is played on the far end of the line: it answers the switch, the one block
// and the end block, and is sent back to NMEA.
TEST_F(MonitorFrame, GpdFileGoesOutBlockByBlockWhileTheWindowsRun) {
    testsupport::PtyPair pty;
    CMonitorApp monitor(m_notifier, {QString::fromStdString(pty.SlavePath())}, 115200);
    CMainFrame& frame = monitor.MainFrame();
    frame.SendGpdFile();
    EXPECT_EQ(m_notifier.messages.back(), "Please open the COM port before send GPD");
    frame.ConnectOrDisconnect();
    frame.SendGpdFile();
    EXPECT_EQ(m_notifier.messages.back(), "Please open the GPD file before send");
    testsupport::WriteFile(m_dir / "a.gpd", std::string(300, 'g'));
    frame.LoadGpd(QString::fromStdString(m_dir / "a.gpd"));
    EXPECT_EQ(frame.StatusText(4).toStdString(), m_dir / "a.gpd");

    frame.SendGpdFile();
    EXPECT_TRUE(frame.GpdRunning());
    EXPECT_EQ(frame.GpdSendButton().text(), "Cancel");
    EXPECT_FALSE(frame.ConnectButton().isEnabled());
    EXPECT_EQ(ReadExactly(pty, 22).substr(0, 18), "$PZRC149,1,115200*");
    pty.WriteMaster(Reply(1, 0x95, 3));
    const std::string block = ReadExactly(pty, 523);
    ASSERT_EQ(block.size(), 523u);
    EXPECT_EQ(block[6], 0);
    EXPECT_EQ(block.substr(8, 300), std::string(300, 'g'));
    ASSERT_TRUE(WaitFor([&] { return frame.StatusText(5) == "GPD block 1 of 1"; }, 5000));
    pty.WriteMaster(Reply(3, 0, 1));
    EXPECT_EQ(ReadExactly(pty, 11).substr(6, 2), "\xFF\xFF");
    pty.WriteMaster(Reply(3, 0xFFFF, 1));
    EXPECT_EQ(ReadExactly(pty, 14).substr(4, 2), std::string("\x95\0", 2));
    ASSERT_TRUE(WaitFor([&] { return !frame.GpdRunning(); }, 5000));
    EXPECT_TRUE(frame.GpdSendButton().isEnabled());
    EXPECT_EQ(frame.GpdSendButton().text(), "Send");
    EXPECT_EQ(m_notifier.messages.back(), "GPD file sent finish: 1 block and the end block accepted");
}

namespace {

// zrsim as a user runs it; its device is the first line it prints.
struct SimulatedModule {
    testsupport::ChildProcess process;
    std::string device;
    SimulatedModule(std::vector<std::string> args, const std::string& dir) : process(WithProgram(args), dir) {
        EXPECT_TRUE(process.WaitFor("\n", std::chrono::seconds(10))) << process.Output();
        device = process.Output().substr(0, process.Output().find('\n'));
    }
    static std::vector<std::string> WithProgram(std::vector<std::string> args) {
        args.insert(args.begin(), ZRSIM);
        return args;
    }
};

}  // namespace

// The adapter is pulled and comes back as another device behind its stable name: the
// monitor says so at once, waits, opens the new device with a new capture, and the
// windows carry on without a clear.
TEST_F(MonitorFrame, PulledAdapterIsToldWaitedForAndReopenedByItsStableNameWithANewCapture) {
    QDir().mkpath(QString::fromStdString(m_dir / "by-id"));
    const std::string stable = m_dir / "by-id/usb-Sim_Module_0001-if00-port0";
    SimulatedModule module({"--link", stable, "--rate", "10", "--unplug-after", "1.5", "--unplug-for", "1.5"}, m_dir.Path());
    CMonitorApp monitor(m_notifier, {QString::fromStdString(module.device)}, 115200);
    CMainFrame& frame = monitor.MainFrame();
    frame.SetByIdDir(m_dir / "by-id");
    MessageLog log;
    monitor.Registry().View(WindowType::NmeaInfo)->installEventFilter(&log);
    frame.ConnectOrDisconnect();
    log.seen.clear();  // Connect's clear
    std::vector<QString> panes{frame.StatusText(2)};
    QString lostNotice, reopenedNotice;
    QMdiSubWindow& info = *monitor.Registry().Frame(WindowType::NmeaInfo);
    const QString title = info.windowTitle();
    bool staleWhileWaiting = true;
    WaitFor([&] {
        if (frame.StatusText(2) != panes.back()) panes.push_back(frame.StatusText(2));
        if (frame.StatusText(5).startsWith("line lost")) lostNotice = frame.StatusText(5);
        if (frame.StatusText(5).contains("open again")) reopenedNotice = frame.StatusText(5);
        if (frame.StatusText(2).startsWith("  Waiting")) staleWhileWaiting &= info.windowTitle() == title + " (stale)";
        return frame.StatusText(5).startsWith("reconnected");
    }, 20000);
    // Open again is not yet reconnected: that waits for the module's first good sentence.
    EXPECT_EQ(panes, (std::vector<QString>{"  Connected <<--->>", "  Line lost <- x ->", "  Waiting <- ? ->",
                                           "  Reopened, stale <- ? ->", "  Connected <<--->>"}));
    EXPECT_EQ(lostNotice.toStdString(), "line lost on " + module.device + ": Input/output error; waiting for it to come back");
    EXPECT_TRUE(reopenedNotice.endsWith(" is open again; waiting for NMEA from it")) << reopenedNotice.toStdString();
    EXPECT_TRUE(staleWhileWaiting);
    EXPECT_EQ(info.windowTitle(), title);
    const std::string now = std::filesystem::read_symlink(stable).string();
    EXPECT_TRUE(frame.StatusText(5).toStdString().starts_with("reconnected to " + now + "; capturing to LOG/"));
    EXPECT_EQ(frame.PortList().currentText().toStdString(), serial::DeviceShortName(now));
    const std::size_t before = log.seen.size();
    ASSERT_TRUE(WaitFor([&] { return log.seen.size() > before + 20; }, 10000));  // new epochs, no clear
    EXPECT_TRUE(std::none_of(log.seen.begin(), log.seen.end(), [](const auto& m) { return m.second == 1149; }));
    frame.ConnectOrDisconnect();
    EXPECT_EQ(QDir(QString::fromStdString(m_dir / "LOG")).entryList(QDir::Files).size(), 2);
}

TEST_F(MonitorFrame, DisConnectWhileWaitingForTheLineEndsTheWait) {
    SimulatedModule module({"--link", m_dir / "ttySIM0", "--unplug-after", "0.5", "--unplug-for", "600"}, m_dir.Path());
    CMonitorApp monitor(m_notifier, {QString::fromStdString(m_dir / "ttySIM0")}, 9600);
    CMainFrame& frame = monitor.MainFrame();
    frame.ConnectOrDisconnect();
    // The simulator is slow to start in a sanitized build.
    ASSERT_TRUE(WaitFor([&] { return frame.StatusText(2) == "  Waiting <- ? ->"; }, 20000));
    frame.ConnectOrDisconnect();
    EXPECT_EQ(frame.StatusText(2), "  DisConnect <- x ->");
    EXPECT_EQ(frame.StatusText(5).toStdString(), "stopped waiting for " + m_dir / "ttySIM0");
    EXPECT_EQ(frame.ActiveLink(), nullptr);
}

// A capture that cannot be written (here "LOG" is a file, so nothing can go under it)
// is told at once in the status bar and once in a warning; the windows go on.
TEST_F(MonitorFrame, CaptureLogThatCannotBeWrittenIsToldOnceAndReceivingGoesOn) {
    { std::ofstream(m_dir / "LOG") << "not a folder"; }
    testsupport::PtyPair pty;
    CMonitorApp monitor(m_notifier, {QString::fromStdString(pty.SlavePath())}, 115200);
    MessageLog log;
    monitor.Registry().View(WindowType::NmeaInfo)->installEventFilter(&log);
    CMainFrame& frame = monitor.MainFrame();
    frame.ConnectOrDisconnect();
    const std::string gga = testsupport::Sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    pty.WriteMaster(gga);
    ASSERT_TRUE(WaitFor([&] { return !m_notifier.warnings.isEmpty(); }, 5000));
    EXPECT_EQ(frame.StatusText(2), "  Connected, capture failing");
    const std::string warning = m_notifier.warnings.front().toStdString();
    EXPECT_TRUE(warning.starts_with("cannot write capture log LOG/")) << warning;
    EXPECT_NE(warning.find(": Not a directory"), std::string::npos) << warning;
    EXPECT_NE(warning.find(" missing from it"), std::string::npos) << warning;
    EXPECT_TRUE(frame.StatusText(5).startsWith("cannot write capture log LOG/"));
    log.seen.clear();
    pty.WriteMaster(gga);
    ASSERT_TRUE(WaitFor([&] { return !log.seen.empty(); }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(m_notifier.warnings.size(), 1);
    frame.ConnectOrDisconnect();
}

// At a wrong rate the line gives noise: bytes without one good sentence are told, with
// Auto suggested, once; a good sentence afterwards makes it "Connected" again.
TEST_F(MonitorFrame, BytesWithoutAGoodSentenceSuggestAuto) {
    testsupport::PtyPair pty;
    CMonitorApp monitor(m_notifier, {QString::fromStdString(pty.SlavePath())}, 9600);
    CMainFrame& frame = monitor.MainFrame();
    frame.ConnectOrDisconnect();
    const std::string noise("\x9e\x18\xe6$G\xf8\x80\x1e\x98\x66\x06\xfe\x78\r\n", 15);
    pty.WriteMaster(noise + noise);
    ASSERT_TRUE(WaitFor([&] { return frame.StatusText(2) == "  Connected, no NMEA <- ? ->"; }, 10000));
    EXPECT_EQ(frame.StatusText(5).toStdString(),
              "30 bytes from " + pty.SlavePath() +
                  " at 9600 baud but no NMEA sentence: the baud rate may be wrong; DisConnect and choose Auto to find it");
    pty.WriteMaster(testsupport::Sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
    ASSERT_TRUE(WaitFor([&] { return frame.StatusText(2) == "  Connected <<--->>"; }, 5000));
    EXPECT_TRUE(m_notifier.messages.isEmpty()) << m_notifier.messages.join("|").toStdString();
    frame.ConnectOrDisconnect();
}

// "Auto": the rates are tried off the window's thread, each told, and the one the module
// talks at is connected at and shown in the list; DisConnect ends a hunt at once.
TEST_F(MonitorFrame, AutoFindsTheModulesRateAndShowsItAndDisConnectEndsAHunt) {
    SimulatedModule module({"--link", m_dir / "ttySIM0", "--baud", "9600"}, m_dir.Path());
    CMonitorApp monitor(m_notifier, {QString::fromStdString(m_dir / "ttySIM0")}, kAutoBaud);
    CMainFrame& frame = monitor.MainFrame();
    EXPECT_EQ(frame.BaudList().currentText(), "Auto");
    frame.ConnectOrDisconnect();
    EXPECT_EQ(frame.StatusText(2), "  Finding rate <- ? ->");
    QStringList notices;
    ASSERT_TRUE(WaitFor([&] {
        if (notices.isEmpty() || notices.back() != frame.StatusText(5)) notices << frame.StatusText(5);
        return !frame.Hunting();
    }, 20000));
    EXPECT_EQ(notices, (QStringList{"", "trying 115200 ...", "trying 9600 ...", "found 9600"}));
    EXPECT_EQ(frame.StatusText(2), "  Connected <<--->>");
    EXPECT_EQ(frame.BaudList().currentText(), "9600");
    frame.ConnectOrDisconnect();
    // Current modules' fast factory rates are in the list, before "Auto", and can be chosen
    // at start.
    QStringList listed;
    for (int i = 0; i < frame.BaudList().count(); ++i) listed << frame.BaudList().itemText(i);
    EXPECT_EQ(listed.mid(listed.size() - 5), (QStringList{"230400", "256000", "460800", "921600", "Auto"}));
    CMonitorApp fast(m_notifier, {QString::fromStdString(m_dir / "ttySIM0")}, 921600);
    EXPECT_EQ(fast.MainFrame().BaudList().currentText(), "921600");

    testsupport::PtyPair silent;
    CMonitorApp quiet(m_notifier, {QString::fromStdString(silent.SlavePath())}, kAutoBaud);
    quiet.MainFrame().SetHuntSettings({{115200}, 200, 2});
    quiet.MainFrame().ConnectOrDisconnect();
    ASSERT_TRUE(WaitFor([&] { return !quiet.MainFrame().Hunting(); }, 10000));
    EXPECT_EQ(m_notifier.messages, QStringList{QString::fromStdString("no NMEA at any rate on " + silent.SlavePath())});
    quiet.MainFrame().SetHuntSettings({{115200}, 600000, 2});
    quiet.MainFrame().ConnectOrDisconnect();
    ASSERT_TRUE(WaitFor([&] { return quiet.MainFrame().StatusText(5) == "trying 115200 ..."; }, 10000));
    quiet.MainFrame().ConnectOrDisconnect();
    EXPECT_FALSE(quiet.MainFrame().Hunting());
    EXPECT_EQ(quiet.MainFrame().StatusText(5), "baud rate search stopped");
    EXPECT_EQ(quiet.MainFrame().ConnectButton().text(), "Connect");
}


namespace {

CNaviCmdView& PanelOf(CMonitorApp& monitor) {
    return *static_cast<CNaviCmdView*>(monitor.Registry().View(WindowType::NavigationCommand));
}

// What the module's side receives within `ms` (at most `count` bytes) while the event
// loop runs: the panel's own clock sends a series' next restart.
std::string ReceivedWhileRunning(testsupport::PtyPair& pty, std::size_t count, int ms) {
    std::string got;
    WaitFor([&] { return (got += pty.ReadMaster(count - got.size(), 5)).size() >= count; }, ms);
    return got;
}

QStringList RowOf(QTableWidget& table, int row) {
    QStringList cells;
    for (int column = 0; column < table.columnCount(); ++column) cells << table.item(row, column)->text();
    return cells;
}

}  // namespace

// Three hot starts in a row against the simulated module's half-second fix: each is timed
// on the module's epoch clock into the table, with the statistics, and saved.
TEST_F(MonitorFrame, TtffSeriesOfThreeHotStartsFillsTheTableAgainstTheSimulator) {
    using namespace std::chrono_literals;
    testsupport::ChildProcess sim(
        {ZRSIM, "--link", m_dir / "ttySIM0", "--rate", "10", "--unpaced", "--ttff", "30,15,0.5"}, m_dir.Path());
    ASSERT_TRUE(sim.WaitFor("\n", 20s)) << sim.Output();
    CMonitorApp monitor(m_notifier, {QString::fromStdString(m_dir / "ttySIM0")}, 115200);
    if (kPaint) monitor.Show();
    monitor.MainFrame().ConnectOrDisconnect();
    CNaviCmdView& panel = PanelOf(monitor);
    panel.CyclesBox(Restart::Hot).setValue(3);
    panel.RestartClicked(Restart::Hot);
    CTtffSeriesDlg* table = panel.SeriesTable();
    ASSERT_NE(table, nullptr);
    EXPECT_TRUE(table->isVisible());
    EXPECT_FALSE(panel.CyclesBox(Restart::Cold).isEnabled());
    ASSERT_TRUE(WaitFor([&] { return !panel.SeriesRunning(); }, 60000)) << table->StatusText().toStdString();

    EXPECT_EQ(table->StatusText(), "Done: 3 of 3 cycles measured");
    ASSERT_EQ(table->Table().rowCount(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(RowOf(table->Table(), row).mid(0, 3), (QStringList{QString::number(row + 1), "hot", "0.5"}));
    EXPECT_EQ(table->StatisticsText(), "3 of 3 cycles reached 3D: min 0.5 s, median 0.50 s, mean 0.50 s, max 0.5 s");
    EXPECT_EQ(table->SaveTo(QString::fromStdString(m_dir / "ttff.csv")), "");
    EXPECT_EQ(testsupport::CountOf(testsupport::ReadFile(m_dir / "ttff.csv"), ",hot,0.5,"), 3u);
    EXPECT_TRUE(panel.CyclesBox(Restart::Cold).isEnabled());
    EXPECT_FALSE(table->StopButton().isEnabled());
    EXPECT_TRUE(m_notifier.messages.isEmpty()) << m_notifier.messages.join("|").toStdString();

    if (kPaint) {  // the command panel and its table side by side, for the README
        monitor.MainFrame().resize(1280, 800);
        QCoreApplication::processEvents();
        QWidget* frame = monitor.Registry().Frame(WindowType::NavigationCommand);
        const QPixmap left = frame->grab(), right = table->grab();
        QPixmap both(left.width() + right.width(), std::max(left.height(), right.height()));
        both.fill(Qt::white);
        QPainter painter(&both);
        painter.drawPixmap(0, 0, left);
        painter.drawPixmap(left.width(), 0, right);
        painter.end();
        QDir().mkpath(PICTURES_DIR);
        both.save(QString(PICTURES_DIR) + "/ttff-cycles.png");
    }
    panel.RestartClicked(Restart::Hot);
    EXPECT_TRUE(panel.SeriesRunning());  // and the monitor closes in the middle of it
}

// The panel speaks to three families; the simulated module answers each in its own way,
// and every answer shows in the Receive box, decoded, in the order the commands went.
TEST_F(MonitorFrame, CommandPanelShowsTheAcknowledgesOfAllThreeFamilies) {
    using namespace std::chrono_literals;
    testsupport::ChildProcess sim({ZRSIM, "--link", m_dir / "ttySIM0", "--rate", "10"}, m_dir.Path());
    ASSERT_TRUE(sim.WaitFor("\n", 20s)) << sim.Output();
    CMonitorApp monitor(m_notifier, {QString::fromStdString(m_dir / "ttySIM0")}, 115200);
    if (kPaint) monitor.Show();
    monitor.MainFrame().ConnectOrDisconnect();
    CNaviCmdView& panel = PanelOf(monitor);
    const auto shows = [&](const QString& line) {
        return WaitFor([&] { return panel.ReceiveBox().toPlainText().contains(line); }, 5000);
    };
    panel.RestartClicked(Restart::Hot);
    ASSERT_TRUE(shows("Status: ")) << panel.ReceiveBox().toPlainText().toStdString();
    panel.ChooseModule(ModuleFamily::Mtk);
    panel.RestartClicked(Restart::Warm);
    ASSERT_TRUE(shows("MTK ACK")) << panel.ReceiveBox().toPlainText().toStdString();
    panel.ChooseModule(ModuleFamily::Ubx);
    panel.RestartClicked(Restart::Cold);
    ASSERT_TRUE(shows("CFG-RST")) << panel.ReceiveBox().toPlainText().toStdString();
    panel.ChooseConstellations({false, true, true});  // Glonass and BeiDou: CFG-GNSS, then CFG-NMEA
    panel.SetClicked();
    ASSERT_TRUE(shows("CFG-NMEA")) << panel.ReceiveBox().toPlainText().toStdString();
    EXPECT_EQ(panel.ReceiveBox().toPlainText(),
              "[Receive] 001\n[Respond] 030\nStatus: Valid packet, action succeeded\n\n"
              "MTK ACK for PMTK102 (warm start): succeeded\n\n"
              "UBX ACK-ACK for CFG-RST (06 04)\n\n"
              "UBX ACK-ACK for CFG-GNSS (06 3E)\n\n"
              "UBX ACK-ACK for CFG-NMEA (06 17)\n\n");
    EXPECT_TRUE(m_notifier.messages.isEmpty()) << m_notifier.messages.join("|").toStdString();
    if (kPaint) {
        monitor.MainFrame().resize(1280, 800);
        QCoreApplication::processEvents();
        QDir().mkpath(PICTURES_DIR);
        monitor.Registry().Frame(WindowType::NavigationCommand)->grab().save(QString(PICTURES_DIR) + "/navi-replies.png");
    }
}

// Galileo is offered where the module's command carries it: MTK sends it in PMTK353's
// third field; a ZR module gets no choice.
TEST_F(MonitorFrame, GalileoChoiceGoesToAnMtkModuleAndIsNotOfferedForZr) {
    testsupport::PtyPair pty;
    CMonitorApp monitor(m_notifier, {QString::fromStdString(pty.SlavePath())}, 115200);
    monitor.MainFrame().ConnectOrDisconnect();
    CNaviCmdView& panel = PanelOf(monitor);
    QCheckBox* galileo = nullptr;
    for (QCheckBox* box : panel.findChildren<QCheckBox*>())
        if (box->text() == "Galileo") galileo = box;
    ASSERT_NE(galileo, nullptr);
    EXPECT_FALSE(galileo->isEnabled());  // ZR, chosen at start
    panel.ChooseModule(ModuleFamily::Mtk);
    EXPECT_TRUE(galileo->isEnabled());
    panel.ChooseConstellations({true, false, false, true});
    panel.SetClicked();
    EXPECT_EQ(ReceivedWhileRunning(pty, 23, 2000), "$PMTK353,1,0,1,0,0*2B\r\n");
    panel.ChooseModule(ModuleFamily::Zr);
    EXPECT_FALSE(galileo->isEnabled());
    EXPECT_FALSE(galileo->isChecked());
}

// The far end played by hand, silent after each restart: a cycle that times out is
// counted; Stop, DisConnect and a lost line each end the series with its cycles kept.
TEST_F(MonitorFrame, TtffSeriesEndsOnStopDisconnectOrLostLineKeepingWhatWasMeasured) {
    testsupport::PtyPair pty;
    CMonitorApp monitor(m_notifier, {QString::fromStdString(pty.SlavePath())}, 115200);
    CMainFrame& frame = monitor.MainFrame();
    frame.ConnectOrDisconnect();
    CNaviCmdView& panel = PanelOf(monitor);
    panel.TimeoutBox().setValue(1);
    panel.CyclesBox(Restart::Cold).setValue(3);
    panel.RestartClicked(Restart::Cold);
    CTtffSeriesDlg& table = *panel.SeriesTable();
    EXPECT_EQ(table.StatusText(), "cycle 1 of 3: waiting for 3D");
    EXPECT_EQ(ReceivedWhileRunning(pty, 17, 2000), "$PZRC030,3,1*2A\r\n");
    // The module loses its fix and never gets it back: the next cycle begins.
    pty.WriteMaster(testsupport::Sentence("GPGSA,A,1,,,,,,,,,,,,,,,") +
                    testsupport::Sentence("GPGSV,1,1,01,04,40,100,40"));
    EXPECT_EQ(ReceivedWhileRunning(pty, 17, 5000), "$PZRC030,3,1*2A\r\n");
    ASSERT_EQ(table.Table().rowCount(), 1);
    EXPECT_EQ(RowOf(table.Table(), 0).mid(0, 3), (QStringList{"1", "cold", "time-out"}));
    EXPECT_EQ(table.StatisticsText(), "0 of 1 cycles reached 3D (1 time-out)");
    pty.WriteMaster(testsupport::Sentence("GPGSA,A,1,,,,,,,,,,,,,,,"));  // the second cycle's clock runs
    ASSERT_TRUE(WaitFor([&] { return !panel.TtffBox().text().isEmpty(); }, 2000));
    table.StopButton().click();
    EXPECT_EQ(table.StatusText(), "Stopped: 1 of 3 cycles measured");
    EXPECT_FALSE(panel.SeriesRunning());
    EXPECT_EQ(ReceivedWhileRunning(pty, 17, 1500), "");  // no third restart
    EXPECT_EQ(panel.TtffBox().text(), "");               // and no count for the cycle cut short
    EXPECT_TRUE(panel.CyclesBox(Restart::Cold).isEnabled());

    // A new series starts a new table; DisConnect in its first cycle ends it.
    panel.TimeoutBox().setValue(300);
    panel.RestartClicked(Restart::Cold);
    EXPECT_EQ(table.Table().rowCount(), 0);
    frame.ConnectOrDisconnect();
    ASSERT_TRUE(WaitFor([&] { return !panel.SeriesRunning(); }, 2000));
    EXPECT_EQ(table.StatusText(), "Disconnected: 0 of 3 cycles measured");

    // Closing the table ends a series as Stop does; so does "Clean All".
    frame.ConnectOrDisconnect();
    panel.RestartClicked(Restart::Cold);
    table.close();
    EXPECT_EQ(table.StatusText(), "Stopped: 0 of 3 cycles measured");
    panel.RestartClicked(Restart::Cold);
    frame.CleanAll();
    EXPECT_EQ(table.StatusText(), "Cleared: 0 of 3 cycles measured");

    // A pulled cable is told in the table, and the series no longer waits on it.
    panel.RestartClicked(Restart::Cold);
    pty.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return !panel.SeriesRunning(); }, 5000));
    EXPECT_EQ(table.StatusText(), "line lost: Input/output error: 0 of 3 cycles measured");
}

// The last cycle times out with the box's clock running: the box says what the table
// says and counts no further, though the module gets its fix afterwards.
TEST_F(MonitorFrame, TtffBoxEndsOnTheSeriesTimeOut) {
    testsupport::PtyPair pty;
    CMonitorApp monitor(m_notifier, {QString::fromStdString(pty.SlavePath())}, 115200);
    monitor.MainFrame().ConnectOrDisconnect();
    CNaviCmdView& panel = PanelOf(monitor);
    panel.TimeoutBox().setValue(1);
    panel.CyclesBox(Restart::Hot).setValue(2);
    panel.RestartClicked(Restart::Hot);
    for (int cycle = 0; cycle < 2; ++cycle) {
        ASSERT_EQ(ReceivedWhileRunning(pty, 17, 3000), "$PZRC030,1,1*28\r\n");
        // An epoch without a fix, closed by the next one's GGA: the clock starts.
        for (const char* time : {"123519", "123520"})
            pty.WriteMaster(testsupport::Sentence(std::string("GPGGA,") + time + ",,,,,0,00,99.99,,,,,,") +
                            testsupport::Sentence("GPGSA,A,1,,,,,,,,,,,,,,,") +
                            testsupport::Sentence("GPGSV,1,1,01,04,40,100,40"));
        ASSERT_TRUE(WaitFor([&] { return panel.TtffBox().text().endsWith(" s"); }, 900));
    }
    ASSERT_TRUE(WaitFor([&] { return !panel.SeriesRunning(); }, 3000));
    EXPECT_EQ(panel.TtffBox().text(), "time-out");
    for (const char* time : {"123530", "123531"})
        pty.WriteMaster(testsupport::Sentence(std::string("GPGGA,") + time + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,") +
                        testsupport::Sentence("GPGSA,A,3,04,,,,,,,,,,,,1.0,1.0,1.0"));
    ReceivedWhileRunning(pty, 1, 500);
    EXPECT_EQ(panel.TtffBox().text(), "time-out");
}

// A module that answers all day: the Receive box appends each reply and keeps the
// newest lines, a reader scrolled up stays where he is, and the command field keeps the
// newest commands typed after its two prefilled entries.
TEST_F(MonitorFrame, CommandPanelKeepsTheNewestRepliesAndCommandsAndLeavesAReaderWhereHeIs) {
    testsupport::PtyPair pty;
    CMonitorApp monitor(m_notifier, {QString::fromStdString(pty.SlavePath())}, 115200);
    monitor.MainFrame().ConnectOrDisconnect();
    monitor.Show();
    monitor.MainFrame().resize(1280, 800);
    CNaviCmdView& panel = PanelOf(monitor);
    QPlainTextEdit& box = panel.ReceiveBox();
    const auto reply = [&](int n) {
        LinkEvent e(LinkMessage{msg::kReplyDecoded, DecodedReply{"[Receive] " + std::to_string(n) + "\r\n"}});
        QCoreApplication::sendEvent(&panel, &e);
    };
    const int replies = kReceiveLines + 500;
    for (int n = 1; n <= replies; ++n) reply(n);
    EXPECT_EQ(box.blockCount(), kReceiveLines);  // the last block is the empty one after a CR LF
    const QStringList lines = box.toPlainText().split('\n');
    EXPECT_EQ(lines.front(), QString("[Receive] %1").arg(replies - kReceiveLines + 2));
    EXPECT_EQ(lines[lines.size() - 2], QString("[Receive] %1").arg(replies));
    QScrollBar* bar = box.verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());  // following the newest

    bar->setValue(0);
    reply(replies + 1);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_TRUE(box.toPlainText().endsWith(QString("[Receive] %1\n").arg(replies + 1)));
    box.clear();  // the user empties the box: the next reply stands alone
    reply(7);
    EXPECT_EQ(box.toPlainText(), "[Receive] 7\n");

    for (int n = 0; n < kCommandHistory + 20; ++n) {
        panel.CommandField().setEditText(QString("PZRC460,%1").arg(n));
        panel.SendClicked();
    }
    QComboBox& field = panel.CommandField();
    ASSERT_EQ(field.count(), 2 + kCommandHistory);
    EXPECT_EQ(field.itemText(0), "PZRC");
    EXPECT_EQ(field.itemText(1), "PMTK");
    EXPECT_EQ(field.itemText(2), "PZRC460,20");
    EXPECT_EQ(field.itemText(field.count() - 1), QString("PZRC460,%1").arg(kCommandHistory + 19));
}

// While the module takes binary packets nothing else reaches the line: the panel's
// commands are refused and a TTFF series' next restart waits; Cancel sends the module
// back to NMEA, and the series then goes on. Devices and empty files are never loaded.
TEST_F(MonitorFrame, GpdUploadHoldsTheLineUntilCancelSendsTheModuleBackToNmea) {
    testsupport::PtyPair pty;
    CMonitorApp monitor(m_notifier, {QString::fromStdString(pty.SlavePath())}, 115200);
    CMainFrame& frame = monitor.MainFrame();
    frame.ConnectOrDisconnect();
    for (const auto& [file, message] : std::vector<std::pair<std::string, QString>>{
             {"/dev/zero", "GPD file is not a regular file!"}, {m_dir / "empty.gpd", "GPD file is empty!"}}) {
        testsupport::WriteFile(m_dir / "empty.gpd", "");
        frame.LoadGpd(QString::fromStdString(file));
        EXPECT_EQ(m_notifier.messages.back(), message);
        frame.SendGpdFile();
        EXPECT_EQ(m_notifier.messages.back(), "Please open the GPD file before send");
    }
    testsupport::WriteFile(m_dir / "a.gpd", std::string(3000, 'g'));
    frame.LoadGpd(QString::fromStdString(m_dir / "a.gpd"));
    CNaviCmdView& panel = PanelOf(monitor);
    panel.TimeoutBox().setValue(1);
    panel.CyclesBox(Restart::Cold).setValue(2);
    panel.RestartClicked(Restart::Cold);
    EXPECT_EQ(ReadExactly(pty, 17), "$PZRC030,3,1*2A\r\n");

    m_notifier.messages.clear();
    frame.SendGpdFile();
    EXPECT_EQ(ReadExactly(pty, 22).substr(0, 18), "$PZRC149,1,115200*");
    pty.WriteMaster(Reply(1, 0x95, 3));
    EXPECT_EQ(ReadExactly(pty, 523).substr(0, 8), std::string("\xAA\xF0\x0B\x02\x66\x02\0\0", 8));
    panel.RestartClicked(Restart::Hot);
    panel.ChooseConstellations({true, false, false});
    panel.SetClicked();
    panel.CommandField().setEditText("PZRC460");
    panel.SendClicked();
    EXPECT_EQ(m_notifier.messages,
              QStringList(3, "A GPD upload is under way: send commands when it has ended"));
    // The series' first cycle times out meanwhile; its next restart waits for the line.
    CTtffSeriesDlg& table = *panel.SeriesTable();
    ASSERT_TRUE(WaitFor([&] { return table.StatusText() == "cycle 2 of 2: waiting for the GPD upload to end"; }, 1800))
        << table.StatusText().toStdString();
    pty.WriteMaster(Reply(3, 0, 1));
    EXPECT_EQ(ReadExactly(pty, 523).substr(4, 4), std::string("\x66\x02\x01\x00", 4));  // block 1, nothing before it
    ASSERT_TRUE(WaitFor([&] { return frame.StatusText(5) == "GPD block 2 of 6"; }, 2000));
    if (kPaint) {  // the bar with "Cancel" and the count, as the user sees them
        frame.show();
        frame.resize(1280, 800);
        QCoreApplication::processEvents();
        QDir().mkpath(PICTURES_DIR);
        frame.grab().save(QString(PICTURES_DIR) + "/gpd-upload.png");
    }
    frame.GpdSendButton().click();  // "Cancel"
    EXPECT_FALSE(frame.GpdSendButton().isEnabled());
    EXPECT_EQ(ReadExactly(pty, 14).substr(0, 6), std::string("\xAA\xF0\x0E\x00\x95\x00", 6));
    ASSERT_TRUE(WaitFor([&] { return !frame.GpdRunning(); }, 2000));
    EXPECT_EQ(m_notifier.messages.back(), "Block 2 of 6: cancelled; module sent back to NMEA");
    EXPECT_EQ(frame.GpdSendButton().text(), "Send");
    EXPECT_TRUE(frame.ConnectButton().isEnabled());
    // The line is free again: the series' second restart goes out, and commands with it.
    EXPECT_EQ(ReceivedWhileRunning(pty, 17, 2000), "$PZRC030,3,1*2A\r\n");
    panel.StopSeries();
    panel.SendClicked();
    EXPECT_EQ(ReadExactly(pty, 13).substr(0, 8), "$PZRC460");
}

// The simulated module answers the switch and then refuses the second block: the
// message names the block and the reason, and the module is back in NMEA after it.
TEST_F(MonitorFrame, GpdFaultOfTheSimulatedModuleIsToldByBlockAndNmeaComesBack) {
    using namespace std::chrono_literals;
    SimulatedModule module({"--link", m_dir / "ttySIM0", "--rate", "10", "--unpaced", "--fault", "gpd-bad-status=1"},
                           m_dir.Path());
    CMonitorApp monitor(m_notifier, {QString::fromStdString(m_dir / "ttySIM0")}, 115200);
    CMainFrame& frame = monitor.MainFrame();
    frame.ConnectOrDisconnect();
    testsupport::WriteFile(m_dir / "a.gpd", testsupport::RandomBytes(700, 9));
    frame.LoadGpd(QString::fromStdString(m_dir / "a.gpd"));
    frame.SendGpdFile();
    ASSERT_TRUE(WaitFor([&] { return !frame.GpdRunning(); }, 10000));
    EXPECT_EQ(m_notifier.messages.back(), "Block 2 of 2: refused, status 0 (ACK error 2, seq 2); module sent back to NMEA");
    MessageLog log;
    monitor.Registry().View(WindowType::NmeaInfo)->installEventFilter(&log);
    EXPECT_TRUE(WaitFor([&] { return log.seen.size() >= 3; }, 5000));  // the module's sentences again
}

// While the line is lost and waited for, a command is refused in words (nothing goes
// out, the TTFF measurement is not restarted) and the TTFF clock stops.
TEST_F(MonitorFrame, CommandsWhileTheLineIsLostAreRefusedAndTheTtffClockStops) {
    testsupport::PtyPair pty;
    CMonitorApp monitor(m_notifier, {QString::fromStdString(pty.SlavePath())}, 115200);
    CMainFrame& frame = monitor.MainFrame();
    frame.ConnectOrDisconnect();
    CNaviCmdView& panel = PanelOf(monitor);
    panel.RestartClicked(Restart::Hot);
    EXPECT_EQ(ReceivedWhileRunning(pty, 17, 2000), "$PZRC030,1,1*28\r\n");
    // An epoch without a fix, closed by the next one's GGA: the clock starts.
    pty.WriteMaster(testsupport::Sentence("GPGGA,123519,,,,,0,00,99.99,,,,,,") +
                    testsupport::Sentence("GPGSA,A,1,,,,,,,,,,,,,,,") +
                    testsupport::Sentence("GPGSV,1,1,01,04,40,100,40") +
                    testsupport::Sentence("GPGGA,123520,,,,,0,00,99.99,,,,,,"));
    ASSERT_TRUE(WaitFor([&] { return !panel.TtffBox().text().isEmpty(); }, 5000));  // the clock runs
    pty.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return frame.StatusText(2) == "  Waiting <- ? ->"; }, 5000));
    ASSERT_TRUE(WaitFor([&] { return panel.TtffBox().text().isEmpty(); }, 2000));

    m_notifier.messages.clear();
    const int kept = panel.CommandField().count();
    panel.RestartClicked(Restart::Cold);
    panel.ChooseConstellations({true, false, false});
    panel.SetClicked();
    panel.CommandField().setEditText("PZRC030,1,1");
    panel.SendClicked();
    ASSERT_EQ(m_notifier.messages.size(), 3);
    for (const QString& text : m_notifier.messages)
        EXPECT_TRUE(text.startsWith("line lost (Input/output error): the command was not sent")) << text.toStdString();
    EXPECT_EQ(panel.CommandField().count(), kept) << "a refused command is not kept in the list";
    frame.ConnectOrDisconnect();
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");  // also when CTest lists the tests
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

namespace {

QPushButton* BarButton(CMainFrame& frame, const QString& text) {
    for (QPushButton* b : frame.findChildren<QPushButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

}  // namespace

// The bar opens the windows that are not home windows: over the tiles, which stay where
// they are; a second click brings the open one to the front, and one closed opens anew.
TEST_F(MonitorFrame, SatellitesAndConsoleOpenFromTheBarOverTheTiles) {
    CMonitorApp monitor(m_notifier, {}, 0);
    CMainFrame& frame = monitor.MainFrame();
    monitor.Show();
    frame.showNormal();  // the offscreen screen is smaller than the one looked at
    frame.resize(1280, 800);
    QCoreApplication::processEvents();
    std::vector<QRect> tiles;
    for (WindowType type : ClearOrder())
        if (!MonitorWindowOf(type).onDemand) tiles.push_back(monitor.Registry().Frame(type)->geometry());
    EXPECT_EQ(monitor.Registry().Frame(WindowType::Console), nullptr) << "not open at the start";
    QPushButton* satellites = BarButton(frame, "Satellites");
    QPushButton* console = BarButton(frame, "Console");
    ASSERT_TRUE(satellites && console);
    satellites->click();
    console->click();
    console->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(frame.MdiArea().subWindowList().size(), 9);
    EXPECT_EQ(frame.MdiArea().activeSubWindow(), monitor.Registry().Frame(WindowType::Console));
    const QSize area = frame.MdiArea().size();
    const HomeRect home = HomeRectOf(WindowType::Console, area.width(), area.height());
    EXPECT_EQ(monitor.Registry().Frame(WindowType::Console)->geometry(), QRect(home.left, home.top, home.width, home.height));
    EXPECT_TRUE(QRect(QPoint(), area).contains(monitor.Registry().Frame(WindowType::SatelliteTable)->geometry()));
    std::vector<QRect> after;
    for (WindowType type : ClearOrder())
        if (!MonitorWindowOf(type).onDemand) after.push_back(monitor.Registry().Frame(type)->geometry());
    EXPECT_EQ(after, tiles);
    ASSERT_EQ(frame.width(), 1280) << "the offscreen screen is " << frame.screen()->size().width() << " wide";
    // The bar with its two new buttons and the status bar with the counts beside a
    // notice show every text whole at 1280 wide.
    frame.Notice("line lost on ttyUSB0: Input/output error");
    QCoreApplication::processEvents();
    std::vector<QWidget*> bars{frame.statusBar()};
    for (QToolBar* bar : frame.findChildren<QToolBar*>()) bars.push_back(bar);
    for (QWidget* bar : bars) {
        for (QLabel* l : bar->findChildren<QLabel*>()) {
            if (!l->isVisible() || l->text().trimmed().isEmpty()) continue;
            EXPECT_GE(l->contentsRect().width(), QFontMetrics(l->font()).horizontalAdvance(l->text())) << l->text().toStdString();
        }
        for (QPushButton* b : bar->findChildren<QPushButton*>()) {
            if (!b->isVisible()) continue;
            EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
        }
    }
    if (kPaint) {
        QDir().mkpath(PICTURES_DIR);
        frame.grab().save(QString(PICTURES_DIR) + "/skyledger-new-windows.png");
    }

    monitor.Registry().Frame(WindowType::Console)->close();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(monitor.Registry().Frame(WindowType::Console), nullptr);
    EXPECT_EQ(monitor.Registry().View(WindowType::Console), nullptr);
    EXPECT_EQ(frame.MdiArea().subWindowList().size(), 8);
    monitor.Registry().Frame(WindowType::SkyView)->close();
    EXPECT_TRUE(monitor.Registry().Frame(WindowType::SkyView)->isVisible()) << "a home window stays";
    console->click();
    EXPECT_NE(monitor.Registry().View(WindowType::Console), nullptr);
}

// The simulated module through the console: its sentences as they come, the command the
// panel sent marked as sent with the module's reply after it, the counts in the status
// bar and the console; the module killed mid-run, as a pulled cable, is told in both.
TEST_F(MonitorFrame, ConsoleAndStatisticsFollowTheSimulatorUntilItIsKilled) {
    SimulatedModule module({"--link", m_dir / "ttySIM0", "--rate", "5"}, m_dir.Path());
    CMonitorApp monitor(m_notifier, {QString::fromStdString(module.device)}, 115200);
    CMainFrame& frame = monitor.MainFrame();
    if (kPaint) monitor.Show();
    frame.showNormal();  // the offscreen screen is smaller than the one looked at
    frame.resize(1280, 800);
    monitor.ShowWindow(WindowType::SatelliteTable);
    monitor.ShowWindow(WindowType::Console);
    auto& console = *static_cast<CConsoleView*>(monitor.Registry().View(WindowType::Console));
    frame.ConnectOrDisconnect();
    ASSERT_TRUE(m_notifier.messages.isEmpty()) << m_notifier.messages.join("|").toStdString();
    const auto hasLine = [&](const std::function<bool(const ConsoleLine&)>& match) {
        return std::any_of(console.History().Lines().begin(), console.History().Lines().end(), match);
    };
    ASSERT_TRUE(WaitFor([&] { return console.History().Lines().size() > 40; }, 10000));
    EXPECT_EQ(console.History().Lines().front().text, "opened " + module.device + " at 115200 baud");
    const CommandBytes hot = RestartCommand(ModuleFamily::Zr, Restart::Hot);
    ASSERT_TRUE(frame.ActiveLink()->SendBytes(hot.data(), hot.size()));
    const std::string sent = SentText(hot);
    ASSERT_TRUE(WaitFor([&] {
        return hasLine([&](const ConsoleLine& l) { return l.kind == ConsoleKind::Sent && l.text == sent; });
    }, 5000)) << sent;
    EXPECT_TRUE(WaitFor([&] {
        return hasLine([](const ConsoleLine& l) { return l.kind == ConsoleKind::Received && l.text.starts_with("$PZRC"); });
    }, 5000)) << "the module's reply";
    ASSERT_TRUE(WaitFor([&] { return frame.CurrentLinkStatus().bytesPerSecond > 100; }, 5000));
    const LinkStatus live = frame.CurrentLinkStatus();
    EXPECT_TRUE(live.open);
    EXPECT_GT(live.counts.sentences, 20u);
    EXPECT_EQ(live.counts.checksumErrors, 0u);
    EXPECT_TRUE(frame.StatisticsText().contains(" sentences, 0 bad, 0 dropped")) << frame.StatisticsText().toStdString();
    console.ShowStatus();
    EXPECT_FALSE(console.StatusLabel().text().contains("no line open"));
    if (kPaint) {
        QDir().mkpath(PICTURES_DIR);
        frame.grab().save(QString(PICTURES_DIR) + "/skyledger-console-live.png");
    }

    module.process.Signal(SIGKILL);
    ASSERT_TRUE(WaitFor([&] {
        return hasLine([&](const ConsoleLine& l) {
            return l.kind == ConsoleKind::Note && l.text.starts_with("line lost on " + module.device + ": ");
        });
    }, 5000));
    ASSERT_TRUE(WaitFor([&] { return frame.CurrentLinkStatus().bytesPerSecond == 0; }, 3000));
    const LinkStatus lost = frame.CurrentLinkStatus();
    EXPECT_FALSE(lost.open);
    EXPECT_GE(lost.counts.bytes, live.counts.bytes) << "the counts stay";
    EXPECT_TRUE(frame.StatisticsText().contains(", 0 B/s,")) << frame.StatisticsText().toStdString();
    console.ShowStatus();
    EXPECT_TRUE(console.StatusLabel().text().endsWith("(no line open)")) << console.StatusLabel().text().toStdString();
    EXPECT_TRUE(frame.StatusText(2) == "  Line lost <- x ->" || frame.StatusText(2) == "  Waiting <- ? ->")
        << frame.StatusText(2).toStdString();
    if (kPaint) frame.grab().save(QString(PICTURES_DIR) + "/skyledger-console-lost.png");
    frame.ConnectOrDisconnect();
}
