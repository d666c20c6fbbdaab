#include "PortSlot.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>

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
    int column = 0;
    grid->addWidget(new QLabel("COM:", dialog), row, column++);
    grid->addWidget(m_list, row, column++);
    grid->addWidget(m_bar, row, column++);
    grid->addWidget(new QLabel("Speed:", dialog), row, column++);
    grid->addWidget(m_speed, row, column++);
    grid->addWidget(new QLabel("UsedTime:", dialog), row, column++);
    grid->addWidget(m_time, row, column++);
    grid->addWidget(m_indicator, row, column++);
    grid->addWidget(m_result, row, column++);
    m_worker = std::make_unique<BurnWorker>([this] { WorkerRun(); });
}

PortSlot::~PortSlot() { m_worker.reset(); }

void PortSlot::ResetForBatch() {
    m_counters.ResetForRun();
    m_bar->setValue(0);
    m_time->clear();
    m_speed->clear();
    m_indicator->SetLook(Indicator::Look::Idle);
    m_result->clear();
}

void PortSlot::Release() {
    m_device = m_list->currentText().toStdString();
    m_pending = true;
    m_worker->Release();
}

void PortSlot::SetListEnabled(bool enabled) { m_list->setEnabled(enabled); }

void PortSlot::ShowProgress() {
    m_bar->setValue(static_cast<int>(m_counters.bar.load()));
    m_speed->setText(QString::fromStdString(ThroughputText(m_counters.bytesDone, m_counters.stageSeconds)));
}

void PortSlot::Tick() {
    if (!m_running.load()) return;
    m_counters.Tick();
    m_time->setText(QString::fromStdString(UsedTimeText(m_counters.secondsUsed)));
    const uint32_t done = m_counters.bytesDone;
    if (done == m_counters.bytesSeenAtTick) ShowProgress();
    else m_counters.bytesSeenAtTick = done;
}

void PortSlot::WorkerRun() {
    m_port.reset();
    m_portOpen = false;
    if (!m_device.empty()) {
        FlashLineSettings settings = m_batch.line;
        settings.port = m_device;
        std::string error;
        m_port = OpenFlashPort(settings, error);
        if (!m_port) m_batch.showMessage(QString::fromStdString(error));
    }
    if (!m_port) {
        m_pending = false;
        return;
    }
    m_portOpen = true;
    const BurnBatch* records = m_batch.records;
    SerialPortLine line(*m_port);
    BurnJob job;
    job.slot = m_index;
    job.line = &line;
    job.loader = records->loader.get();
    job.image = *records->image;
    job.attemptLimit = m_batch.attempts;
    job.passes = m_batch.passes;
    job.wait = m_batch.wait;
    job.fourPort = true;
    job.counters = &m_counters;
    job.owner = this;
    job.notify = [](BurnJob& j) {
        auto* slot = static_cast<PortSlot*>(j.owner);
        slot->m_batch.post([slot] { slot->ShowProgress(); });
    };
    m_running = true;  // before the pending flag drops: the batch never looks over
    m_pending = false;
    m_counters.reportValid = true;
    job.notify(job);
    const uint32_t result = BurnImage(job);
    m_batch.post([this, result] {
        ShowProgress();
        m_indicator->SetLook(result == 0 ? Indicator::Look::Succeeded : Indicator::Look::Failed);
        m_result->setText(result == 0 ? "Success" : "Fail");
    });
    m_port->Purge(serial::kPurgeRx | serial::kPurgeTx);
    m_port.reset();
    m_portOpen = false;
    m_running = false;
}

}  // namespace gangburn
