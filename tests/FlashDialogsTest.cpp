// Burnkit and Gangburn on the offscreen platform, flashing simulated chips. Pictures of
// both dialogs idle, mid-run and finished are written to the build tree.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <filesystem>
#include <functional>

#include "BurnkitDlg.h"
#include "Fixture.h"
#include "GangburnDlg.h"
#include "GuiTestSupport.h"
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
    // The code as scripts read it, then what it means, in a warning.
    EXPECT_EQ(notifier.warnings, QStringList{"Burn Flash Img Fail ! Error=b0006\n"
                                             "no answer to the boot ROM handshake: is the module powered and wired?"});
    EXPECT_TRUE(dlg.PortOpen());
}

TEST(Burnkit, MissingImageAndPortThatWillNotReopenStartNothing) {
    SimulatedChip chip;
    RecordingNotifier notifier;
    const std::string link = chip.Dir() / "ttyLINK";
    std::filesystem::create_symlink(chip.Path(), link);
    burnkit::CBurnkitDlg dlg(notifier, {QString::fromStdString(link)});
    dlg.ChooseImage("/nonexistent/image.bin");
    EXPECT_EQ(notifier.messages, QStringList{"Img File open error: cannot open it\n/nonexistent/image.bin"});
    testsupport::WriteFile(chip.Dir() / "short.bin", "abc");
    dlg.ChooseImage(QString::fromStdString(chip.Dir() / "short.bin"));
    EXPECT_TRUE(notifier.messages.back().startsWith("Img File open error: shorter than 4 bytes"));
    dlg.ChooseImage(QString::fromStdString(chip.Dir().Path()));
    EXPECT_TRUE(notifier.messages.back().startsWith("Img File open error: not a regular file"));
    notifier.messages.clear();
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
    EXPECT_EQ(dlg.TallyText(), "Pass 3   Fail 1   Yield 75.0 %");
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
    // The slot that found the port taken says so in its row and in a box that names it.
    ASSERT_EQ(notifier.warnings.size(), 1);
    EXPECT_TRUE(notifier.warnings[0].contains("Open" + path + " Failed!"));
    const QString r0 = dlg.Slot(0).ResultText()->text(), r1 = dlg.Slot(1).ResultText()->text();
    EXPECT_TRUE((r0 == "Success" && r1 == "Fail: port") || (r1 == "Success" && r0 == "Fail: port"))
        << r0.toStdString() << r1.toStdString();
    const int failed = r0 == "Success" ? 1 : 0;
    EXPECT_TRUE(notifier.warnings[0].startsWith(QString("Slot %1: ").arg(failed + 1)));
    EXPECT_EQ(dlg.Slot(failed).Light()->CurrentLook(), gangburn::Indicator::Look::Failed);
    dlg.Slot(failed).PortList()->setCurrentIndex(0);  // another port: the old outcome goes
    EXPECT_EQ(dlg.Slot(failed).ResultText()->text(), "");
    EXPECT_EQ(dlg.Slot(failed).Light()->CurrentLook(), gangburn::Indicator::Look::Idle);
    EXPECT_TRUE(chip.Flash().compare(0, image.size(), image) == 0);
}

namespace {

// Whether another program could open the device now: the port is free.
bool PortFree(const std::string& path) {
    serial::SerialPort probe;
    return probe.Open(path);
}

}  // namespace

// A module that never answers holds the run in the handshake: Stop ends it within a
// second as "Stopped", and closing the window during a run asks first, then frees the port.
TEST(Burnkit, StopAndCloseEndARunWithinASecond) {
    sim::ChipFaults faults;
    faults.silentBootRom = true;
    SimulatedChip chip(faults);
    WriteImage(chip, 1000, 7);
    RecordingNotifier notifier;
    burnkit::CBurnkitDlg dlg(notifier, {QString::fromStdString(chip.Path())});
    dlg.OnOpenClosePort();
    dlg.ChooseImage(QString::fromStdString(chip.Dir() / "image.bin"));
    auto* stop = Child<QPushButton>(dlg, "stopButton");
    EXPECT_FALSE(stop->isEnabled());
    dlg.OnBurn();
    EXPECT_TRUE(stop->isEnabled());
    WaitFor([] { return false; }, 300);
    QElapsedTimer timer;
    timer.start();
    stop->click();
    ASSERT_TRUE(WaitFor([&] { return !notifier.messages.isEmpty(); }, 3000));
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(notifier.messages, QStringList{"Stopped"});
    EXPECT_TRUE(notifier.warnings.isEmpty());  // a stop is no failure

    notifier.messages.clear();
    dlg.OnBurn();
    WaitFor([] { return false; }, 300);
    notifier.answer = false;  // "No": the run goes on
    EXPECT_FALSE(dlg.close());
    EXPECT_TRUE(dlg.Running());
    notifier.answer = true;
    timer.restart();
    EXPECT_TRUE(dlg.close());
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(notifier.questions.size(), 2);
    EXPECT_FALSE(dlg.Running());
    EXPECT_TRUE(PortFree(chip.Path()));
    EXPECT_TRUE(notifier.messages.isEmpty());  // nobody is left to read a result
}

TEST(Gangburn, StopOneSlotThenEscStopsTheRest) {
    sim::ChipFaults silent;
    silent.silentBootRom = true;
    SimulatedChip a(silent), b(silent);
    WriteImage(a, 1000, 8);
    RecordingNotifier notifier;
    gangburn::CBurnkitDlg dlg(notifier, {QString::fromStdString(a.Path()), QString::fromStdString(b.Path())});
    dlg.ChooseImage(QString::fromStdString(a.Dir() / "image.bin"));
    dlg.OnBurn();
    WaitFor([] { return false; }, 300);
    dlg.Slot(0).StopButton()->click();
    ASSERT_TRUE(WaitFor([&] { return dlg.Slot(0).ResultText()->text() == "Stopped"; }, 2000));
    EXPECT_TRUE(dlg.BatchRunning());  // the other module goes on
    EXPECT_TRUE(PortFree(a.Path()));
    QElapsedTimer timer;
    timer.start();
    dlg.reject();  // Esc
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(notifier.questions.size(), 1);
    EXPECT_EQ(dlg.Slot(1).ResultText()->text(), "Stopped");
    EXPECT_TRUE(PortFree(b.Path()));
    EXPECT_TRUE(notifier.warnings.isEmpty());
}

// A line of six slots: two modules pass, a slot whose device is gone fails at its port,
// the tally shows the yield, and every run is a line of the record file.
TEST(Gangburn, SixSlotsTallyTheSessionAndRecordEveryRun) {
    SimulatedChip a, b;
    const std::string image = WriteImage(a, 3000, 9);
    const std::string gone = a.Dir() / "ttyGONE";
    RecordingNotifier notifier;
    gangburn::CBurnkitDlg dlg(notifier,
                              {QString::fromStdString(a.Path()), QString::fromStdString(b.Path()),
                               QString::fromStdString(gone)},
                              nullptr, 6);
    EXPECT_EQ(dlg.SlotCount(), 6);
    const std::string records = a.Dir() / "records/runs.csv";  // its directory is made
    dlg.RecordFile().Set(QString::fromStdString(records));
    dlg.SetRunParameters({300, 2, QuickWait});
    dlg.ChooseImage(QString::fromStdString(a.Dir() / "image.bin"));
    dlg.OnBurn();
    ASSERT_TRUE(WaitFor([&] { return !dlg.BatchRunning(); }, 60000));
    EXPECT_EQ(dlg.Passed(), 2);
    EXPECT_EQ(dlg.Failed(), 0);  // a port that would not open touched no module
    EXPECT_EQ(dlg.TallyText(), "Pass 2   Fail 0   Yield 100.0 %");
    const std::string csv = testsupport::ReadFile(records);
    EXPECT_EQ(csv.rfind(RunRecordHeader(), 0), 0u);
    const std::string sha = Sha256Hex(reinterpret_cast<const uint8_t*>(image.data()), image.size());
    EXPECT_NE(csv.find(",Gangburn,1," + a.Path() + "," + (a.Dir() / "image.bin") + ",3000," + sha + ",0,success,"),
              std::string::npos)
        << csv;
    EXPECT_NE(csv.find(",Gangburn,3," + gone + ","), std::string::npos) << csv;
    EXPECT_NE(csv.find(",3,no port to flash through,"), std::string::npos) << csv;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);
    dlg.ResetTally();
    EXPECT_EQ(dlg.TallyText(), "Pass 0   Fail 0   Yield -");
    dlg.Slot(1).PortList()->setCurrentIndex(0);
    dlg.Rescan();  // the lists are made again; each slot keeps its choice
    EXPECT_EQ(dlg.Slot(0).PortList()->currentText().toStdString(), a.Path());
    EXPECT_EQ(dlg.Slot(1).PortList()->currentText(), "");
}

// An automatic slot flashes each module put into its fixture until it is stopped.
TEST(Gangburn, AutoSlotFlashesEachModulePutIn) {
    SimulatedChip chip;
    WriteImage(chip, 2000, 10);
    RecordingNotifier notifier;
    gangburn::CBurnkitDlg dlg(notifier, {QString::fromStdString(chip.Path())});
    dlg.SetRunParameters({300, 2, QuickWait});
    dlg.ChooseImage(QString::fromStdString(chip.Dir() / "image.bin"));
    dlg.Slot(0).AutoBox()->setChecked(true);
    chip.SetInserted(false);
    dlg.OnBurn();
    ASSERT_TRUE(WaitFor([&] { return dlg.Slot(0).ResultText()->text() == "Ready"; }, 10000));
    for (int module = 1; module <= 2; ++module) {
        chip.SetInserted(true);
        ASSERT_TRUE(WaitFor([&] { return dlg.Passed() == module; }, 30000)) << module;
        EXPECT_EQ(dlg.Slot(0).ResultText()->text(), "Success");
        chip.SetInserted(false);
        WaitFor([] { return false; }, fixture::kQuietMs + 300);  // out long enough to count
    }
    EXPECT_TRUE(dlg.BatchRunning());  // until stopped
    EXPECT_TRUE(dlg.Slot(0).StopButton()->isEnabled());
    dlg.Slot(0).StopButton()->click();
    ASSERT_TRUE(WaitFor([&] { return !dlg.BatchRunning(); }, 5000));
    EXPECT_EQ(dlg.Passed(), 2);
    EXPECT_TRUE(dlg.Slot(0).AutoBox()->isEnabled());
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The dialogs keep settings and records under the user's directories: the tests'
    // stay in a scratch place.
    static testsupport::ScratchDir home;
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(home / "config"));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(home / "data"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
