// The monitor's frame on the offscreen platform: start-up, tiling, the connection bar
// against a pseudo-terminal, messages reaching the windows, clearing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <functional>
#include <unistd.h>

#include "MainFrame.h"
#include "MonitorApp.h"
#include "Nmea.h"
#include "Notifier.h"
#include "TestSupport.h"

namespace {

bool WaitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// The window messages each view receives, in order.
class MessageLog : public QObject {
public:
    bool eventFilter(QObject* target, QEvent* event) override {
        if (event->type() >= 1025 && event->type() <= 1151) seen.push_back({target, static_cast<int>(event->type())});
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
    monitor.MainFrame().ConnectOrDisconnect();
    EXPECT_EQ(m_notifier.messages, QStringList{"COM port not select!"});
    EXPECT_EQ(monitor.MainFrame().ConnectButton().text(), "Connect");
}

TEST_F(MonitorFrame, ConnectFeedsTheWindowsAndDisconnectKeepsThePortName) {
    testsupport::PtyPair pty;
    CMonitorApp monitor(m_notifier, {QString::fromStdString(pty.SlavePath())}, 115200);
    monitor.Show();
    MessageLog log;
    for (const MonitorWindowType& row : MonitorWindowTypes()) monitor.Registry().View(row.type)->installEventFilter(&log);
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
    ASSERT_TRUE(WaitFor([&] { return log.seen.size() >= 4; }, 5000));
    EXPECT_EQ(log.seen[1].first, monitor.Registry().View(WindowType::NmeaInfo));
    EXPECT_EQ(log.seen[1].second, 1025);
    EXPECT_EQ(log.seen[2].first, monitor.Registry().View(WindowType::FixMode));
    EXPECT_EQ(log.seen[3].first, monitor.Registry().View(WindowType::Track));

    const QString portName = frame.StatusText(1);
    frame.ConnectOrDisconnect();
    EXPECT_EQ(frame.ConnectButton().text(), "Connect");
    EXPECT_EQ(frame.StatusText(2), "  DisConnect <- x ->");
    EXPECT_EQ(frame.StatusText(1), portName);
    EXPECT_EQ(frame.ActiveLink(), nullptr);

    QDir().mkpath(PICTURES_DIR);
    frame.resize(1280, 800);
    frame.grab().save(QString(PICTURES_DIR) + "/skyledger-main.png");
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
