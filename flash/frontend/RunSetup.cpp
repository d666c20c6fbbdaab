#include "RunSetup.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>

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
    if (code != burn::kSuccess && code != burn::kStopped) text += "\n" + QString::fromStdString(ResultMeaning(code));
    return text;
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
    : QWidget(parent), m_choice(program), m_path(new QLabel(this)) {
    m_path->setObjectName("recordFile");
    // A long path must not widen the window: the label shows what fits, the tooltip the rest.
    m_path->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
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
    m_path->setText(path);
    m_path->setToolTip("Every run is recorded in this file (CSV):\n" + path);
}
