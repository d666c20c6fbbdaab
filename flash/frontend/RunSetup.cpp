#include "RunSetup.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>
#include <chrono>
#include <ctime>
#include <thread>

#include "ElidedText.h"

QString SpeedText(const BurnCounters& counters, ThroughputMeter& meter) {
    const int64_t now = SteadyMs();
    meter.Note(counters.stage.load(), counters.stageStartMs.load(), counters.bytesDone.load(), now);
    return QString::fromStdString(meter.Text(now));
}

QString ImageProblem(const QString& path) {
    const int code = CheckImageFile(path.toStdString());
    return code == image::kLoaded ? QString() : QString::fromStdString(ImageLoadText(code));
}

QString ResultMessage(uint32_t code, const BurnJob* job) {
    QString text = QString::fromStdString(ResultText(code));
    const std::string meaning = code == burn::kSuccess ? std::string() : ResultMeaning(code);
    // A stop says what it means only where the core gives more than the word itself.
    if (!meaning.empty() && (code != burn::kStopped || meaning != "stopped by the user"))
        text += "\n" + QString::fromStdString(meaning);
    if (!job) return text;
    if (!job->failure.empty() && job->failure != meaning && code != burn::kSuccess && code != burn::kStopped)
        text += "\n" + QString::fromStdString(job->failure);
    if (job->rateUsed != 0 && job->rateUsed != job->rateAsked) text += "\n" + QString::fromStdString(job->rateText);
    return text;
}

RunRecord MakeDialogRecord(const std::string& program, int slot, const std::string& port, const BurnBatch& batch,
                           uint32_t code, double seconds, const BurnJob* job, const RunWho& who,
                           const std::string& logPath, const std::string& portError) {
    RunDetails details;
    details.job = job;
    details.portError = portError;
    details.operatorName = who.operatorName;
    details.lot = who.lot;
    details.logPath = logPath;
    return MakeRunRecord(program, slot, port, batch, code, seconds, details);
}

std::unique_ptr<RunLogFile> OpenRunLog(const std::string& path) {
    if (path.empty()) return nullptr;
    // The dialogs make the records' folder as they append (a first run has none yet).
    QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
    auto log = std::make_unique<RunLogFile>(path);
    if (!log->Error().empty()) return nullptr;
    return log;
}

ChosenImage NoteImage(const QString& path) {
    BurnBatch batch = PrepareImages(path.toStdString());
    ChosenImage chosen{path, batch.loadResult == image::kLoaded ? batch.image->size : 0, batch.imageSha256};
    ReleaseImages(batch);
    return chosen;
}

QString ImageChangeProblem(const ChosenImage& chosen, const BurnBatch& batch) {
    const QString again = "No module was flashed; choose the image again.\n" + chosen.path;
    if (batch.loadResult != image::kLoaded)
        return "The image cannot be read since it was chosen: " +
               QString::fromStdString(ImageLoadText(batch.loadResult)) + ". " + again;
    if (batch.image->size != chosen.size || batch.imageSha256 != chosen.sha256)
        return QString("The image changed since it was chosen (%1 bytes then, %2 now; SHA-256 %3 then, %4 now). ")
                   .arg(chosen.size)
                   .arg(batch.image->size)
                   .arg(QString::fromStdString(chosen.sha256.substr(0, 12)),
                        QString::fromStdString(batch.imageSha256.substr(0, 12))) +
               again;
    return {};
}

QString RememberedImage(const QString& program) { return QSettings(program, program).value("image").toString(); }

void RememberImage(const QString& program, const QString& path) {
    QSettings(program, program).setValue("image", path);
}

QString DefaultRecordFile(const QString& program) {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(base).filePath(program + "/runs.csv");
}

RecordFileChoice::RecordFileChoice(const QString& program)
    : m_program(program),
      m_path(QSettings(program, program).value("recordFile", DefaultRecordFile(program)).toString()) {}

QString RecordFileChoice::Path() const {
    std::lock_guard lock(m_mutex);
    return m_path;
}

void RecordFileChoice::Set(const QString& path) {
    {
        std::lock_guard lock(m_mutex);
        m_path = path;
    }
    QSettings(m_program, m_program).setValue("recordFile", path);
}

QString RecordFileChoice::Append(const RunRecord& record, QString* notice) const {
    const QString path = Path();
    QDir().mkpath(QFileInfo(path).absolutePath());
    std::string why, done;
    const bool appended = AppendRunRecord(path.toStdString(), record, why, done);
    if (notice) *notice = QString::fromStdString(done);
    if (appended) return {};
    return QString("Cannot append the run record to %1: %2").arg(path, QString::fromStdString(why));
}

std::string RecordFileChoice::RunLogPathFor(int slot, const std::string& port) const {
    return RunLogPath(Path().toStdString(), std::time(nullptr), slot, port);
}

RecordFileRow::RecordFileRow(const QString& program, QWidget* parent)
    : QWidget(parent), m_choice(program), m_path(new ElidedLabel(this)) {
    m_path->setObjectName("recordFile");
    // A long path must not widen the window: the label shows what fits, the tooltip the rest.
    auto* button = new QPushButton("Record...", this);
    button->setObjectName("recordButton");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel("Record:", this));
    row->addWidget(m_path, 1);
    row->addWidget(button);
    Show(m_choice.Path());
    connect(button, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, "Record", m_choice.Path(), "CSV (*.csv);;All files (*)",
                                                          nullptr, QFileDialog::DontConfirmOverwrite);
        if (path.isEmpty()) return;
        m_choice.Set(path);
        Show(path);
    });
}

void RecordFileRow::Show(const QString& path) {
    m_path->SetFullText(path, "Every run is recorded in this file (CSV):\n" + path);
}

RunLogButton::RunLogButton(QWidget* parent) : QPushButton("Log", parent) {
    setEnabled(false);
    setToolTip("The last run's steps on the line");
    connect(this, &QPushButton::clicked, this, [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(m_path)); });
}

void RunLogButton::SetPath(const QString& path) {
    m_path = path;
    setEnabled(!path.isEmpty());
    setToolTip(path.isEmpty() ? QString("The last run's steps on the line") : path);
}

bool StopRunsToClose(INotifier& notifier, QWidget* dialog, const QString& title, const QString& question,
                     const std::function<void()>& stop, const std::function<bool()>& busy) {
    if (!notifier.Ask(dialog, title, question)) return false;
    stop();
    for (int i = 0; i < 500 && busy(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return true;
}
