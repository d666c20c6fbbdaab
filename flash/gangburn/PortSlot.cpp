#include "PortSlot.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

#include "Fixture.h"

namespace gangburn {

Indicator::Indicator(QWidget* parent) : QWidget(parent) { setFixedSize(27, 27); }

void Indicator::SetLook(Look look) {
    m_look = look;
    update();
}

void Indicator::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(palette().color(QPalette::WindowText), 1));
    if (m_look == Look::Failed) p.setBrush(QColor(255, 0, 0));
    else if (m_look == Look::Succeeded) p.setBrush(QColor(0, 255, 0));
    p.drawEllipse(QRectF(1, 1, 25, 25));
}

PortSlot::PortSlot(int index, QWidget* dialog, QGridLayout* grid, int row, const QStringList& ports, Batch& batch)
    : m_index(index), m_dialog(dialog), m_batch(batch) {
    m_list = new QComboBox(dialog);
    m_list->setObjectName(QString("portList%1").arg(index));
    m_list->addItem(QString());  // the empty entry: the slot takes no part
    m_list->addItems(ports);
    m_bar = new QProgressBar(dialog);
    m_bar->setObjectName(QString("progressBar%1").arg(index));
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_speed = new QLabel("0 Bps", dialog);
    m_time = new QLabel("00:00", dialog);
    m_indicator = new Indicator(dialog);
    m_indicator->setObjectName(QString("indicator%1").arg(index));
    m_result = new QLabel(dialog);
    m_result->setObjectName(QString("result%1").arg(index));
    m_result->setAlignment(Qt::AlignCenter);
    m_result->setMinimumWidth(60);
    QFont big = m_result->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    m_result->setFont(big);  // read from across the bench
    m_autoBox = new QCheckBox("Auto", dialog);
    m_autoBox->setObjectName(QString("auto%1").arg(index));
    m_autoBox->setToolTip("Flash each module put into the fixture, until stopped");
    m_stop = new QPushButton("Stop", dialog);
    m_stop->setObjectName(QString("stopButton%1").arg(index));
    m_stop->setEnabled(false);
    QObject::connect(m_stop, &QPushButton::clicked, m_stop, [this] { Stop(); });
    // Another port means another module: the old outcome no longer applies.
    QObject::connect(m_list, &QComboBox::currentIndexChanged, m_list, [this] {
        if (!Busy()) ClearResult();
    });
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
    grid->addWidget(m_autoBox, row, column++);
    grid->addWidget(m_stop, row, column++);
    m_worker = std::make_unique<BurnWorker>([this] { WorkerRun(); });
}

PortSlot::~PortSlot() {
    m_cancel.Set();  // a run in progress ends at its next wait
    m_worker.reset();
}

void PortSlot::ClearResult() {
    m_indicator->SetLook(Indicator::Look::Idle);
    m_result->clear();
    m_result->setToolTip({});
}

void PortSlot::ResetForBatch() {
    m_counters.ResetForRun();
    m_bar->setValue(0);
    m_time->clear();
    m_speed->clear();
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
}

// Green "Success", red "Fail" (the reason in the tooltip), or neutral "Stopped".
void PortSlot::ShowResult(uint32_t result, const QString& detail) {
    if (!m_auto) m_stop->setEnabled(false);  // an automatic slot runs on until stopped
    if (result == burn::kStopped) {
        m_indicator->SetLook(Indicator::Look::Idle);
        m_result->setText("Stopped");
        return;
    }
    m_indicator->SetLook(result == burn::kSuccess ? Indicator::Look::Succeeded : Indicator::Look::Failed);
    m_result->setText(result == burn::kSuccess ? "Success" : "Fail");
    m_result->setToolTip(detail);
}

void PortSlot::SetListEnabled(bool enabled) {
    m_list->setEnabled(enabled);
    m_autoBox->setEnabled(enabled);
}

void PortSlot::ShowProgress() {
    m_bar->setValue(static_cast<int>(m_counters.bar.load()));
    m_speed->setText(SpeedText(m_counters, m_meter));
}

void PortSlot::Tick() {
    if (!m_running.load()) return;
    m_counters.Tick();
    m_time->setText(QString::fromStdString(UsedTimeText(m_counters.secondsUsed)));
    m_speed->setText(SpeedText(m_counters, m_meter));
}

void PortSlot::WorkerRun() {
    m_port.reset();
    m_portOpen = false;
    if (!m_device.empty()) {
        FlashLineSettings settings = m_batch.line;
        settings.port = m_device;
        std::string error;
        m_port = OpenFlashPort(settings, error);
        if (!m_port) {
            // Told in the row and in a box naming the slot; the other slots go on.
            const QString reason = QString::fromStdString(error);
            const QString recordError =
                m_batch.record(MakeRunRecord("Gangburn", m_index + 1, m_device, *m_batch.records, burn::kNoPort, 0));
            m_batch.post([this, reason] {
                ShowResult(burn::kNoPort, reason);
                m_result->setText("Fail: port");
                m_stop->setEnabled(false);
            });
            m_batch.showMessage(m_index, reason);
            if (!recordError.isEmpty()) m_batch.showMessage(m_index, recordError);
        }
    }
    if (!m_port) {
        m_pending = false;
        m_workerBusy = false;
        return;
    }
    m_portOpen = true;
    SerialPortLine line(*m_port);
    BurnJob job = MakeJob(*m_batch.records, &line, m_batch.parameters, &m_counters, &m_cancel, true, m_index);
    job.owner = this;
    job.notify = [](BurnJob& j) {
        auto* slot = static_cast<PortSlot*>(j.owner);
        slot->m_batch.post([slot] { slot->ShowProgress(); });
    };
    m_running = true;  // before the pending flag drops: the batch never looks over
    m_pending = false;
    if (!m_auto) {
        RunModule(job);
    } else if (fixture::WaitUntilEmpty(*m_port, fixture::kQuietMs, &m_cancel)) {
        // Each module put into the fixture is flashed, the next once this one was taken
        // out, until the slot is stopped. A module already there at the start waits.
        m_batch.post([this] { m_result->setText("Ready"); });
        while (fixture::WaitForModule(*m_port, &m_cancel)) {
            if (RunModule(job) == burn::kStopped || !fixture::WaitUntilEmpty(*m_port, fixture::kQuietMs, &m_cancel))
                break;
        }
        m_batch.post([this] { m_stop->setEnabled(false); });
    }
    m_port->Purge(serial::kPurgeRx | serial::kPurgeTx);
    m_port.reset();
    m_portOpen = false;
    m_running = false;
    m_workerBusy = false;
}

uint32_t PortSlot::RunModule(BurnJob& job) {
    m_counters.ResetForRun();
    m_counters.reportValid = true;
    m_batch.post([this] {
        m_bar->setValue(0);
        m_result->setText(m_auto ? "Flashing" : "");
        m_result->setToolTip({});
        m_indicator->SetLook(Indicator::Look::Idle);
    });
    job.notify(job);
    const int64_t start = SteadyMs();
    const uint32_t result = BurnImage(job);
    const QString recordError = m_batch.record(
        MakeRunRecord("Gangburn", m_index + 1, m_device, *m_batch.records, result, (SteadyMs() - start) / 1000.0));
    m_batch.post([this, result] {
        ShowProgress();
        ShowResult(result, ResultMessage(result));
        m_batch.counted(result);
    });
    if (!recordError.isEmpty()) m_batch.showMessage(m_index, recordError);
    return result;
}

}  // namespace gangburn
