#include "flash/gangburn/GangburnDlg.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <thread>

namespace gangburn {
namespace {

const char* kTitle = "Burnkit 921600";
const char* kProgram = "Gangburn";

}  // namespace

CBurnkitDlg::CBurnkitDlg(INotifier& notifier, const QStringList& extraPorts, QWidget* parent, int slotCount)
    : QDialog(parent), m_notifier(notifier), m_extraPorts(extraPorts) {
    setWindowTitle(kTitle);
    const QStringList ports = PortEntries();

    m_settings = new FlashSettingsBox(kProgram, false, {}, this);
    m_imagePath = new QLineEdit(this);
    m_imagePath->setObjectName("imagePath");
    m_imagePath->setReadOnly(true);
    m_openImage = new QPushButton("Open", this);
    m_openImage->setObjectName("openImageButton");
    m_burn = new QPushButton("Burn", this);
    m_burn->setObjectName("burnButton");
    m_burn->setEnabled(false);
    m_stopAll = new QPushButton("Stop All", this);
    m_stopAll->setObjectName("stopAllButton");
    m_stopAll->setEnabled(false);
    m_rescan = new QPushButton("Rescan", this);
    m_rescan->setObjectName("rescanButton");
    m_retry = new QPushButton("Retry failed", this);
    m_retry->setObjectName("retryFailedButton");
    m_retry->setToolTip("Flash again only the slots that failed in the last batch (not those in Auto)");
    m_retry->setEnabled(false);
    m_summary = new QLabel(this);
    m_summary->setObjectName("batchSummary");
    m_tally = new QLabel(this);
    m_tally->setObjectName("tally");
    QFont big = m_tally->font();
    big.setBold(true);
    m_tally->setFont(big);
    m_tally->setMinimumWidth(QFontMetrics(big).horizontalAdvance("Pass 9999   Fail 9999   Yield 100.0 %"));
    auto* resetTally = new QPushButton("Reset", this);
    resetTally->setObjectName("resetTallyButton");
    m_record = new RecordFileRow(kProgram, this);

    auto* top = new QGridLayout(this);
    m_settings->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    top->addWidget(m_settings, 0, 0, 2, 1, Qt::AlignTop);
    auto* image = new QHBoxLayout;
    image->addWidget(new QLabel("Flash Img:", this));
    image->addWidget(m_imagePath, 1);
    image->addWidget(m_openImage);
    image->addWidget(m_burn);
    image->addWidget(m_stopAll);
    top->addLayout(image, 0, 1);
    auto* session = new QVBoxLayout;  // the session's tally and where it is recorded
    auto* tally = new QHBoxLayout;
    tally->addWidget(m_tally);
    tally->addWidget(resetTally);
    tally->addWidget(m_rescan);
    tally->addWidget(m_retry);
    tally->addStretch();
    session->addLayout(tally);
    session->addWidget(m_summary);
    session->addWidget(m_record);
    top->addLayout(session, 1, 1, Qt::AlignTop);
    auto* slotGrid = new QGridLayout;
    slotGrid->setColumnStretch(3, 1);  // a wider window widens the bars
    top->addLayout(slotGrid, 2, 0, 1, 2);
    top->setColumnStretch(1, 1);
    top->setRowStretch(3, 1);  // room to spare goes below the slots

    m_ui = new UiQueue(this);
    m_batch.post = [this](std::function<void()> work) { m_ui->Post(std::move(work)); };
    // A slot's failure is told without holding up the batch or its one-second tick.
    m_batch.showMessage = [this](int slot, const QString& text) {
        m_ui->Post([this, slot, text] {
            m_notifier.WarnWithoutWaiting(this, kTitle, QString("Slot %1: %2").arg(slot + 1).arg(text));
        });
    };
    m_batch.record = [this](int slot, const RunRecord& record) {
        QString notice;
        const QString error = m_record->Choice().Append(record, &notice);
        if (!notice.isEmpty()) m_batch.showMessage(slot, notice);
        return error;
    };
    m_batch.logPath = [this](int slot, const std::string& port) {
        return m_record->Choice().RunLogPathFor(slot + 1, port);
    };
    m_batch.counted = [this](uint32_t result) { Count(result); };
    slotCount = std::clamp(slotCount, 1, kMaxSlots);
    for (int i = 0; i < slotCount; ++i) {
        m_slots.push_back(std::make_unique<PortSlot>(i, this, slotGrid, i, ports, m_batch));
        if (i < extraPorts.size()) Slot(i).PortList()->setCurrentText(extraPorts[i]);
    }
    ResetTally();
    // The form's size in dialog units, or more where the results and figures need it.
    KeepMinimumSize(this, DialogUnits(this, 493, 222));

    connect(m_openImage, &QPushButton::clicked, this, [this] { OnChooseImage(); });
    connect(m_burn, &QPushButton::clicked, this, [this] { OnBurn(); });
    connect(m_stopAll, &QPushButton::clicked, this, [this] { OnStopAll(); });
    connect(m_rescan, &QPushButton::clicked, this, [this] { Rescan(); });
    connect(m_retry, &QPushButton::clicked, this, [this] { OnRetryFailed(); });
    connect(resetTally, &QPushButton::clicked, this, [this] { ResetTally(); });
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, [this] { OnTick(); });
    // The last image flashed is offered again; one gone since is quietly left out.
    if (const QString last = RememberedImage(kProgram); !last.isEmpty() && ImageProblem(last).isEmpty()) {
        ChooseImage(last);
    }
}

CBurnkitDlg::~CBurnkitDlg() {
    for (auto& slot : m_slots) slot.reset();  // runs in progress end first
    m_timer.stop();
}

void CBurnkitDlg::SetRunParameters(const RunParameters& p) { m_batch.parameters = p; }

QStringList CBurnkitDlg::PortEntries() const {
    std::vector<std::string> extra;
    for (const QString& p : m_extraPorts) extra.push_back(p.toStdString());
    QStringList ports;
    for (const auto& p : ListSerialPorts(extra)) ports << QString::fromStdString(p);
    return ports;
}

void CBurnkitDlg::Rescan() {
    const QStringList ports = PortEntries();
    for (auto& slot : m_slots) {
        QComboBox* list = slot->PortList();
        const QString chosen = list->currentText();
        const QSignalBlocker quiet(list);  // the same choice: the slot's result stays
        list->clear();
        list->addItem(QString());
        list->addItems(ports);
        list->setCurrentText(chosen);
    }
}

void CBurnkitDlg::Count(uint32_t result) {
    if (result == burn::kSuccess) ++m_passed, ++m_batchPassed;
    else if (result != burn::kStopped) ++m_failed, ++m_batchFailed;
    m_tally->setText(TallyText());
}

// "Batch: Pass 3   Fail 1   Yield 75.0 %   Time 00:42   343 modules/h": what the line
// made of the batch, the throughput over its whole time.
QString CBurnkitDlg::SummaryText() const {
    const int total = m_batchPassed + m_batchFailed;
    const qint64 seconds = std::max<qint64>(1, m_batchClock.elapsed() / 1000);
    const QString yield = total ? QString::number(100.0 * m_batchPassed / total, 'f', 1) + " %" : QString("-");
    return QString("Batch: Pass %1   Fail %2   Yield %3   Time %4:%5   %6 modules/h")
        .arg(m_batchPassed)
        .arg(m_batchFailed)
        .arg(yield)
        .arg(seconds / 60, 2, 10, QChar('0'))
        .arg(seconds % 60, 2, 10, QChar('0'))
        .arg(qRound64(total * 3600.0 / seconds));
}

QString CBurnkitDlg::TallyText() const {
    const int total = m_passed + m_failed;
    const QString yield = total ? QString::number(100.0 * m_passed / total, 'f', 1) + " %" : QString("-");
    return QString("Pass %1   Fail %2   Yield %3").arg(m_passed).arg(m_failed).arg(yield);
}

void CBurnkitDlg::ResetTally() {
    m_passed = m_failed = 0;
    m_tally->setText(TallyText());
}

void CBurnkitDlg::OnStopAll() {
    for (auto& slot : m_slots) slot->Stop();
}

bool CBurnkitDlg::MayClose() {
    const auto anyBusy = [this] {
        return std::any_of(m_slots.begin(), m_slots.end(), [](const auto& slot) { return slot->WorkerBusy(); });
    };
    if (!anyBusy()) return true;
    if (!StopRunsToClose(m_notifier, this, kTitle, "Modules are being flashed. Stop every run and close?",
                         [this] { OnStopAll(); }, anyBusy))
        return false;
    OnTick();
    return true;
}

void CBurnkitDlg::closeEvent(QCloseEvent* event) {
    if (MayClose()) QDialog::closeEvent(event);
    else event->ignore();
}

void CBurnkitDlg::reject() {
    if (MayClose()) QDialog::reject();
}

void CBurnkitDlg::OnChooseImage() {
    const QString path = QFileDialog::getOpenFileName(this, "Open", QString(), kImageFilter);
    if (!path.isEmpty()) ChooseImage(path);
    m_burn->setEnabled(true);
}

void CBurnkitDlg::ChooseImage(const QString& path) {
    if (const QString problem = ImageProblem(path); !problem.isEmpty()) {
        m_image = {};  // Burn asks for an image rather than flash the one being replaced
        m_imagePath->clear();
        m_imagePath->setToolTip({});
        m_notifier.Warn(this, kTitle, "Img File open error: " + problem + "\n" + path);
    } else {
        m_image = NoteImage(path);  // what Burn compares the file with
        RememberImage(kProgram, path);
        m_imagePath->setText(path);
        m_imagePath->setToolTip(path);
        m_imagePath->setCursorPosition(0);
    }
    m_burn->setEnabled(true);
}

void CBurnkitDlg::SetIdle(bool idle) {
    for (auto& slot : m_slots) slot->SetListEnabled(idle);
    m_settings->SetLocked(!idle);
    m_openImage->setEnabled(idle);
    m_burn->setEnabled(idle);
    m_stopAll->setEnabled(!idle);
    m_rescan->setEnabled(idle);
    bool retry = false;
    for (auto& slot : m_slots) retry = retry || (slot->FailedLast() && !slot->AutoRun() && slot->HasPort());
    m_retry->setEnabled(idle && retry);
}

void CBurnkitDlg::OnBurn() {
    StartBatch([](PortSlot&) { return true; });
}

void CBurnkitDlg::OnRetryFailed() {
    StartBatch([](PortSlot& slot) { return slot.FailedLast() && !slot.AutoRun(); });
}

// The image is read once here and every module of the batch (each of an Auto slot too)
// gets those bytes. A file deleted or rebuilt since it was chosen starts no slot and
// counts no module.
void CBurnkitDlg::StartBatch(const std::function<bool(PortSlot&)>& take) {
    if (m_image.path.isEmpty()) {
        m_notifier.Show(this, kTitle, "Please choose a IMG file!");
        return;
    }
    auto records = std::make_unique<BurnBatch>(PrepareImages(m_image.path.toStdString()));
    if (const QString problem = ImageChangeProblem(m_image, *records); !problem.isEmpty()) {
        ReleaseImages(*records);
        m_notifier.Warn(this, kTitle, problem);
        return;
    }
    m_records = std::move(records);
    m_batch.records = m_records.get();
    m_batch.line = m_settings->Settings();
    m_batch.who = {OperatorName().toStdString(), Lot().toStdString()};
    m_batchPassed = m_batchFailed = 0;
    m_batchClock.start();
    m_summary->clear();
    std::vector<PortSlot*> taken;
    for (auto& slot : m_slots)
        if (take(*slot)) taken.push_back(slot.get());
    m_timer.start();
    SetIdle(false);
    for (PortSlot* slot : taken) slot->ResetForBatch();
    for (PortSlot* slot : taken) {
        slot->Release();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// The batch is over at the first tick that finds no slot running or about to run.
void CBurnkitDlg::OnTick() {
    m_ui->Drain();  // results the slots posted before they went idle
    bool busy = false;
    for (auto& slot : m_slots) {
        slot->Tick();
        busy = busy || slot->Busy();
    }
    if (busy) return;
    m_timer.stop();
    m_batch.records = nullptr;
    m_records.reset();
    m_summary->setText(SummaryText());
    SetIdle(true);
}

}  // namespace gangburn
