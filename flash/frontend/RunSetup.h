// What the two flashing dialogs do alike for a run: show its speed, check an image when
// the user chooses it, keep its record.
#pragma once

#include <QPushButton>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "flash/core/Procedure.h"
#include "flash/core/RunLog.h"
#include "flash/core/RunRecord.h"
#include "flash/frontend/FlashSettingsBox.h"
#include "flash/records/RecordStore.h"
#include "platform/notifier/Notifier.h"
#include "platform/serial/CancelEvent.h"

class ElidedLabel;
class QLabel;

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

// Where `program` keeps its run records unless the user chose another place: an SQLite
// file in the user's data directory.
QString DefaultRecordFile(const QString& program);
// A line's station keeps every record in its own SQLite file too, and queues there what
// the line's database has not got yet. One file for every program on the station
// (burnkit-cli's default too): it numbers the station's records, so two programs never
// give two records the same identity.
QString LineStationFile(const QString& program);

// Where a dialog's runs are recorded: a file (SQLite, or CSV for a name ending in .csv)
// or a line's postgresql:// URL; the last one chosen (kept in the program's settings),
// else the default.
class RecordFileChoice {
public:
    explicit RecordFileChoice(const QString& program);
    QString Path() const;           // the destination: a file's path or a URL
    void Set(const QString& path);  // kept for the next start
    // Any thread: keeps the record of a finished run; empty, or the reason it failed
    // naming the destination. `notice` (when given) gets what was done to a CSV file on
    // the way, such as older records set aside.
    QString Append(const RunRecord& record, QString* notice = nullptr) const;
    // Any thread: where a run's step log goes, beside the records (a line's station: its
    // own file).
    std::string RunLogPathFor(int slot, const std::string& port) const;
    // What the store has to say on screen: a line's station queueing its records.
    records::StoreState State() const;
    QString StationFile() const { return LineStationFile(m_program); }
    const QString& Program() const { return m_program; }

private:
    QString m_program;
    mutable std::mutex m_mutex;  // the destination and its store: the GUI may change it while workers append
    QString m_path;
    mutable std::unique_ptr<records::RecordStore> m_store;  // opened at the first record
};

// "Record: <destination> [File...] [Line...]": where the dialog's runs are recorded, the
// buttons that pick another file (appended to, never replaced) or a line's database,
// and below them, while a line's station cannot reach its server, how many records wait.
class RecordFileRow : public QWidget {
public:
    RecordFileRow(const QString& program, QWidget* parent);
    RecordFileChoice& Choice() { return m_choice; }
    // The destination and the queue's line, refreshed each second by the row itself.
    void ShowState();

private:
    void Show(const QString& path);

    RecordFileChoice m_choice;
    ElidedLabel* m_path;
    QLabel* m_queue;
    QString m_shown;  // the destination the label shows (the choice may be set elsewhere)
};

// A run's result for a message box: the result text, and for a failure its meaning on
// the next line; with the finished job, the failing step in words and a rate other than
// the one asked for.
QString ResultMessage(uint32_t code, const BurnJob* job = nullptr);

// Who ran a batch, taken from the settings when it starts: the workers read these, never
// the fields.
struct RunWho {
    std::string operatorName;
    std::string lot;
};

// The record of a dialog's run, with the job's details (null: the port did not open, or
// went away, for `portError`), who ran it and its step log.
RunRecord MakeDialogRecord(const std::string& program, int slot, const std::string& port, const BurnBatch& batch,
                           uint32_t code, double seconds, const BurnJob* job, const RunWho& who,
                           const std::string& logPath, const std::string& portError = {});

// "Log": opens the last run's step log with the desktop's viewer; greyed while there is
// none.
class RunLogButton : public QPushButton {
public:
    explicit RunLogButton(QWidget* parent);
    void SetPath(const QString& path);  // GUI thread; empty: no log
    const QString& Path() const { return m_path; }

private:
    QString m_path;
};

// Closing either dialog (or Esc) while modules are flashed: asks `question` first; on yes
// calls `stop` and waits until `busy` says the workers are back (every wait of a run ends
// on its cancel event, so well within the 5 s allowed). False when the user keeps the run.
bool StopRunsToClose(INotifier& notifier, QWidget* dialog, const QString& title, const QString& question,
                     const std::function<void()>& stop, const std::function<bool()>& busy);

// Opens the step log of a run (null when it cannot be made: the run goes on without it).
std::unique_ptr<RunLogFile> OpenRunLog(const std::string& path);
