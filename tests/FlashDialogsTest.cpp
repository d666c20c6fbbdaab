// Burnkit and Gangburn on the offscreen platform, flashing simulated chips. Pictures of
// both dialogs idle, mid-run and finished are written to the build tree.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <filesystem>
#include <functional>

#include "flash/burnkit/BurnkitDlg.h"
#include "flash/core/Fixture.h"
#include "flash/frontend/ElidedText.h"
#include "flash/gangburn/GangburnDlg.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/SimulatedChip.h"
#ifdef RECORDS_DATABASES
#include "flash/records/RecordStore.h"
#include "tests/support/PostgresServer.h"
#endif

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
    EXPECT_TRUE(Child<QPushButton>(dlg, "logButton")->isEnabled());  // beside records not made yet
    EXPECT_TRUE(dlg.PortOpen());
    EXPECT_EQ(portButton->text(), "Close Serial Port");
    EXPECT_TRUE(burn->isEnabled());
    EXPECT_NE(Child<QLabel>(dlg, "speedValue")->text(), "0 Bps");
    Picture(dlg, "burnkit-finished");
    EXPECT_TRUE(chip.Flash().compare(0, image.size(), image) == 0);
}

// Opens the port, takes the chip's image and burns it with `attempts` at the handshake;
// true once the run's message came.
bool BurnOnce(burnkit::CBurnkitDlg& dlg, SimulatedChip& chip, RecordingNotifier& notifier, uint32_t attempts) {
    dlg.SetRunParameters({attempts, 2, QuickWait});
    dlg.OnOpenClosePort();
    dlg.ChooseImage(QString::fromStdString(chip.Dir() / "image.bin"));
    dlg.OnBurn();
    return WaitFor([&] { return !notifier.messages.isEmpty(); }, 60000);
}

TEST(Burnkit, SilentModuleFailsWithTheHandshakeCode) {
    sim::ChipFaults faults;
    faults.silentBootRom = true;
    SimulatedChip chip(faults);
    WriteImage(chip, 1000, 2);
    RecordingNotifier notifier;
    burnkit::CBurnkitDlg dlg(notifier, {QString::fromStdString(chip.Path())});
    ASSERT_TRUE(BurnOnce(dlg, chip, notifier, 50));
    // The code as scripts read it, then what it means, in a warning.
    EXPECT_EQ(notifier.warnings, QStringList{"Burn Flash Img Fail ! Error=b0006\n"
                                             "no answer to the boot ROM handshake: is the module powered and wired?"});
    EXPECT_TRUE(dlg.PortOpen());
}

// A module that keeps its rate: the run goes on at 115200 and says so, in the box and
// in the record, beside the log of its steps that "Log" opens.
TEST(Burnkit, RefusedRateIsToldRecordedAndLogged) {
    sim::ChipFaults slow;
    slow.refuseBaudSwitch = true;
    SimulatedChip chip(slow);
    WriteImage(chip, 5000, 3);
    RecordingNotifier notifier;
    burnkit::CBurnkitDlg dlg(notifier, {QString::fromStdString(chip.Path())});
    const std::string records = chip.Dir() / "runs.csv";
    dlg.RecordFile().Set(QString::fromStdString(records));
    ASSERT_TRUE(BurnOnce(dlg, chip, notifier, 300));
    EXPECT_EQ(notifier.messages,
              QStringList{"Burn Flash Img Success !\nwritten at 115200 baud: the module refused 921600"});
    const auto* log = Child<QPushButton>(dlg, "logButton");
    ASSERT_TRUE(log->isEnabled());
    const std::string csv = testsupport::ReadFile(records);
    EXPECT_NE(csv.find(",115200,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(log->toolTip().toStdString()), std::string::npos) << csv;
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
    const std::string records = a.Dir() / "runs.csv";
    dlg.RecordFile().Set(QString::fromStdString(records));
    Child<QLineEdit>(dlg, "operatorEdit")->setText("Ana");
    Child<QLineEdit>(dlg, "lotEdit")->setText("L-42");
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
    // The failing step and the module's cause, on the slot and in its record; each run's
    // steps in a log the slot opens; who ran the batch in every record.
    EXPECT_TRUE(dlg.Slot(2).ResultText()->toolTip().contains("aborted the stream (cause 0x06) at packet 2"))
        << dlg.Slot(2).ResultText()->toolTip().toStdString();
    const std::string csv = testsupport::ReadFile(records);
    EXPECT_EQ(testsupport::CountOf(csv, ",Ana,L-42,"), 4u) << csv;
    EXPECT_EQ(testsupport::CountOf(csv, "aborted the stream (cause 0x06) at packet 2"), 1u) << csv;
    for (int i = 0; i < 4; ++i) {
        const QString log = dlg.Slot(i).LogButton()->Path();
        EXPECT_TRUE(dlg.Slot(i).LogButton()->isEnabled()) << i;
        EXPECT_NE(csv.find(log.toStdString()), std::string::npos) << i;
        EXPECT_FALSE(testsupport::ReadFile(log.toStdString()).empty()) << i;
    }
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
    ASSERT_EQ(notifier.messages.size(), 1);
    EXPECT_TRUE(notifier.messages[0].startsWith("Stopped"));  // with the core's meaning, where it gives one
    EXPECT_TRUE(notifier.warnings.isEmpty());  // a stop is no failure
    EXPECT_EQ(dlg.ResultText()->text(), "Stopped");
    EXPECT_EQ(dlg.ResultText()->palette().color(QPalette::WindowText), LookOf(Outcome::Stopped).colour);

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

// An automatic slot flashes the module already in its fixture at once, then each one put
// in; an empty fixture reads "Waiting for module", the last result kept small beside it.
TEST(Gangburn, AutoSlotFlashesEachModulePutIn) {
    SimulatedChip chip;
    WriteImage(chip, 2000, 10);
    RecordingNotifier notifier;
    gangburn::CBurnkitDlg dlg(notifier, {QString::fromStdString(chip.Path())});
    dlg.SetRunParameters({300, 2, QuickWait});
    dlg.ChooseImage(QString::fromStdString(chip.Dir() / "image.bin"));
    dlg.Slot(0).AutoBox()->setChecked(true);
    dlg.OnBurn();  // the module is in the fixture already
    for (int module = 1; module <= 2; ++module) {
        ASSERT_TRUE(WaitFor([&] { return dlg.Passed() == module; }, 30000)) << module;
        EXPECT_EQ(dlg.Slot(0).ResultText()->text(), "Success");
        chip.SetInserted(false);
        ASSERT_TRUE(WaitFor([&] { return dlg.Slot(0).ResultText()->text() == "Waiting for module"; }, 10000));
        EXPECT_EQ(dlg.Slot(0).LastResult()->text(), "last: Success");
        EXPECT_EQ(dlg.Slot(0).Light()->CurrentLook(), gangburn::Indicator::Look::Idle);
        if (module == 1) Picture(dlg, "gangburn-auto-waiting");
        chip.SetInserted(true);
    }
    EXPECT_TRUE(dlg.BatchRunning());  // until stopped
    EXPECT_TRUE(dlg.Slot(0).StopButton()->isEnabled());
    dlg.Slot(0).StopButton()->click();
    ASSERT_TRUE(WaitFor([&] { return !dlg.BatchRunning(); }, 5000));
    EXPECT_GE(dlg.Passed(), 2);
    EXPECT_EQ(dlg.Failed(), 0);
    EXPECT_TRUE(dlg.Slot(0).AutoBox()->isEnabled());
}

// A module that failed lies silent in its loader, taken out or not: its "Fail" and the
// cause beside it stay until the next module talks.
TEST(Gangburn, AutoSlotKeepsAFailureUntilTheNextModule) {
    sim::ChipFaults bad;
    bad.abortPacket = 1;
    bad.abortCode = 5;
    SimulatedChip chip(bad);
    WriteImage(chip, 5000, 11);
    RecordingNotifier notifier;
    gangburn::CBurnkitDlg dlg(notifier, {QString::fromStdString(chip.Path())});
    dlg.SetRunParameters({300, 2, QuickWait});
    dlg.ChooseImage(QString::fromStdString(chip.Dir() / "image.bin"));
    dlg.Slot(0).AutoBox()->setChecked(true);
    dlg.OnBurn();
    ASSERT_TRUE(WaitFor([&] { return dlg.Failed() == 1; }, 30000));
    WaitFor([] { return false; }, 2 * fixture::kQuietMs);
    EXPECT_EQ(dlg.Slot(0).ResultText()->text(), "Fail");
    EXPECT_EQ(dlg.Slot(0).LastResult()->FullText(),
              "the module's loader aborted the stream (cause 0x05) at packet 1, after 1028 of 5000 bytes");
    dlg.Slot(0).StopButton()->click();
    ASSERT_TRUE(WaitFor([&] { return !dlg.BatchRunning(); }, 5000));
}

namespace {

// A module behind a fixture's USB bridge: a link names the device, as udev's by-id names
// do. Pulled, the link and the device go; plugged in again, a new device appears behind
// the same link and the module starts from power-on.
class BridgedChip {
public:
    // `paced`: at the line's baud rate, so a run lasts long enough to pull the plug in it.
    explicit BridgedChip(bool paced) {
        std::string error;
        EXPECT_TRUE(m_line.Open(error)) << error;
        EXPECT_TRUE(m_line.MakeLink(m_dir / "ttyFIXTURE", error)) << error;
        sim::SimulatorOptions options;
        options.paced = paced;
        options.receiver.epochsPerSecond = 10;
        options.flashFile = m_dir / "flash.bin";
        options.flashSize = testsupport::kSimulatedFlashSize;
        m_module = std::make_unique<sim::Simulator>(m_line, options);
        m_thread = std::thread([this] {
            std::string e;
            m_module->Run(e);
        });
    }
    ~BridgedChip() {
        m_module->Stop();
        m_thread.join();
    }
    std::string Path() const { return m_dir / "ttyFIXTURE"; }
    const testsupport::ScratchDir& Dir() const { return m_dir; }
    void SetPlugged(bool plugged) { m_module->SetPlugged(plugged); }

private:
    testsupport::ScratchDir m_dir;
    sim::PtyLine m_line;
    std::unique_ptr<sim::Simulator> m_module;
    std::thread m_thread;
};

QColor TextColour(const QLabel* label) { return label->palette().color(QPalette::WindowText); }

}  // namespace

// The adapter pulled under an automatic slot, during a run and while the module is in:
// "port lost" in a colour of its own, a record of it, Stop still there; plugged in again,
// the module in the fixture is flashed. A port not there yet at Burn is waited for the
// same way, and Stop ends the wait.
TEST(Gangburn, AutoSlotOutlivesItsPort) {
    BridgedChip chip(true);
    const std::string image = testsupport::RandomBytes(30000, 11);
    testsupport::WriteFile(chip.Dir() / "image.bin", image);
    const std::string notYet = chip.Dir() / "ttyNOTYET";
    RecordingNotifier notifier;
    gangburn::CBurnkitDlg dlg(notifier, {QString::fromStdString(chip.Path()), QString::fromStdString(notYet)});
    const std::string records = chip.Dir() / "runs.csv";
    dlg.RecordFile().Set(QString::fromStdString(records));
    dlg.SetRunParameters({300, 2, QuickWait});
    dlg.ChooseImage(QString::fromStdString(chip.Dir() / "image.bin"));
    dlg.Slot(0).AutoBox()->setChecked(true);
    dlg.Slot(1).AutoBox()->setChecked(true);
    dlg.OnBurn();
    ASSERT_TRUE(WaitFor([&] { return dlg.Slot(0).Bar()->value() > 40; }, 30000));
    chip.SetPlugged(false);  // mid-run
    ASSERT_TRUE(WaitFor([&] { return dlg.Slot(0).ResultText()->text() == "port lost"; }, 10000));
    chip.SetPlugged(true);
    ASSERT_TRUE(WaitFor([&] { return dlg.Passed() == 1; }, 60000));
    EXPECT_EQ(dlg.Slot(1).ResultText()->text(), "port lost");
    EXPECT_TRUE(dlg.Slot(1).StopButton()->isEnabled());

    chip.SetPlugged(false);
    ASSERT_TRUE(WaitFor([&] { return dlg.Slot(0).ResultText()->text() == "port lost"; }, 10000));
    const QColor lost = TextColour(dlg.Slot(0).ResultText());
    EXPECT_EQ(dlg.Slot(0).Light()->CurrentLook(), gangburn::Indicator::Look::PortLost);
    EXPECT_TRUE(dlg.Slot(0).ResultText()->toolTip().contains(QString::fromStdString(chip.Path())));
    EXPECT_TRUE(dlg.Slot(0).StopButton()->isEnabled());
    EXPECT_TRUE(dlg.BatchRunning());
    Picture(dlg, "gangburn-port-lost");
    chip.SetPlugged(true);
    ASSERT_TRUE(WaitFor([&] { return dlg.Passed() == 2; }, 60000));  // the module still in is flashed
    EXPECT_NE(TextColour(dlg.Slot(0).ResultText()), lost);
    EXPECT_EQ(dlg.Failed(), 0);  // a lost port is no verdict on a module

    dlg.Slot(1).StopButton()->click();
    EXPECT_EQ(dlg.Slot(1).ResultText()->text(), "Stopped");
    EXPECT_FALSE(dlg.Slot(1).StopButton()->isEnabled());
    const QColor stopped = TextColour(dlg.Slot(1).ResultText());
    for (const QColor& other : {lost, TextColour(dlg.Slot(0).ResultText())}) EXPECT_NE(stopped, other);
    dlg.OnStopAll();
    ASSERT_TRUE(WaitFor([&] { return !dlg.BatchRunning(); }, 5000));
    const std::string csv = testsupport::ReadFile(records);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 6) << csv;  // header, 2 flashed, 3 without port
    EXPECT_NE(csv.find(",Gangburn,1," + chip.Path() + ","), std::string::npos) << csv;
    EXPECT_NE(csv.find(",Gangburn,2," + notYet + ","), std::string::npos) << csv;
}

// An image rebuilt or deleted between choosing it and Burn starts no slot and counts no
// module, in both dialogs.
TEST(Gangburn, ImageChangedSinceChosenStartsNoSlot) {
    SimulatedChip chip;
    const std::string path = chip.Dir() / "image.bin";
    WriteImage(chip, 3000, 12);
    RecordingNotifier notifier;
    gangburn::CBurnkitDlg dlg(notifier, {QString::fromStdString(chip.Path())});
    dlg.SetRunParameters({300, 2, QuickWait});
    dlg.ChooseImage(QString::fromStdString(path));
    WriteImage(chip, 3000, 13);  // the same size, other bytes
    dlg.OnBurn();
    EXPECT_FALSE(dlg.BatchRunning());
    ASSERT_EQ(notifier.warnings.size(), 1);
    EXPECT_TRUE(notifier.warnings[0].startsWith("The image changed since it was chosen")) << notifier.warnings[0].toStdString();
    std::filesystem::remove(path);
    dlg.OnBurn();
    ASSERT_EQ(notifier.warnings.size(), 2);
    EXPECT_TRUE(notifier.warnings[1].startsWith("The image cannot be read since it was chosen"));
    EXPECT_EQ(dlg.TallyText(), "Pass 0   Fail 0   Yield -");
    EXPECT_EQ(dlg.Slot(0).ResultText()->text(), "");

    burnkit::CBurnkitDlg single(notifier, {QString::fromStdString(chip.Path())});
    WriteImage(chip, 3000, 14);
    single.ChooseImage(QString::fromStdString(path));
    single.OnOpenClosePort();
    testsupport::WriteFile(path, "abcdefgh");
    single.OnBurn();
    EXPECT_FALSE(single.Running());
    EXPECT_TRUE(notifier.warnings.back().startsWith("The image changed since it was chosen"));
    EXPECT_EQ(single.ResultText()->text(), "");
}

// "Retry failed" runs again only the slot that failed; the batch's summary counts it alone.
TEST(Gangburn, RetryFailedRerunsOnlyTheFailedSlot) {
    sim::ChipFaults bad;
    bad.abortPacket = 1;
    bad.abortCode = 6;
    SimulatedChip good, failing(bad);
    WriteImage(good, 3000, 15);
    RecordingNotifier notifier;
    gangburn::CBurnkitDlg dlg(notifier, {QString::fromStdString(good.Path()), QString::fromStdString(failing.Path())});
    const std::string records = good.Dir() / "runs.csv";
    dlg.RecordFile().Set(QString::fromStdString(records));
    dlg.SetRunParameters({300, 2, QuickWait});
    dlg.ChooseImage(QString::fromStdString(good.Dir() / "image.bin"));
    auto* retry = Child<QPushButton>(dlg, "retryFailedButton");
    EXPECT_FALSE(retry->isEnabled());
    dlg.OnBurn();
    ASSERT_TRUE(WaitFor([&] { return !dlg.BatchRunning(); }, 60000));
    EXPECT_TRUE(Child<QLabel>(dlg, "batchSummary")->text().startsWith("Batch: Pass 1   Fail 1   Yield 50.0 %   Time "));
    EXPECT_TRUE(Child<QLabel>(dlg, "batchSummary")->text().endsWith(" modules/h"));
    ASSERT_TRUE(retry->isEnabled());
    retry->click();
    EXPECT_EQ(dlg.Slot(0).ResultText()->text(), "Success");  // not run again, still shown
    ASSERT_TRUE(WaitFor([&] { return !dlg.BatchRunning(); }, 60000));
    EXPECT_EQ(dlg.TallyText(), "Pass 1   Fail 2   Yield 33.3 %");
    EXPECT_TRUE(Child<QLabel>(dlg, "batchSummary")->text().startsWith("Batch: Pass 0   Fail 1   Yield 0.0 %"));
    const std::string csv = testsupport::ReadFile(records);
    const std::string slot1 = ",Gangburn,1,", slot2 = ",Gangburn,2,";
    auto count = [&](const std::string& what) {
        int n = 0;
        for (auto at = csv.find(what); at != std::string::npos; at = csv.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count(slot1), 1) << csv;
    EXPECT_EQ(count(slot2), 2) << csv;
    EXPECT_TRUE(retry->isEnabled());  // it failed again
}

namespace {

// Visible labels narrower than their text, but for elided ones (their tooltip has it whole).
QStringList CutLabels(QWidget& w) {
    QStringList cut;
    // Smaller than its layout, a window lays widgets over one another.
    if (w.width() < w.layout()->minimumSize().width() || w.height() < w.layout()->minimumSize().height())
        cut << QString("the window (%1x%2) is smaller than its layout (%3x%4)").arg(w.width()).arg(w.height()).arg(w.layout()->minimumSize().width()).arg(w.layout()->minimumSize().height());
    for (QLabel* l : w.findChildren<QLabel*>()) {
        if (!l->isVisible() || l->wordWrap() || l->text().isEmpty()) continue;
        if (l->property("elided").toBool()) {
            if (!l->toolTip().contains(static_cast<ElidedLabel*>(l)->FullText())) cut << l->text();
            continue;
        }
        for (const QString& line : l->text().split('\n'))
            if (l->contentsRect().width() < l->fontMetrics().horizontalAdvance(line)) cut << line;
    }
    return cut;
}

// Pictures at the size the window opens with and maximised on a 1920x1080 screen; no label
// cut in either.
void PicturesWhole(QWidget& w, const QString& name) {
    if (!kPaint) return;
    w.adjustSize();
    WaitFor([] { return false; }, 50);
    EXPECT_EQ(CutLabels(w), QStringList()) << name.toStdString();
    Picture(w, name);
    w.resize(1920, 1080);
    WaitFor([] { return false; }, 50);
    EXPECT_EQ(CutLabels(w), QStringList()) << name.toStdString();
    Picture(w, name + "-maximised");
}

}  // namespace

// Results, figures and a long port name whole (or elided with a tooltip) at 1, 4 and 16
// slots and in Burnkit; the image, operator and lot are there again at the next launch.
TEST(FlashDialogs, LabelsWholeAtEverySlotCountAndChoicesRemembered) {
    SimulatedChip chip;
    WriteImage(chip, 3000, 16);
    const std::string gone = chip.Dir() / "serial-by-id-usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    RecordingNotifier notifier;
    for (int slotCount : {1, 4, 16}) {
        gangburn::CBurnkitDlg dlg(notifier, {QString::fromStdString(chip.Path()), QString::fromStdString(gone)},
                                  nullptr, slotCount);
        dlg.SetRunParameters({300, 2, QuickWait});
        if (slotCount == 1) {
            dlg.ChooseImage(QString::fromStdString(chip.Dir() / "image.bin"));
            Child<QLineEdit>(dlg, "operatorEdit")->setText("A. Example");
            emit Child<QLineEdit>(dlg, "operatorEdit")->textEdited("A. Example");
            Child<QLineEdit>(dlg, "lotEdit")->setText("L-0042");
            emit Child<QLineEdit>(dlg, "lotEdit")->textEdited("L-0042");
        }
        EXPECT_EQ(Child<QLineEdit>(dlg, "imagePath")->text().toStdString(), chip.Dir() / "image.bin");
        EXPECT_EQ(dlg.OperatorName(), "A. Example");
        EXPECT_EQ(dlg.Lot(), "L-0042");
        Show(dlg);
        dlg.OnBurn();
        ASSERT_TRUE(WaitFor([&] { return !dlg.BatchRunning(); }, 60000));
        EXPECT_EQ(dlg.Slot(0).ResultText()->text(), "Success");
        if (slotCount > 1) {
            EXPECT_EQ(dlg.Slot(1).ResultText()->text(), "Fail: port");
            EXPECT_EQ(dlg.Slot(1).PortList()->toolTip().toStdString(), gone);
            EXPECT_TRUE(dlg.Slot(1).ResultText()->toolTip().contains("Failed!"));
        }
        PicturesWhole(dlg, QString("gangburn-%1").arg(slotCount));
    }
    burnkit::CBurnkitDlg single(notifier, {QString::fromStdString(chip.Path())});
    EXPECT_EQ(single.OperatorName(), "");  // each program keeps its own
    single.ChooseImage(QString::fromStdString(chip.Dir() / "image.bin"));
    Show(single);
    single.OnOpenClosePort();
    single.OnBurn();
    ASSERT_TRUE(WaitFor([&] { return !single.Running(); }, 60000));
    EXPECT_EQ(single.ResultText()->text(), "Success");
    EXPECT_TRUE(single.ResultText()->toolTip().startsWith("Burn Flash Img Success !"));
    PicturesWhole(single, "burnkit");
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

#ifdef RECORDS_DATABASES
// A line's station whose server is away: the batch flashes, the dialog says its records
// wait, and they reach the server once it is back.
TEST(Gangburn, ALineStationThatCannotReachItsServerSaysItQueuesAndSendsWhenItIsBack) {
    testsupport::PostgresServer server;
    if (!server.Problem().empty()) GTEST_SKIP() << "no PostgreSQL server for the test: " << server.Problem();
    testsupport::ScratchDir data;  // the station's own file goes to the user's data folder
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(data.Path()));
    SimulatedChip a, b;
    WriteImage(a, 3000, 41);
    RecordingNotifier notifier;
    {
        gangburn::CBurnkitDlg dlg(notifier, {QString::fromStdString(a.Path()), QString::fromStdString(b.Path())});
        dlg.RecordFile().Set(QString::fromStdString(server.Url()));
        dlg.SetRunParameters({300, 2, QuickWait});
        ASSERT_TRUE(server.Stop());
        Show(dlg);
        dlg.ChooseImage(QString::fromStdString(a.Dir() / "image.bin"));
        dlg.OnBurn();
        ASSERT_TRUE(WaitFor([&] { return !dlg.BatchRunning(); }, 60000));
        EXPECT_EQ(dlg.TallyText(), "Pass 2   Fail 0   Yield 100.0 %");
        auto* queue = Child<QLabel>(dlg, "recordQueue");
        ASSERT_TRUE(WaitFor([&] { return !queue->isHidden(); }, 10000));
        EXPECT_EQ(queue->text(), "Queueing: 2 record(s) wait for the line's database");
        EXPECT_TRUE(queue->toolTip().contains("burnkit-line/station.sqlite")) << queue->toolTip().toStdString();
        EXPECT_EQ(Child<ElidedLabel>(dlg, "recordFile")->toolTip().contains("secret"), false);
        Picture(dlg, "gangburn-queueing");
        dlg.resize(1280, 800);
        Picture(dlg, "gangburn-queueing-1280x800");
        EXPECT_TRUE(notifier.messages.isEmpty()) << notifier.messages.join("\n").toStdString();
        ASSERT_TRUE(server.Start()) << server.Problem();
        EXPECT_TRUE(WaitFor([&] { return queue->isHidden(); }, 20000));
    }
    qputenv("XDG_DATA_HOME", dataHome);
    std::vector<records::StoredRecord> onServer;
    std::string error;
    ASSERT_TRUE(records::ReadRecords(server.Url(), "", onServer, error)) << error;
    ASSERT_EQ(onServer.size(), 2u);
    EXPECT_EQ(onServer[0].record.program, "Gangburn");
}
#endif
