// What the two flashing dialogs do alike for a run: show its speed, check an image when
// the user chooses it, keep its record.
#pragma once

#include <QString>
#include <QWidget>
#include <mutex>

#include "CancelEvent.h"
#include "FlashSettingsBox.h"
#include "Procedure.h"
#include "RunRecord.h"

class ElidedLabel;

// The file dialog's filter: image names often have no dot.
inline constexpr const char* kImageFilter = "Img file (*.*);;All files (*)";

// The speed to show now: called on every progress report and every one-second tick, so
// the figure also falls while no bytes move.
QString SpeedText(const BurnCounters& counters, ThroughputMeter& meter);

// Empty when `path` can be flashed; otherwise why not ("not a regular file", ...).
QString ImageProblem(const QString& path);

// An image as it was when chosen: Burn flashes it only while the file still holds the
// same bytes, so an image rebuilt or deleted in between never reaches a module.
struct ChosenImage {
    QString path;
    uint64_t size = 0;
    std::string sha256;  // empty: nothing chosen
};

// Reads and hashes the image at `path` as PrepareImages does.
ChosenImage NoteImage(const QString& path);

// Empty when `batch`, read at Burn, holds the image as it was chosen; otherwise why not,
// for a warning that no module was flashed.
QString ImageChangeProblem(const ChosenImage& chosen, const BurnBatch& batch);

// The image `program` flashed last, kept between launches; empty when none.
QString RememberedImage(const QString& program);
void RememberImage(const QString& program, const QString& path);

// Where `program` keeps its run records unless the user chose another file: the user's
// data directory.
QString DefaultRecordFile(const QString& program);

// The record file a dialog shows and writes: the last one chosen (kept in the program's
// settings), else the default. Choosing asks for a file and keeps it.
class RecordFileChoice {
public:
    explicit RecordFileChoice(const QString& program);
    QString Path() const;
    void Set(const QString& path);  // kept for the next start
    // Any thread: appends the record of a finished run; empty, or the reason it failed
    // naming the file.
    QString Append(const RunRecord& record) const;

private:
    QString m_program;
    mutable std::mutex m_mutex;  // the path: the GUI may change it while workers append
    QString m_path;
};

// "Record: <path> [Record...]": where the dialog's runs are recorded, and the button that
// picks another file (appended to, never replaced; kept in the settings).
class RecordFileRow : public QWidget {
public:
    RecordFileRow(const QString& program, QWidget* parent);
    RecordFileChoice& Choice() { return m_choice; }

private:
    void Show(const QString& path);

    RecordFileChoice m_choice;
    ElidedLabel* m_path;
};

// A run's result for a message box: the result text, and for a failure its meaning on
// the next line.
QString ResultMessage(uint32_t code);
