// The whole monitor fed with the captures of real receivers of other makes (every window
// shows that receiver's satellites, fixes and speeds, nothing twice, nothing frozen) and
// with the simulated module driving a route.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <sstream>

#include "monitor/app/MainFrame.h"
#include "monitor/app/MonitorApp.h"
#include "monitor/app/ReplayBar.h"
#include "monitor/windows/ConsoleView.h"
#include "monitor/windows/FixModeView.h"
#include "monitor/windows/NmeaInfoView.h"
#include "monitor/windows/SatelliteTableView.h"
#include "monitor/windows/SignalView.h"
#include "monitor/windows/SkyView.h"
#include "monitor/windows/TrackView.h"
#include "monitor/windows/VelocityView.h"
#include "monitor/windows/WindowTypes.h"
#include "monitor/windows/chart/CTChart.h"
#include "platform/notifier/Notifier.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tools/CaptureFixes.h"

namespace {

using testsupport::kPaint;
using testsupport::WaitFor;

bool ChecksumGood(const std::string& line) {
    const auto star = line.find('*');
    if (line.empty() || line[0] != '$' || star == std::string::npos || star + 3 > line.size()) return false;
    unsigned sum = 0;
    for (std::size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(line[i]);
    return std::strtoul(line.substr(star + 1, 2).c_str(), nullptr, 16) == sum;
}

// The UTC time of the capture's last good GGA as "NMEA info" writes it.
// The fixes of a capture as nmeastats and nmeaexport count them.
std::size_t CaptureFixCount(const std::string& name) {
    FixCollector fixes;
    std::string error;
    EXPECT_TRUE(ReadCaptureFixes(std::string(NMEA_CAPTURES) + "/" + name, fixes, error)) << error;
    return fixes.Fixes().size();
}

QString LastGgaTime(const std::string& capture) {
    std::istringstream lines(capture);
    std::string line, time;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > 7 && line.compare(3, 4, "GGA,") == 0 && ChecksumGood(line)) time = line.substr(7, line.find(',', 7) - 7);
    }
    if (time.size() < 6) return {};
    return QString::asprintf("%02d:%02d:%07.4f", std::stoi(time.substr(0, 2)), std::stoi(time.substr(2, 2)),
                             std::stod(time.substr(4)));
}

template <typename View>
View& ViewOf(CMonitorApp& monitor, WindowType type) {
    return *static_cast<View*>(monitor.Registry().View(type));
}

class MonitorCaptures : public ::testing::TestWithParam<const char*> {
protected:
    MonitorCaptures() : m_oldDir(QDir::currentPath()) { QDir::setCurrent(QString::fromStdString(m_dir.Path())); }
    ~MonitorCaptures() override { QDir::setCurrent(m_oldDir); }

    testsupport::ScratchDir m_dir;  // the capture log and the track's reference file
    QString m_oldDir;
    RecordingNotifier m_notifier;
};

}  // namespace

TEST_P(MonitorCaptures, EveryWindowShowsTheReceiversLastEpoch) {
    const std::string capture = testsupport::ReadFile(std::string(NMEA_CAPTURES) + "/" + GetParam());
    testsupport::PtyPair pty;
    CMonitorApp monitor(m_notifier, {QString::fromStdString(pty.SlavePath())}, 115200);
    monitor.MainFrame().resize(1280, 800);
    if (kPaint) monitor.Show();
    monitor.ShowWindow(WindowType::SatelliteTable);
    monitor.MainFrame().ConnectOrDisconnect();
    ASSERT_TRUE(m_notifier.messages.isEmpty()) << m_notifier.messages.join("|").toStdString();

    for (std::size_t at = 0; at < capture.size(); at += 1024) {
        pty.WriteMaster(capture.substr(at, 1024));
        QCoreApplication::processEvents();
    }
    auto* info = static_cast<CNmeaInfoView*>(monitor.Registry().View(WindowType::NmeaInfo));
    const QString lastTime = LastGgaTime(capture);
    ASSERT_FALSE(lastTime.isEmpty());
    EXPECT_TRUE(WaitFor([&] { return info->Text(0, 2) == lastTime; }, 10000))
        << info->Text(0, 2).toStdString() << " instead of " << lastTime.toStdString();
    WaitFor([] { return false; }, 200);  // the rest of the last epoch
    // A value cut short in the tile ("SV Used" of many satellites) shows whole as a tooltip.
    for (int row = 0; row < info->Table().rowCount(); ++row)
        EXPECT_EQ(info->Table().item(row, 2)->toolTip(), info->Text(row, 2)) << row;

    // Sky view and Signal: the last report of the sky, each satellite once, none numbered 0.
    auto* sky = &ViewOf<CSkyViewView>(monitor, WindowType::SkyView);
    EXPECT_GT(sky->SatelliteCount(), 0);
    std::set<std::pair<int, int>> seen;
    for (int i = 0; i < sky->SatelliteCount(); ++i) {
        const SatelliteEntry& s = sky->Satellite(i);
        EXPECT_NE(s.prn, 0);
        EXPECT_TRUE(seen.insert({s.system, s.prn}).second) << "system " << int(s.system) << " PRN " << s.prn;
    }
    // Satellites: the satellites of the same report, constellation by constellation; a
    // receiver that names its signals has a row for each.
    std::map<int, std::set<int>> inSky, inTable;
    for (int i = 0; i < sky->SatelliteCount(); ++i) inSky[sky->Satellite(i).system].insert(sky->Satellite(i).prn);
    const auto& table = ViewOf<CSatelliteTableView>(monitor, WindowType::SatelliteTable);
    for (const SatelliteRow& row : table.Model().Table().rows)
        if (row.elevation != kNotInView) inTable[row.system].insert(row.prn);
    EXPECT_EQ(inTable, inSky);
    EXPECT_EQ(table.Table().model()->rowCount(), static_cast<int>(table.Model().Table().rows.size()));
    std::set<QString> labels;
    for (const CTChart::Point& bar : ViewOf<CSignalView>(monitor, WindowType::Signal).Chart().Points(0)) {
        EXPECT_TRUE(labels.insert(bar.label).second) << bar.label.toStdString();
        EXPECT_GT(bar.y, 0);
    }
    // Fix mode: a sample per epoch; Track: no more fixes than the tools count (written at
    // once, the line may drop some), the first one the reference. The replay below counts
    // them exactly.
    EXPECT_GT(ViewOf<CFixModeView>(monitor, WindowType::FixMode).SampleCount(), 0);
    const std::size_t fixes = CaptureFixCount(GetParam());
    auto& track = ViewOf<CTrackView>(monitor, WindowType::Track);
    EXPECT_LE(track.Fixes().size(), fixes);
    EXPECT_EQ(track.Chart().Points(0).size(), fixes > 0 ? 1u : 0u);
    EXPECT_TRUE(ViewOf<CVelocityView>(monitor, WindowType::Velocity).SpeedDial().FootText().endsWith(" Km/h"));

    if (kPaint) {
        QDir().mkpath(PICTURES_DIR);
        const QString name = QFileInfo(GetParam()).completeBaseName();
        monitor.MainFrame().grab().save(QString(PICTURES_DIR) + "/capture-" + name + ".png");
        monitor.Registry().Frame(WindowType::SatelliteTable)->grab().save(QString(PICTURES_DIR) + "/satellites-" + name + ".png");
    }
    monitor.MainFrame().ConnectOrDisconnect();
}

// The same capture replayed from its file at full speed: the same last epoch, the end
// told; a seek back to the start plays it again into cleared windows.
TEST_P(MonitorCaptures, ReplayedShowsTheSameLastEpoch) {
    const std::string path = std::string(NMEA_CAPTURES) + "/" + GetParam();
    CMonitorApp monitor(m_notifier, {}, 115200);
    monitor.MainFrame().resize(1280, 800);
    if (kPaint) monitor.Show();
    CMainFrame& frame = monitor.MainFrame();
    ASSERT_TRUE(frame.StartReplay(QString::fromStdString(path), replay::kUnpaced));
    EXPECT_FALSE(frame.ConnectButton().isEnabled());
    EXPECT_EQ(frame.ReplayButton().text(), "Stop Replay");
    EXPECT_EQ(frame.StatusText(1), QFileInfo(GetParam()).fileName());
    ASSERT_TRUE(WaitFor([&] { return frame.StatusText(2) == "  Replay end"; }, 30000)) << frame.StatusText(2).toStdString();
    auto* info = static_cast<CNmeaInfoView*>(monitor.Registry().View(WindowType::NmeaInfo));
    EXPECT_EQ(info->Text(0, 2), LastGgaTime(testsupport::ReadFile(path)));
    CReplayBar& bar = frame.ReplayBar();
    const std::size_t entries = bar.Player()->Entries().size();
    EXPECT_TRUE(bar.PositionText().text().endsWith(QString("%1/%1").arg(entries)));
    const std::size_t samples = ViewOf<CFixModeView>(monitor, WindowType::FixMode).Chart().Points(1).size();
    // A replay ends its last epoch: Track has every fix the tools count.
    ASSERT_TRUE(WaitFor([&] { return ViewOf<CTrackView>(monitor, WindowType::Track).Fixes().size() == CaptureFixCount(GetParam()); }, 5000))
        << ViewOf<CTrackView>(monitor, WindowType::Track).Fixes().size() << " fixes in Track";

    // The counts of a replay read like a line's: every byte of the file, no checksum
    // error more than the capture holds.
    frame.ReadStatistics();
    EXPECT_EQ(frame.CurrentLinkStatus().counts.bytes, testsupport::ReadFile(path).size());
    EXPECT_GT(frame.CurrentLinkStatus().counts.sentences, 0u);

    bar.SeekTo(0);
    ASSERT_TRUE(WaitFor([&] { return frame.StatusText(2) == "  Replay >>--->>"; }, 10000));
    ASSERT_TRUE(WaitFor([&] { return frame.StatusText(2) == "  Replay end"; }, 30000));
    EXPECT_EQ(ViewOf<CFixModeView>(monitor, WindowType::FixMode).Chart().Points(1).size(), samples)
        << "the windows start afresh at a seek";
    EXPECT_EQ(info->Text(0, 2), LastGgaTime(testsupport::ReadFile(path)));
    if (kPaint && std::string(GetParam()) == "ublox-zed-f9p-nmea.nmea") {
        QDir().mkpath(PICTURES_DIR);
        frame.grab().save(QString(PICTURES_DIR) + "/skyledger-replay.png");
    }

    frame.StopReplay();
    EXPECT_TRUE(frame.ConnectButton().isEnabled());
    EXPECT_EQ(frame.ReplayButton().text(), "Replay");
    EXPECT_EQ(frame.StatusText(2), "  DisConnect <- x ->");
    EXPECT_TRUE(m_notifier.messages.isEmpty()) << m_notifier.messages.join("|").toStdString();
}

TEST(MonitorReplay, AFileThatCannotBeReplayedIsTold) {
    RecordingNotifier notifier;
    CMonitorApp monitor(notifier, {}, 115200);
    EXPECT_FALSE(monitor.MainFrame().StartReplay("/nonexistent/capture.log", 1));
    ASSERT_EQ(notifier.messages.size(), 1);
    EXPECT_TRUE(notifier.messages[0].contains("cannot open /nonexistent/capture.log")) << notifier.messages[0].toStdString();
    EXPECT_TRUE(monitor.MainFrame().ConnectButton().isEnabled());
    EXPECT_EQ(monitor.MainFrame().ReplayButton().text(), "Replay");
}

INSTANTIATE_TEST_SUITE_P(RealReceivers, MonitorCaptures,
                         ::testing::Values("GPSmap-76S.nmea", "quectel-eg25-g.nmea", "quectel-l76k-nmea.nmea",
                                           "sirfstarv-nmea.nmea", "skytraq.nmea", "st-teseo-liv3f.nmea",
                                           "telit-he910.nmea", "tr737a-plus.nmea", "ublox-zed-f9p-nmea.nmea"),
                         [](const auto& info) {
                             std::string name = info.param;
                             name = name.substr(0, name.find('.'));
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// A minute of the simulated module driving its route, sent as fast as the line takes it:
// each window gets its picture.
TEST(MonitorSimulated, AMinuteOfDrivingInEveryWindow) {
    testsupport::ScratchDir dir;
    const QString oldDir = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(dir.Path()));
    testsupport::ChildProcess sim({ZRSIM, "--link", dir / "ttySIM0", "--route", "--flood", "--unpaced"}, dir.Path());
    ASSERT_TRUE(sim.WaitFor("\n", std::chrono::seconds(20))) << sim.Output();
    RecordingNotifier notifier;
    {
        CMonitorApp monitor(notifier, {QString::fromStdString(dir / "ttySIM0")}, 115200);
        monitor.MainFrame().resize(1280, 800);
        if (kPaint) monitor.Show();
        monitor.ShowWindow(WindowType::SatelliteTable);
        monitor.ShowWindow(WindowType::Console);
        monitor.MainFrame().ConnectOrDisconnect();
        ASSERT_TRUE(notifier.messages.isEmpty()) << notifier.messages.join("|").toStdString();
        auto& fixMode = ViewOf<CFixModeView>(monitor, WindowType::FixMode);
        EXPECT_TRUE(WaitFor([&] { return fixMode.Chart().Points(0).size() >= 60; }, 60000));
        monitor.MainFrame().ConnectOrDisconnect();
        WaitFor([] { return false; }, 300);  // what was already posted

        EXPECT_GT(ViewOf<CTrackView>(monitor, WindowType::Track).Chart().Points(2).size(), 10u);
        EXPECT_GT(ViewOf<CSkyViewView>(monitor, WindowType::SkyView).SatelliteCount(), 20);
        EXPECT_GT(ViewOf<CSignalView>(monitor, WindowType::Signal).Chart().Points(0).size(), 20u);
        EXPECT_NE(ViewOf<CVelocityView>(monitor, WindowType::Velocity).SpeedDial().FootText(), "0.0000 Km/h");
        EXPECT_GT(ViewOf<CSatelliteTableView>(monitor, WindowType::SatelliteTable).Model().rowCount(), 20);
        EXPECT_GT(ViewOf<CConsoleView>(monitor, WindowType::Console).History().Lines().size(), 600u);
        if (kPaint) {
            QDir().mkpath(PICTURES_DIR);
            monitor.MainFrame().grab().save(QString(PICTURES_DIR) + "/skyledger-simulated.png");
            for (const MonitorWindowType& row : MonitorWindowTypes()) {
                QString name = QString(row.title).toLower().replace(' ', '-');
                QMdiSubWindow* frame = monitor.Registry().Frame(row.type);
                frame->grab().save(QString(PICTURES_DIR) + "/window-" + name + ".png");
                if (!row.onDemand) continue;
                // A window opened on demand, at the size it opens with: every label whole.
                for (const QLabel* label : frame->findChildren<QLabel*>()) {
                    if (!label->isVisible() || label->text().isEmpty() || label->wordWrap()) continue;
                    EXPECT_GE(label->contentsRect().width(), label->sizeHint().width() - 2 * label->margin())
                        << row.title << ": " << label->text().toStdString();
                }
            }
            // Each window maximised on both screens: every label shows its whole text.
            for (const QSize screen : {QSize(1280, 800), QSize(1920, 1080)}) {
                monitor.MainFrame().resize(screen);
                for (const MonitorWindowType& row : MonitorWindowTypes()) {
                    QMdiSubWindow* frame = monitor.Registry().Frame(row.type);
                    frame->showMaximized();
                    QCoreApplication::processEvents();
                    for (const QLabel* label : frame->findChildren<QLabel*>()) {
                        if (!label->isVisible() || label->text().isEmpty() || label->wordWrap()) continue;
                        EXPECT_GE(label->contentsRect().width(), label->sizeHint().width() - 2 * label->margin())
                            << row.title << ": " << label->text().toStdString();
                    }
                    QString name = QString(row.title).toLower().replace(' ', '-');
                    frame->grab().save(QString("%1/maximised-%2-%3.png").arg(PICTURES_DIR, name).arg(screen.width()));
                    frame->showNormal();
                }
            }
        }
    }
    QDir::setCurrent(oldDir);
}
