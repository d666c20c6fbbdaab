#include "flash/burnkit/BurnkitDlg.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "flash/frontend/ResultLook.h"

namespace burnkit {
namespace {

const char* kTitle = "Burnkit";
const char* kProgram = "Burnkit";

QStringList PortEntries(const QStringList& extra) {
    std::vector<std::string> paths;
    for (const QString& p : extra) paths.push_back(p.toStdString());
    QStringList entries;
    for (const auto& p : ListSerialPorts(paths)) entries << QString::fromStdString(p);
    return entries;
}

}  // namespace

CBurnkitDlg::CBurnkitDlg(INotifier& notifier, const QStringList& extraPorts, QWidget* parent)
    : QDialog(parent), m_notifier(notifier) {
    setWindowTitle(kTitle);
    m_settings = new FlashSettingsBox(kProgram, true, PortEntries(extraPorts), this);
    if (!extraPorts.isEmpty()) m_settings->PortList()->setCurrentText(extraPorts.last());
    m_portButton = new QPushButton("Open Serial Port", this);
    m_portButton->setObjectName("portButton");
    m_imagePath = new QLineEdit(this);
    m_imagePath->setObjectName("imagePath");
    m_imagePath->setReadOnly(true);
    m_imagePath->setMinimumWidth(DialogUnits(this, 100, 0).width());  // paths are long: the tooltip has it whole
    m_openImage = new QPushButton("Open", this);
    m_openImage->setObjectName("openImageButton");
    m_bar = new QProgressBar(this);
    m_bar->setObjectName("progressBar");
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_burn = new QPushButton("Burn", this);
    m_burn->setObjectName("burnButton");
    m_burn->setEnabled(false);
    m_stop = new QPushButton("Stop", this);
    m_stop->setObjectName("stopButton");
    m_stop->setEnabled(false);
    m_speed = new QLabel("0 Bps", this);
    m_speed->setObjectName("speedValue");
    m_speed->setMinimumWidth(m_speed->fontMetrics().horizontalAdvance("9999.99 KBps"));
    m_time = new QLabel("00:00", this);
    m_time->setObjectName("timeValue");
    m_result = new QLabel(this);
    m_result->setObjectName("resultText");
    QFont big = m_result->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    m_result->setFont(big);
    m_result->setMinimumWidth(WidestOutcomeWord(m_result) + 8);
    m_record = new RecordFileRow(kProgram, this);

    // The form's arrangement: settings and the port button on the left; image, progress,
    // figures and Burn on the right.
    auto* columns = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    left->addWidget(m_settings);
    left->addWidget(m_portButton);
    left->addStretch();
    columns->addLayout(left, 2);
    auto* right = new QGridLayout;
    right->addWidget(new QLabel("Flash Img:", this), 0, 0);
    right->addWidget(m_imagePath, 0, 1);
    right->addWidget(m_openImage, 0, 2);
    right->addWidget(m_bar, 1, 0, 1, 3);
    right->addWidget(new QLabel("Speed:", this), 2, 0);
    right->addWidget(m_speed, 2, 1, 1, 2);
    right->addWidget(new QLabel("UsedTime:", this), 3, 0);
    right->addWidget(m_time, 3, 1, 1, 2);
    right->addWidget(m_record, 4, 0, 1, 3);
    right->setRowStretch(5, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_result);
    buttons->addStretch();
    buttons->addWidget(m_log = new RunLogButton(this));
    m_log->setObjectName("logButton");
    buttons->addWidget(m_stop);
    buttons->addWidget(m_burn);
    right->addLayout(buttons, 6, 0, 1, 3);
    right->setColumnStretch(1, 1);
    columns->addLayout(right, 3);
    // The form's size in dialog units, or more where the results and figures need it.
    KeepMinimumSize(this, DialogUnits(this, 318, 175));

    connect(m_portButton, &QPushButton::clicked, this, [this] { OnOpenClosePort(); });
    connect(m_openImage, &QPushButton::clicked, this, [this] { OnChooseImage(); });
    connect(m_burn, &QPushButton::clicked, this, [this] { OnBurn(); });
    connect(m_stop, &QPushButton::clicked, this, [this] { OnStop(); });
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, [this] { OnTick(); });
    m_ui = new UiQueue(this);
    m_worker = std::make_unique<BurnWorker>([this] { WorkerRun(); });
    // The last image flashed is offered again; one gone since is quietly left out.
    if (const QString last = RememberedImage(kProgram); !last.isEmpty() && ImageProblem(last).isEmpty())
        ChooseImage(last);
}

CBurnkitDlg::~CBurnkitDlg() {
    m_cancel.Set();    // a run in progress ends at its next wait
    m_worker.reset();  // and the worker with it
    m_timer.stop();
    ClosePort();
}

void CBurnkitDlg::ClosePort() {
    if (!m_port) return;
    m_port->Purge(serial::kPurgeRx | serial::kPurgeTx);
    m_line.reset();
    m_port.reset();
}

void CBurnkitDlg::OnOpenClosePort() {
    if (m_port) {
        m_portButton->setText("Closeing Serial Port....");
        ClosePort();
        m_settings->SetLocked(false);
        m_burn->setEnabled(false);
        m_portButton->setText("Open Serial Port");
        return;
    }
    std::string error;
    m_port = OpenFlashPort(m_settings->Settings(), error);
    if (!m_port) {
        m_notifier.Show(this, kTitle, QString::fromStdString(error));
        return;
    }
    m_line = std::make_unique<SerialPortLine>(*m_port);
    m_settings->SetLocked(true);
    m_burn->setEnabled(true);
    m_portButton->setText("Close Serial Port");
}

void CBurnkitDlg::OnChooseImage() {
    const QString path = QFileDialog::getOpenFileName(this, "Open", QString(), kImageFilter);
    if (!path.isEmpty()) ChooseImage(path);
}

void CBurnkitDlg::ChooseImage(const QString& path) {
    if (const QString problem = ImageProblem(path); !problem.isEmpty()) {
        // The earlier choice is gone as well: Burn asks for an image rather than flash
        // one the user meant to replace.
        m_image = {};
        m_imagePath->clear();
        m_imagePath->setToolTip({});
        m_notifier.Warn(this, kTitle, "Img File open error: " + problem + "\n" + path);
        return;
    }
    m_image = NoteImage(path);  // what Burn compares the file with
    RememberImage(kProgram, path);
    m_imagePath->setText(path);
    m_imagePath->setToolTip(path);
    m_imagePath->setCursorPosition(0);
}

void CBurnkitDlg::OnStop() {
    if (m_running) m_cancel.Set();
}

bool CBurnkitDlg::MayClose() {
    if (!m_running) return true;
    const auto stop = [this] {
        m_closing = true;
        m_cancel.Set();
    };
    if (!StopRunsToClose(m_notifier, this, kTitle, "A module is being flashed. Stop the run and close?", stop,
                         [this] { return m_workerBusy.load(); }))
        return false;
    m_ui->Drain();
    m_closing = false;
    // A worker still inside a call keeps its port; the destructor waits for it.
    if (!m_workerBusy.load()) ClosePort();
    return true;
}

void CBurnkitDlg::closeEvent(QCloseEvent* event) {
    if (MayClose()) QDialog::closeEvent(event);
    else event->ignore();
}

void CBurnkitDlg::reject() {
    if (MayClose()) QDialog::reject();
}

void CBurnkitDlg::OnBurn() {
    if (m_image.path.isEmpty()) {
        m_notifier.Show(this, kTitle, "Please choose a IMG file!");
        return;
    }
    // The image is read once, here: a file deleted or rebuilt since it was chosen never
    // reaches the module.
    auto batch = std::make_unique<BurnBatch>(PrepareImages(m_image.path.toStdString()));
    if (const QString problem = ImageChangeProblem(m_image, *batch); !problem.isEmpty()) {
        ReleaseImages(*batch);
        m_notifier.Warn(this, kTitle, problem);
        return;
    }
    // A fresh handle for the run. If the port will not open again, no run starts.
    ClosePort();
    std::string error;
    m_port = OpenFlashPort(m_settings->Settings(), error);
    if (!m_port) {
        m_settings->SetLocked(false);
        m_burn->setEnabled(false);
        m_portButton->setText("Open Serial Port");
        m_notifier.Show(this, kTitle, QString::fromStdString(error));
        return;
    }
    m_line = std::make_unique<SerialPortLine>(*m_port);
    m_runBatch = std::move(batch);
    m_runPort = m_settings->Settings().port;
    m_runWho = {OperatorName().toStdString(), Lot().toStdString()};
    m_cancel.Reset();
    m_running = true;
    m_workerBusy = true;
    // The port stays put while the worker uses it.
    m_burn->setEnabled(false);
    m_stop->setEnabled(true);
    m_openImage->setEnabled(false);
    m_portButton->setEnabled(false);
    m_bar->setValue(0);
    ShowOutcome(m_result, Outcome::Flashing, {});
    m_counters.ResetForRun();
    m_timer.start();
    m_worker->Release();
}

void CBurnkitDlg::WorkerRun() {
    BurnBatch& batch = *m_runBatch;
    BurnJob job = MakeJob(batch, m_line.get(), m_parameters, &m_counters, &m_cancel, false, 0, m_runPort);
    const std::unique_ptr<RunLogFile> log = OpenRunLog(m_record->Choice().RunLogPathFor(1, m_runPort));
    job.log = log.get();
    job.owner = this;
    job.notify = [](BurnJob& j) {
        auto* dlg = static_cast<CBurnkitDlg*>(j.owner);
        dlg->m_ui->Post([dlg] { dlg->ShowProgress(); });
    };
    m_program.jobs[0] = &job;
    const int64_t start = SteadyMs();
    const uint32_t result = BurnImage(job);
    m_program.jobs[0] = nullptr;
    const QString logPath = log ? QString::fromStdString(log->Path()) : QString();
    QString recordNotice;
    const QString recordError = m_record->Choice().Append(
        MakeDialogRecord("Burnkit", 1, m_runPort, batch, result, (SteadyMs() - start) / 1000.0, &job, m_runWho,
                         logPath.toStdString()),
        &recordNotice);
    const QString message = ResultMessage(result, &job);
    ReleaseImages(batch);
    m_workerBusy = false;
    m_ui->Post([this, result, recordError, recordNotice, message, logPath] {
        m_timer.stop();
        ShowProgress();
        m_running = false;
        m_burn->setEnabled(true);
        m_stop->setEnabled(false);
        m_openImage->setEnabled(true);
        m_portButton->setEnabled(true);
        ShowOutcome(m_result, OutcomeOf(result), message);
        m_log->SetPath(logPath);
        if (m_closing) return;
        if (!recordError.isEmpty()) m_notifier.Warn(this, kTitle, recordError);
        if (!recordNotice.isEmpty()) m_notifier.Show(this, kTitle, recordNotice);
        if (result == burn::kSuccess || result == burn::kStopped) m_notifier.Show(this, kTitle, message);
        else m_notifier.Warn(this, kTitle, message);
    });
}

void CBurnkitDlg::ShowProgress() {
    m_bar->setValue(static_cast<int>(m_counters.bar.load()));
    m_speed->setText(SpeedText(m_counters, m_meter));
}

// Once a second: the time moves on, and the speed with it (it falls while the line is
// quiet).
void CBurnkitDlg::OnTick() {
    m_counters.Tick();
    m_time->setText(QString::fromStdString(UsedTimeText(m_counters.secondsUsed)));
    m_speed->setText(SpeedText(m_counters, m_meter));
}

}  // namespace burnkit
