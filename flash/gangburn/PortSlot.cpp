#include "flash/gangburn/PortSlot.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <filesystem>

#include "flash/core/Fixture.h"
#include "flash/frontend/ElidedText.h"

namespace gangburn {
namespace {

// A fixture's USB bridge takes a second or two to come back after it is plugged in: a
// look twice a second finds it without loading the machine.
constexpr int kPortPollMs = 500;

Indicator::Look LookFor(Outcome outcome) {
    switch (outcome) {
    case Outcome::Success: return Indicator::Look::Succeeded;
    case Outcome::Fail:
    case Outcome::PortFail: return Indicator::Look::Failed;
    case Outcome::Stopped: return Indicator::Look::Stopped;
    case Outcome::PortLost: return Indicator::Look::PortLost;
    default: return Indicator::Look::Idle;
    }
}

}  // namespace

Indicator::Indicator(QWidget* parent) : QWidget(parent) { setFixedSize(27, 27); }

void Indicator::SetLook(Look look) {
    m_look = look;
    m_fill = QColor();
    update();
}

void Indicator::Show(Outcome outcome) {
    m_look = LookFor(outcome);
    m_fill = m_look == Look::Idle ? QColor() : LookOf(outcome).colour;
    update();
}

void Indicator::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(palette().color(QPalette::WindowText), 1));
    if (m_fill.isValid()) p.setBrush(m_fill);
    p.drawEllipse(QRectF(1, 1, 25, 25));
}

PortSlot::PortSlot(int index, QWidget* dialog, QGridLayout* grid, int row, const QStringList& ports, Batch& batch)
    : m_index(index), m_dialog(dialog), m_batch(batch) {
    m_list = new PortComboBox(dialog);
    m_list->setObjectName(QString("portList%1").arg(index));
    m_list->addItem(QString());  // the empty entry: the slot takes no part
    m_list->addItems(ports);
    m_bar = new QProgressBar(dialog);
    m_bar->setObjectName(QString("progressBar%1").arg(index));
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_speed = new QLabel("0 Bps", dialog);
    m_speed->setMinimumWidth(m_speed->fontMetrics().horizontalAdvance("9999.99 KBps"));
    m_time = new QLabel("00:00", dialog);
    m_time->setMinimumWidth(m_time->fontMetrics().horizontalAdvance("00:00 sec"));
    m_indicator = new Indicator(dialog);
    m_indicator->setObjectName(QString("indicator%1").arg(index));
    m_result = new QLabel(dialog);
    m_result->setObjectName(QString("result%1").arg(index));
    m_result->setAlignment(Qt::AlignCenter);
    QFont big = m_result->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    m_result->setFont(big);  // read from across the bench
    m_result->setMinimumWidth(WidestOutcomeWord(m_result) + 8);
    m_last = new ElidedLabel(dialog);
    m_last->setObjectName(QString("lastResult%1").arg(index));
    m_last->setMinimumWidth(m_last->fontMetrics().horizontalAdvance("last: ") + WidestOutcomeWord(m_last));
    m_autoBox = new QCheckBox("Auto", dialog);
    m_autoBox->setObjectName(QString("auto%1").arg(index));
    m_autoBox->setToolTip("Flash each module put into the fixture, until stopped");
    m_stop = new QPushButton("Stop", dialog);
    m_stop->setObjectName(QString("stopButton%1").arg(index));
    m_stop->setEnabled(false);
    m_log = new RunLogButton(dialog);
    m_log->setObjectName(QString("logButton%1").arg(index));
    QObject::connect(m_stop, &QPushButton::clicked, m_stop, [this] { Stop(); });
    // Another port means another module: the old outcome no longer applies.
    QObject::connect(m_list, &QComboBox::currentIndexChanged, m_list, [this] {
        if (!Busy()) ClearResult();
    });
    m_portPoll.setInterval(kPortPollMs);
    QObject::connect(&m_portPoll, &QTimer::timeout, m_stop, [this] { PollPort(); });
    int column = 0;
    auto* number = new QLabel(QString::number(index + 1), dialog);  // as the fixture is labelled
    QFont bold = number->font();
    bold.setBold(true);
    number->setFont(bold);
    grid->addWidget(number, row, column++);
    grid->addWidget(new QLabel("COM:", dialog), row, column++);
    grid->addWidget(m_list, row, column++);
    grid->addWidget(m_bar, row, column++);
    grid->addWidget(new QLabel("Speed:", dialog), row, column++);
    grid->addWidget(m_speed, row, column++);
    grid->addWidget(new QLabel("UsedTime:", dialog), row, column++);
    grid->addWidget(m_time, row, column++);
    grid->addWidget(m_indicator, row, column++);
    grid->addWidget(m_result, row, column++);
    grid->addWidget(m_last, row, column++);  // small beside it: the previous module's
    grid->addWidget(m_autoBox, row, column++);
    grid->addWidget(m_stop, row, column++);
    grid->addWidget(m_log, row, column++);
    m_worker = std::make_unique<BurnWorker>([this] { WorkerRun(); });
}

PortSlot::~PortSlot() {
    m_portPoll.stop();
    m_cancel.Set();  // a run in progress ends at its next wait
    m_worker.reset();
}

void PortSlot::ClearResult() {
    Show(Outcome::None, {});
    m_last->SetFullText({}, {});
}

void PortSlot::ResetForBatch() {
    m_counters.ResetForRun();
    m_bar->setValue(0);
    m_time->clear();
    m_speed->clear();
    m_failedLast = false;
    ClearResult();
}

void PortSlot::Release() {
    m_device = m_list->currentText().toStdString();
    m_auto = m_autoBox->isChecked();
    m_cancel.Reset();
    m_pending = true;
    m_workerBusy = true;
    m_stop->setEnabled(!m_device.empty());
    m_worker->Release();
}

void PortSlot::Stop() {
    if (m_workerBusy.load()) m_cancel.Set();
    if (!m_waitingForPort) return;
    m_portPoll.stop();
    m_waitingForPort = false;
    Show(Outcome::Stopped, ResultMessage(burn::kStopped));
    m_stop->setEnabled(false);
}

void PortSlot::Show(Outcome outcome, const QString& detail) {
    ShowOutcome(m_result, outcome, detail);
    m_indicator->Show(outcome);
}

// Green "Success", red "Fail", amber "Stopped"; the whole result text in the tooltip.
void PortSlot::ShowResult(uint32_t result, const QString& detail) {
    if (!m_auto) m_stop->setEnabled(false);  // an automatic slot runs on until stopped
    m_failedLast = result != burn::kSuccess && result != burn::kStopped;
    Show(OutcomeOf(result), detail);
    // Beside the word, small, the most telling line of the text: the failing step, what
    // a stop leaves to do, a rate the module refused.
    const QStringList lines = detail.split('\n');
    m_last->SetFullText(lines.size() > 1 ? lines.back() : QString(), detail);
}

// The module left the fixture: an empty fixture never looks like a finished one. The
// result stays readable, small, with its whole text in the tooltip.
void PortSlot::ShowWaiting() {
    if (!m_result->text().isEmpty() && m_result->text() != LookOf(Outcome::Waiting).word) {
        m_last->SetFullText("last: " + m_result->text(), m_result->toolTip());
    }
    Show(Outcome::Waiting, "The fixture is empty: put the next module in");
}

void PortSlot::SetListEnabled(bool enabled) {
    m_list->setEnabled(enabled);
    m_autoBox->setEnabled(enabled);
}

void PortSlot::ShowProgress() {
    m_bar->setValue(static_cast<int>(m_counters.bar.load()));
    m_speed->setText(SpeedText(m_counters, m_meter));
    m_time->setText(QString::fromStdString(UsedTimeText(m_counters.secondsUsed)));  // a run under a tick too
}

void PortSlot::Tick() {
    if (!m_running.load()) return;
    m_counters.Tick();
    m_time->setText(QString::fromStdString(UsedTimeText(m_counters.secondsUsed)));
    m_speed->setText(SpeedText(m_counters, m_meter));
}

void PortSlot::Record(uint32_t result, double seconds, const BurnJob& job, const std::string& logPath) {
    Append(MakeDialogRecord("Gangburn", m_index + 1, m_device, *m_batch.records, result, seconds, &job, m_batch.who,
                            logPath));
}

void PortSlot::RecordPortFailure(const QString& why) {
    Append(MakeDialogRecord("Gangburn", m_index + 1, m_device, *m_batch.records, burn::kNoPort, 0, nullptr,
                            m_batch.who, {}, why.toStdString()));
}

void PortSlot::Append(const RunRecord& record) {
    const QString recordError = m_batch.record(m_index, record);
    if (!recordError.isEmpty()) m_batch.showMessage(m_index, recordError);
}

bool PortSlot::OpenPort() {
    FlashLineSettings settings = m_batch.line;
    settings.port = m_device;
    std::string error;
    m_port = OpenFlashPort(settings, error);
    if (m_port) return true;
    const QString reason = QString::fromStdString(error);
    if (m_auto) {
        PortLost(reason);  // not there yet: waited for as a port that went away
        return false;
    }
    // Told in the row and in a box naming the slot; the other slots go on.
    RecordPortFailure(reason);
    m_batch.post([this, reason] {
        ShowResult(burn::kNoPort, reason);
        Show(Outcome::PortFail, reason);
        m_stop->setEnabled(false);
    });
    m_batch.showMessage(m_index, reason);
    return false;
}

void PortSlot::WorkerRun() {
    m_port.reset();
    m_portOpen = false;
    if (m_device.empty() || !OpenPort()) {
        m_pending = false;
        m_workerBusy = false;
        return;
    }
    m_portOpen = true;
    SerialPortLine line(*m_port);
    BurnJob job =
        MakeJob(*m_batch.records, &line, m_batch.parameters, &m_counters, &m_cancel, true, m_index, m_device);
    job.owner = this;
    job.notify = [](BurnJob& j) {
        auto* slot = static_cast<PortSlot*>(j.owner);
        slot->m_batch.post([slot] { slot->ShowProgress(); });
    };
    m_running = true;  // before the pending flag drops: the batch never looks over
    m_pending = false;
    if (m_auto) {
        RunAuto(job);
    } else {
        bool lost = false;
        RunModule(job, lost);
    }
    m_port->Purge(serial::kPurgeRx | serial::kPurgeTx);
    m_port.reset();
    m_portOpen = false;
    m_running = false;
    m_workerBusy = false;
}

// Each module put into the fixture is flashed, the next once this one was taken out,
// until the slot is stopped. A module already there at the start (or when the port comes
// back) is flashed at once: its NMEA is what the wait listens for.
void PortSlot::RunAuto(BurnJob& job) {
    // Bytes kept from before the port was opened are no module: only fresh NMEA is.
    m_port->Purge(serial::kPurgeRx);
    m_batch.post([this] { ShowWaiting(); });
    bool lost = false;
    while (!lost) {
        if (!fixture::WaitForModule(*m_port, &m_cancel)) {
            lost = !m_cancel.IsSet();
            if (lost) PortLost("the port failed while waiting for a module");
            break;
        }
        const uint32_t result = RunModule(job, lost);
        if (result == burn::kStopped || lost) break;
        if (!fixture::WaitUntilEmpty(*m_port, fixture::kQuietMs, &m_cancel)) {
            lost = !m_cancel.IsSet();
            if (lost) PortLost("the port failed while the module was in the fixture");
            break;
        }
        // A flashed module talks until it is taken out; one that failed is silent in its
        // loader whether it is still there or not: its "Fail" stays until the next module.
        if (result == burn::kSuccess) m_batch.post([this] { ShowWaiting(); });
    }
    if (!lost) m_batch.post([this] { m_stop->setEnabled(false); });
}

bool PortSlot::PortGone() const {
    std::error_code ec;
    return !std::filesystem::exists(m_device, ec);
}

void PortSlot::PortLost(const QString& why) {
    RecordPortFailure(why);
    const QString detail = QString::fromStdString(m_device) + ": " + why +
                           "\nWaiting for the port to come back; \"Stop\" ends the wait.\n" +
                           ResultMessage(burn::kNoPort);
    m_batch.post([this, detail] {
        Show(Outcome::PortLost, detail);
        m_failedLast = true;
        if (m_auto) WaitForPort();
        else m_stop->setEnabled(false);
    });
}

void PortSlot::WaitForPort() {
    m_waitingForPort = true;
    m_stop->setEnabled(true);
    m_portPoll.start();
}

// The device is back when its path leads to a port that opens; the worker then opens
// it for itself and goes on waiting for modules.
void PortSlot::PollPort() {
    if (m_workerBusy.load()) return;  // the run that lost it is still winding up
    serial::SerialPort probe;
    if (PortGone() || !probe.Open(m_device)) return;
    probe.Close();
    m_portPoll.stop();
    m_waitingForPort = false;
    m_cancel.Reset();
    m_pending = true;
    m_workerBusy = true;
    m_worker->Release();
}

uint32_t PortSlot::RunModule(BurnJob& job, bool& lost) {
    m_counters.ResetForRun();
    m_counters.reportValid = true;
    m_batch.post([this] {
        m_bar->setValue(0);
        Show(m_auto ? Outcome::Flashing : Outcome::None, {});
        m_last->SetFullText({}, {});
    });
    job.notify(job);
    const std::unique_ptr<RunLogFile> log = OpenRunLog(m_batch.logPath(m_index, m_device));
    job.log = log.get();
    const int64_t start = SteadyMs();
    const uint32_t result = BurnImage(job);
    job.log = nullptr;
    const QString logPath = log ? QString::fromStdString(log->Path()) : QString();
    m_batch.post([this, logPath] { m_log->SetPath(logPath); });
    if (result != burn::kSuccess && result != burn::kStopped && PortGone()) {
        // The adapter went during the run: no verdict on the module, which is flashed
        // again once the port is back.
        lost = true;
        m_batch.post([this] { ShowProgress(); });
        PortLost(QString("the port went away during the run (%1)")
                     .arg(QString::fromStdString(ResultLine(result, job.failure))));
        return result;
    }
    Record(result, (SteadyMs() - start) / 1000.0, job, logPath.toStdString());
    m_batch.post([this, result, message = ResultMessage(result, &job)] {
        ShowProgress();
        ShowResult(result, message);
        m_batch.counted(result);
    });
    return result;
}

}  // namespace gangburn
