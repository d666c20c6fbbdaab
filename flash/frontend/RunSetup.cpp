#include "RunSetup.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>

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

QString ResultMessage(uint32_t code) {
    QString text = QString::fromStdString(ResultText(code));
    const std::string meaning = code == burn::kSuccess ? std::string() : ResultMeaning(code);
    // A stop says what it means only where the core gives more than the word itself.
    if (!meaning.empty() && (code != burn::kStopped || meaning != "stopped by the user"))
        text += "\n" + QString::fromStdString(meaning);
    return text;
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

QString RecordFileChoice::Append(const RunRecord& record) const {
    const QString path = Path();
    QDir().mkpath(QFileInfo(path).absolutePath());
    std::string why;
    if (AppendRunRecord(path.toStdString(), record, why)) return {};
    return QString("Cannot append the run record to %1: %2").arg(path, QString::fromStdString(why));
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
