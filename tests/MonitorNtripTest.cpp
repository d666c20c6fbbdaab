// The monitor's NTRIP window and capture choice on the offscreen platform: zrsim as the
// caster on loopback and as the module on a pseudo-terminal, the frame connected to it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QToolBar>
#include <csignal>

#include "monitor/app/MainFrame.h"
#include "monitor/app/MonitorApp.h"
#include "monitor/windows/NmeaInfoView.h"
#include "monitor/windows/NtripDlg.h"
#include "platform/notifier/Notifier.h"
#include "platform/serial/PortList.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/Nmea.h"
#include "tests/support/TestSupport.h"

using namespace std::chrono_literals;
using testsupport::ChildProcess;
using testsupport::kPaint;
using testsupport::WaitFor;

namespace {

constexpr int kQualityRow = 5;  // "Quality" in NMEA info
constexpr int kValueColumn = 2;

// zrsim as a user runs it; the first line it prints is its device or its address.
struct Zrsim {
    ChildProcess process;
    std::string firstLine;
    Zrsim(std::vector<std::string> args, const std::string& dir) : process(WithProgram(std::move(args)), dir) {
        EXPECT_TRUE(process.WaitFor("\n", 20s)) << process.Output();
        firstLine = process.Output().substr(0, process.Output().find('\n'));
    }
    static std::vector<std::string> WithProgram(std::vector<std::string> args) {
        args.insert(args.begin(), ZRSIM);
        return args;
    }
    int Port() const { return std::stoi(firstLine.substr(firstLine.rfind(':') + 1)); }
};

class MonitorNtrip : public ::testing::Test {
protected:
    MonitorNtrip() : m_oldDir(QDir::currentPath()) {
        QDir::setCurrent(QString::fromStdString(m_dir.Path()));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(m_dir / "config"));
    }
    ~MonitorNtrip() override { QDir::setCurrent(m_oldDir); }

    static void Fill(CNtripDlg& dlg, int port, const QString& mount, const QString& user, const QString& password) {
        dlg.Caster().setText("127.0.0.1");
        dlg.Port().setValue(port);
        dlg.Mountpoint().setEditText(mount);
        dlg.User().setText(user);
        dlg.Password().setText(password);
    }
    static QString Quality(CMonitorApp& monitor) {
        return static_cast<CNmeaInfoView*>(monitor.Registry().View(WindowType::NmeaInfo))->Text(kQualityRow, kValueColumn);
    }

    testsupport::ScratchDir m_dir;
    QString m_oldDir;
    RecordingNotifier m_notifier;
};

// Every label and button of `window` shows its whole text at the window's size.
void ExpectNothingClipped(QWidget& window) {
    for (const QLabel* label : window.findChildren<QLabel*>())
        if (label->isVisible() && !label->wordWrap())
            EXPECT_GE(label->width(), label->minimumSizeHint().width()) << label->text().toStdString();
    for (const QAbstractButton* button : window.findChildren<QAbstractButton*>())
        if (button->isVisible())
            EXPECT_GE(button->width(), button->minimumSizeHint().width()) << button->text().toStdString();
}

}  // namespace

// The whole chain: the table lists the mountpoints, corrections flow to the module beside
// its NMEA and NMEA info shows "Float Integers" then "Fixed Integers"; the caster stops,
// the window says so and the module falls back to a plain fix; the caster comes back on
// its port and the window connects again by itself.
TEST_F(MonitorNtrip, CorrectionsBringFixedIntegersAndTheWindowReconnectsAfterTheCasterStops) {
    auto caster = std::make_unique<Zrsim>(std::vector<std::string>{"--caster", "0", "--caster-user", "rover:secret"},
                                          m_dir.Path());
    const int port = caster->Port();
    Zrsim module({"--link", m_dir / "ttySIM0"}, m_dir.Path());
    CMonitorApp monitor(m_notifier, {QString::fromStdString(module.firstLine)}, 115200);
    CMainFrame& frame = monitor.MainFrame();
    frame.resize(1280, 800);
    monitor.Show();
    frame.ConnectOrDisconnect();
    ASSERT_EQ(frame.ConnectButton().text(), "DisConnect") << m_notifier.messages.join("\n").toStdString();
    CNtripDlg& dlg = frame.OpenNtrip();
    Fill(dlg, port, "", "rover", "secret");
    dlg.GetSourceTable();
    ASSERT_TRUE(WaitFor([&] { return dlg.TableText().contains("SIM2"); }, 20000)) << dlg.TableText().toStdString();
    EXPECT_EQ(dlg.TableText(), "Source table: SIM1 (RTCM 3.3, wants GGA), SIM2 (RTCM 3.3)");
    ASSERT_EQ(dlg.Mountpoint().count(), 2);
    dlg.Mountpoint().setCurrentIndex(0);
    dlg.GgaEvery().setValue(2);
    dlg.ConnectClicked();
    ASSERT_TRUE(WaitFor([&] { return Quality(monitor) == "Float Integers"; }, 60000)) << Quality(monitor).toStdString();
    ASSERT_TRUE(WaitFor([&] { return Quality(monitor) == "Fixed Integers"; }, 60000)) << Quality(monitor).toStdString();
    EXPECT_EQ(dlg.StateText(), "Connected");
    EXPECT_TRUE(dlg.LineText().startsWith("open, ")) << dlg.LineText().toStdString();
    EXPECT_TRUE(dlg.AgeText().endsWith(" s")) << dlg.AgeText().toStdString();
    EXPECT_EQ(dlg.BadFramesText(), "0 (counted, not sent)");
    ASSERT_GE(dlg.Types().rowCount(), 2);
    EXPECT_EQ(dlg.Types().item(0, 0)->text(), "1005");
    EXPECT_TRUE(dlg.LastStatus().client.sendingGga);
    EXPECT_EQ(dlg.LastStatus().framesNotSent, 0u);
    EXPECT_GT(dlg.LastStatus().framesSent, 0u);
    if (kPaint) {
        QDir().mkpath(PICTURES_DIR);
        ExpectNothingClipped(dlg);
        dlg.grab().save(QString(PICTURES_DIR) + "/ntrip.png");
        frame.resize(1280, 800);
        QCoreApplication::processEvents();
        for (QToolBar* bar : frame.findChildren<QToolBar*>())
            if (bar->isVisible()) ExpectNothingClipped(*bar);  // the connection bar, NTRIP and Capture on it
        frame.grab().save(QString(PICTURES_DIR) + "/ntrip-fixed-main.png");
    }

    caster->process.Signal(SIGTERM);
    EXPECT_EQ(caster->process.Wait(20s), 0);
    EXPECT_NE(caster->process.Output().find("zrsim: caster: from the rover: $GPGGA,"), std::string::npos);
    caster.reset();
    ASSERT_TRUE(WaitFor([&] { return dlg.StateText().contains("connection refused"); }, 30000)) << dlg.StateText().toStdString();
    ASSERT_TRUE(WaitFor([&] { return Quality(monitor) == "SPS"; }, 30000)) << Quality(monitor).toStdString();
    caster = std::make_unique<Zrsim>(
        std::vector<std::string>{"--caster", std::to_string(port), "--caster-user", "rover:secret"}, m_dir.Path());
    ASSERT_TRUE(WaitFor([&] { return dlg.LastStatus().client.connections == 2 && dlg.StateText() == "Connected"; }, 60000))
        << dlg.StateText().toStdString();
    ASSERT_TRUE(WaitFor([&] { return Quality(monitor) == "Fixed Integers"; }, 60000)) << Quality(monitor).toStdString();
    dlg.DisconnectClicked();
    EXPECT_EQ(dlg.StateText(), "Disconnected");
    frame.ConnectOrDisconnect();
    EXPECT_TRUE(m_notifier.messages.isEmpty()) << m_notifier.messages.join("\n").toStdString();
}

// Refusals in words, once each; no serial link said before anything is sent; the
// password stays off the disk unless it is to be remembered.
TEST_F(MonitorNtrip, RefusalsAndAMissingSerialLinkAreToldAndThePasswordIsKeptOnlyWhenAsked) {
    Zrsim caster({"--caster", "0", "--caster-user", "rover:secret"}, m_dir.Path());
    CMonitorApp monitor(m_notifier, {}, 115200);
    CNtripDlg& dlg = monitor.MainFrame().OpenNtrip();
    EXPECT_TRUE(dlg.LineText().startsWith("No serial link open")) << dlg.LineText().toStdString();
    const auto refused = [&](const QString& mount, const QString& password, const QString& text) {
        m_notifier.warnings.clear();
        Fill(dlg, caster.Port(), mount, "rover", password);
        dlg.ConnectClicked();
        EXPECT_TRUE(WaitFor([&] { return !m_notifier.warnings.isEmpty(); }, 20000)) << mount.toStdString();
        EXPECT_EQ(m_notifier.warnings, QStringList{text});
        EXPECT_EQ(dlg.StateText(), "Failed: " + text);
        EXPECT_FALSE(dlg.Running());
        EXPECT_TRUE(dlg.ConnectButton().isEnabled());
    };
    for (int version : {0, 1}) {
        dlg.Version().setCurrentIndex(version);
        refused("SIM1", "wrong", "401 Unauthorized: check user and password");
        refused("NOPE", "secret", "mountpoint NOPE not in the caster's table");
    }
    Fill(dlg, caster.Port(), "SIM1", "rover", "secret");
    dlg.ConnectClicked();
    ASSERT_TRUE(WaitFor([&] { return dlg.LastStatus().framesNotSent > 0; }, 20000));
    EXPECT_EQ(dlg.StateText(), "Connected");
    EXPECT_TRUE(dlg.LineText().startsWith("No serial link open")) << dlg.LineText().toStdString();
    EXPECT_EQ(dlg.LastStatus().framesSent, 0u);
    dlg.DisconnectClicked();
    {
        const QSettings settings;
        EXPECT_EQ(settings.value("ntrip/user").toString(), "rover");
        EXPECT_EQ(settings.value("ntrip/mountpoint").toString(), "SIM1");
        EXPECT_FALSE(settings.contains("ntrip/password"));
    }
    dlg.RememberPassword().setChecked(true);
    dlg.ConnectClicked();
    dlg.DisconnectClicked();
    EXPECT_EQ(QSettings().value("ntrip/password").toString(), "secret");
    CMonitorApp again(m_notifier, {}, 115200);
    CNtripDlg& recalled = again.MainFrame().OpenNtrip();
    EXPECT_EQ(recalled.Password().text(), "secret");
    EXPECT_EQ(recalled.Port().value(), caster.Port());
    recalled.RememberPassword().setChecked(false);
    recalled.ConnectClicked();
    recalled.DisconnectClicked();
    EXPECT_FALSE(QSettings().contains("ntrip/password"));

    // Nothing listens on the port any more: refused, and tried again.
    const int port = caster.Port();
    caster.process.Signal(SIGTERM);
    EXPECT_EQ(caster.process.Wait(20s), 0);
    m_notifier.warnings.clear();
    Fill(dlg, port, "SIM1", "rover", "secret");
    dlg.ConnectClicked();
    EXPECT_TRUE(WaitFor([&] { return dlg.StateText().contains("connection refused"); }, 20000)) << dlg.StateText().toStdString();
    EXPECT_TRUE(dlg.Running());
    EXPECT_TRUE(m_notifier.warnings.isEmpty());
    if (kPaint) {
        dlg.resize(dlg.sizeHint());
        QCoreApplication::processEvents();
        ExpectNothingClipped(dlg);
        QDir().mkpath(PICTURES_DIR);
        dlg.grab().save(QString(PICTURES_DIR) + "/ntrip-refused.png");
    }
}

// A chosen folder takes the next connection's capture under its usual name; capture off
// writes none; both are remembered; a folder that cannot be written is refused in words.
TEST_F(MonitorNtrip, CaptureGoesToTheChosenFolderOrNowhereAndTheChoiceIsRemembered) {
    testsupport::PtyPair pty;
    const QString chosen = QString::fromStdString(m_dir / "captures/today");
    {
        CMonitorApp monitor(m_notifier, {QString::fromStdString(pty.SlavePath())}, 9600);
        CMainFrame& frame = monitor.MainFrame();
        EXPECT_EQ(frame.CaptureFolder(), "LOG");
        EXPECT_EQ(frame.CaptureButton().text(), "Capture: LOG");
        EXPECT_EQ(frame.ChooseCaptureFolder(chosen), "");
        EXPECT_EQ(frame.CaptureButton().text(), "Capture: today");
        EXPECT_EQ(frame.CaptureButton().toolTip(), "Capture logs go to " + chosen);
        frame.ConnectOrDisconnect();
        EXPECT_FALSE(frame.CaptureButton().isEnabled());
        pty.WriteMaster(testsupport::Sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
        const QDir folder(chosen);
        ASSERT_TRUE(WaitFor([&] { return folder.entryInfoList(QDir::Files).size() == 1 &&
                                         folder.entryInfoList(QDir::Files)[0].size() > 0; }, 5000));
        const QString name = folder.entryList(QDir::Files)[0];
        EXPECT_TRUE(QRegularExpression("^\\d{4}_\\d{6}_" + QRegularExpression::escape(
                                           QString::fromStdString(serial::DeviceShortName(pty.SlavePath()))) + "\\.log$")
                        .match(name).hasMatch()) << name.toStdString();
        EXPECT_FALSE(QDir("LOG").exists());
        frame.ConnectOrDisconnect();
        EXPECT_TRUE(frame.CaptureButton().isEnabled());
        frame.SetCaptureOff(true);
        EXPECT_EQ(frame.CaptureButton().text(), "Capture: off");
    }
    CMonitorApp monitor(m_notifier, {QString::fromStdString(pty.SlavePath())}, 9600);
    CMainFrame& frame = monitor.MainFrame();
    EXPECT_TRUE(frame.CaptureOff());
    EXPECT_EQ(frame.CaptureFolder(), chosen);
    frame.ConnectOrDisconnect();
    pty.WriteMaster(testsupport::Sentence("GPGGA,123520,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
    ASSERT_TRUE(WaitFor([&] { return frame.ActiveLink()->BytesReceived() > 0; }, 5000));
    frame.ConnectOrDisconnect();
    EXPECT_EQ(QDir(chosen).entryList(QDir::Files).size(), 1);
    EXPECT_FALSE(QDir("LOG").exists());
    EXPECT_TRUE(m_notifier.messages.isEmpty()) << m_notifier.messages.join("\n").toStdString();

    // Under a plain file no folder can be made, for root too.
    testsupport::WriteFile(m_dir / "plain", "x");
    const QString blocked = QString::fromStdString(m_dir / "plain/captures");
    const QString refusal = frame.ChooseCaptureFolder(blocked);
    EXPECT_EQ(refusal, "Cannot write capture logs into " + blocked + ": the folder cannot be made. They stay in (capture off).");
    EXPECT_EQ(m_notifier.warnings, QStringList{refusal});
    EXPECT_TRUE(frame.CaptureOff());
    EXPECT_EQ(frame.CaptureFolder(), chosen);
    EXPECT_EQ(frame.ChooseCaptureFolder("LOG"), "");
    EXPECT_FALSE(frame.CaptureOff());
    EXPECT_EQ(QSettings().value("capture/folder").toString(), "LOG");
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");  // also when CTest lists the tests
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
