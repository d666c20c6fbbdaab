// Burnkit and Gangburn on the offscreen platform, flashing simulated chips. Pictures of
// both dialogs idle, mid-run and finished are written to the build tree.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <filesystem>
#include <functional>

#include "GuiTestSupport.h"
#include "BurnkitDlg.h"
#include "GangburnDlg.h"
#include "SimulatedChip.h"

using testsupport::QuickWait;
using testsupport::SimulatedChip;

void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

using testsupport::kPaint;
using testsupport::WaitFor;

template <typename T>
T* Child(QWidget& w, const char* name) {
    T* child = w.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
}

void Show(QWidget& w) {
    if (kPaint) w.show();
}

void Picture(QWidget& w, const QString& name) {
    if (!kPaint) return;
    QDir().mkpath(PICTURES_DIR);
    w.grab().save(QString(PICTURES_DIR) + "/" + name + ".png");
}

std::string WriteImage(const SimulatedChip& chip, std::size_t size, uint32_t seed) {
    const std::string image = testsupport::RandomBytes(size, seed);
    testsupport::WriteFile(chip.Dir() / "image.bin", image);
    return image;
}

}  // namespace

TEST(Burnkit, BurnsTheChosenImageAndKeepsThePortOpen) {
    SimulatedChip chip({}, true);
    const std::string image = WriteImage(chip, 150000, 1);  // over a second of loader stage
    RecordingNotifier notifier;
    burnkit::CBurnkitDlg dlg(notifier, {QString::fromStdString(chip.Path())});
    dlg.SetRunParameters({1000, 10, QuickWait});  // paced: the handshake's real patience
    Show(dlg);
    auto* burn = Child<QPushButton>(dlg, "burnButton");
    auto* portButton = Child<QPushButton>(dlg, "portButton");
    EXPECT_EQ(Child<QComboBox>(dlg, "portList")->currentText().toStdString(), chip.Path());
    EXPECT_EQ(Child<QComboBox>(dlg, "baudList")->currentText(), "115200");
    EXPECT_FALSE(burn->isEnabled());
    Picture(dlg, "burnkit-idle");

    portButton->click();
    ASSERT_TRUE(dlg.PortOpen()) << notifier.messages.join("|").toStdString();
    EXPECT_EQ(portButton->text(), "Close Serial Port");
    EXPECT_FALSE(Child<QComboBox>(dlg, "baudList")->isEnabled());
    burn->click();
    EXPECT_EQ(notifier.messages, QStringList{"Please choose a IMG file!"});
    notifier.messages.clear();

    dlg.ChooseImage(QString::fromStdString(chip.Dir() / "image.bin"));
    burn->click();
    EXPECT_TRUE(dlg.Running());
    EXPECT_FALSE(portButton->isEnabled());  // no closing the port under a run
    auto* bar = Child<QProgressBar>(dlg, "progressBar");
    ASSERT_TRUE(WaitFor([&] { return bar->value() > 40 || !notifier.messages.isEmpty(); }, 30000));
    Picture(dlg, "burnkit-running");
    ASSERT_TRUE(WaitFor([&] { return !notifier.messages.isEmpty(); }, 60000));
    EXPECT_EQ(notifier.messages, QStringList{"Burn Flash Img Success !"});
    EXPECT_EQ(bar->value(), 100);
    EXPECT_TRUE(dlg.PortOpen());
    EXPECT_EQ(portButton->text(), "Close Serial Port");
    EXPECT_TRUE(burn->isEnabled());
    EXPECT_NE(Child<QLabel>(dlg, "speedValue")->text(), "0 Bps");
    Picture(dlg, "burnkit-finished");
    EXPECT_TRUE(chip.Flash().compare(0, image.size(), image) == 0);
}

TEST(Burnkit, SilentModuleFailsWithTheHandshakeCode) {
    sim::ChipFaults faults;
    faults.silentBootRom = true;
    SimulatedChip chip(faults);
    WriteImage(chip, 1000, 2);
    RecordingNotifier notifier;
    burnkit::CBurnkitDlg dlg(notifier, {QString::fromStdString(chip.Path())});
    dlg.SetRunParameters({50, 2, QuickWait});
    dlg.OnOpenClosePort();
    dlg.ChooseImage(QString::fromStdString(chip.Dir() / "image.bin"));
    dlg.OnBurn();
    ASSERT_TRUE(WaitFor([&] { return !notifier.messages.isEmpty(); }, 60000));
    EXPECT_EQ(notifier.messages, QStringList{"Burn Flash Img Fail ! Error=b0006"});
    EXPECT_TRUE(dlg.PortOpen());
}

TEST(Burnkit, MissingImageAndPortThatWillNotReopenStartNothing) {
    SimulatedChip chip;
    RecordingNotifier notifier;
    const std::string link = chip.Dir() / "ttyLINK";
    std::filesystem::create_symlink(chip.Path(), link);
    burnkit::CBurnkitDlg dlg(notifier, {QString::fromStdString(link)});
    dlg.ChooseImage("/nonexistent/image.bin");
    EXPECT_EQ(notifier.messages, QStringList{"Img File open error"});
    WriteImage(chip, 100, 3);
    dlg.ChooseImage(QString::fromStdString(chip.Dir() / "image.bin"));
    dlg.OnOpenClosePort();
    ASSERT_TRUE(dlg.PortOpen());
    std::filesystem::remove(link);  // the device goes away before Burn
    notifier.messages.clear();
    dlg.OnBurn();
    EXPECT_FALSE(dlg.Running());
    EXPECT_FALSE(dlg.PortOpen());
    ASSERT_EQ(notifier.messages.size(), 1);
    EXPECT_TRUE(notifier.messages[0].startsWith(QString::fromStdString("Open" + link + " Failed!")));
    EXPECT_EQ(Child<QPushButton>(dlg, "portButton")->text(), "Open Serial Port");
    EXPECT_FALSE(Child<QPushButton>(dlg, "burnButton")->isEnabled());
}

TEST(Gangburn, FourModulesOneFailingEndGreenAndRed) {
    sim::ChipFaults bad;
    bad.abortPacket = 2;
    bad.abortCode = 6;
    SimulatedChip a({}, true), b({}, true), c(bad, true), d({}, true);
    const std::string image = WriteImage(a, 30000, 4);
    RecordingNotifier notifier;
    gangburn::CBurnkitDlg dlg(notifier, {QString::fromStdString(a.Path()), QString::fromStdString(b.Path()),
                                         QString::fromStdString(c.Path()), QString::fromStdString(d.Path())});
    dlg.SetRunParameters({1000, 10, QuickWait});
    Show(dlg);
    Picture(dlg, "gangburn-idle");
    dlg.ChooseImage(QString::fromStdString(a.Dir() / "image.bin"));
    dlg.OnBurn();
    EXPECT_TRUE(dlg.BatchRunning());
    ASSERT_TRUE(WaitFor([&] { return dlg.Slot(0).Bar()->value() > 40 || !dlg.BatchRunning(); }, 30000));
    Picture(dlg, "gangburn-running");
    ASSERT_TRUE(WaitFor([&] { return !dlg.BatchRunning(); }, 60000));
    using Look = gangburn::Indicator::Look;
    for (int i : {0, 1, 3}) {
        EXPECT_EQ(dlg.Slot(i).Light()->CurrentLook(), Look::Succeeded) << i;
        EXPECT_EQ(dlg.Slot(i).ResultText()->text(), "Success") << i;
        EXPECT_EQ(dlg.Slot(i).Bar()->value(), 100);
    }
    EXPECT_EQ(dlg.Slot(2).Light()->CurrentLook(), Look::Failed);
    EXPECT_EQ(dlg.Slot(2).ResultText()->text(), "Fail");
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(dlg.Slot(i).PortOpen()) << i;
    EXPECT_TRUE(Child<QPushButton>(dlg, "burnButton")->isEnabled());
    EXPECT_TRUE(dlg.Slot(0).PortList()->isEnabled());
    if (kPaint) dlg.repaint();  // the colours survive a repaint
    EXPECT_EQ(dlg.Slot(2).Light()->CurrentLook(), Look::Failed);
    Picture(dlg, "gangburn-finished");
    for (const SimulatedChip* chip : {&a, &b, &d}) EXPECT_TRUE(chip->Flash().compare(0, image.size(), image) == 0);
    EXPECT_TRUE(notifier.messages.isEmpty());
}

TEST(Gangburn, EmptySlotsEndTheBatchAtTheNextTick) {
    SimulatedChip chip;
    WriteImage(chip, 100, 5);
    RecordingNotifier notifier;
    gangburn::CBurnkitDlg dlg(notifier, {});
    dlg.OnBurn();
    EXPECT_EQ(notifier.messages, QStringList{"Please choose a IMG file!"});
    dlg.ChooseImage(QString::fromStdString(chip.Dir() / "image.bin"));
    dlg.OnBurn();
    EXPECT_TRUE(dlg.BatchRunning());
    EXPECT_FALSE(Child<QPushButton>(dlg, "burnButton")->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return !dlg.BatchRunning(); }, 5000));
    EXPECT_TRUE(Child<QPushButton>(dlg, "burnButton")->isEnabled());
    EXPECT_EQ(dlg.Slot(0).ResultText()->text(), "");
}

TEST(Gangburn, TwoSlotsOnOneDeviceRunOnlyOnce) {
    SimulatedChip chip;
    const std::string image = WriteImage(chip, 5000, 6);
    RecordingNotifier notifier;
    const QString path = QString::fromStdString(chip.Path());
    gangburn::CBurnkitDlg dlg(notifier, {path, path});
    dlg.SetRunParameters({300, 2, QuickWait});
    dlg.ChooseImage(QString::fromStdString(chip.Dir() / "image.bin"));
    dlg.OnBurn();
    ASSERT_TRUE(WaitFor([&] { return !dlg.BatchRunning(); }, 60000));
    ASSERT_EQ(notifier.messages.size(), 1);
    EXPECT_TRUE(notifier.messages[0].startsWith("Open" + path + " Failed!"));
    const QString r0 = dlg.Slot(0).ResultText()->text(), r1 = dlg.Slot(1).ResultText()->text();
    EXPECT_TRUE((r0 == "Success" && r1.isEmpty()) || (r1 == "Success" && r0.isEmpty())) << r0.toStdString() << r1.toStdString();
    EXPECT_TRUE(chip.Flash().compare(0, image.size(), image) == 0);
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
