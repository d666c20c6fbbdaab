// One of the production dialog's four port slots: its port list, bar, speed, time,
// indicator and result, its worker, and the port it opens for each batch. In Auto a slot
// outlives its port: a port that goes away (or is not there yet) is told as "port lost"
// and polled for until it opens again.
#pragma once

#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>

#include "flash/core/Procedure.h"
#include "flash/frontend/BurnWorker.h"
#include "flash/frontend/ElidedText.h"
#include "flash/frontend/ResultLook.h"
#include "flash/frontend/RunSetup.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QProgressBar;
class QPushButton;

namespace gangburn {

// A circle: an outline while idle or waiting, filled in the outcome's colour after a run
// (green, red, amber for a stop, violet for a lost port). The colour stays through
// repaints until the next batch clears it.
class Indicator : public QWidget {
public:
    enum class Look { Idle, Failed, Succeeded, Stopped, PortLost };
    explicit Indicator(QWidget* parent);
    void SetLook(Look look);
    void Show(Outcome outcome);
    Look CurrentLook() const { return m_look; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Look m_look = Look::Idle;
    QColor m_fill;
};

class PortSlot {
public:
    // What the dialog shares with every slot: set in the GUI thread before the slots are
    // released, read by the workers during the batch.
    struct Batch {
        const BurnBatch* records = nullptr;
        FlashLineSettings line;
        std::function<void(int slot, const QString&)> showMessage;  // a failure, posted to the GUI thread
        std::function<void(std::function<void()>)> post;   // runs work in the GUI thread
        RunParameters parameters;
        // Any thread: appends a run's record; empty, or why it could not.
        std::function<QString(int slot, const RunRecord&)> record;
        // Any thread: where a run's step log goes.
        std::function<std::string(int slot, const std::string& port)> logPath;
        RunWho who;
        std::function<void(uint32_t result)> counted;  // GUI thread, once per run
    };

    PortSlot(int index, QWidget* dialog, QGridLayout* grid, int row, const QStringList& ports, Batch& batch);
    ~PortSlot();

    void ResetForBatch();  // GUI thread, before Release
    void ClearResult();    // GUI thread: the slot shows no outcome
    void Stop();           // GUI thread: the run (or the wait for the port) ends as "Stopped"
    bool WorkerBusy() const { return m_workerBusy.load(); }
    void Release();        // GUI thread
    void Tick();           // GUI thread, once a second while the batch runs
    bool Busy() const { return m_pending.load() || m_running.load() || m_waitingForPort; }
    bool WaitingForPort() const { return m_waitingForPort; }
    // The last batch's run of this slot failed (a port that would not open or was lost
    // included); GUI thread.
    bool FailedLast() const { return m_failedLast; }
    bool AutoRun() const { return m_auto; }
    bool HasPort() const { return !m_list->currentText().isEmpty(); }
    void SetListEnabled(bool enabled);
    QComboBox* PortList() const { return m_list; }
    Indicator* Light() const { return m_indicator; }
    QLabel* ResultText() const { return m_result; }
    ElidedLabel* LastResult() const { return m_last; }  // the previous module's, while waiting
    QProgressBar* Bar() const { return m_bar; }
    QPushButton* StopButton() const { return m_stop; }
    QCheckBox* AutoBox() const { return m_autoBox; }
    RunLogButton* LogButton() const { return m_log; }
    bool PortOpen() const { return m_portOpen.load(); }

private:
    void WorkerRun();
    bool OpenPort();     // worker: false after telling why
    void RunAuto(BurnJob& job);  // worker: module after module until stopped or the port goes
    void ShowProgress();
    void ShowResult(uint32_t result, const QString& detail);
    void Show(Outcome outcome, const QString& detail);
    void ShowWaiting();  // GUI thread: the module was taken out; its result goes small
    // Worker: the port went away (the adapter pulled): recorded, told, waited for.
    void PortLost(const QString& why);
    void WaitForPort();   // GUI thread: polls until the device is back and opens
    void PollPort();
    bool PortGone() const;  // worker: the device path no longer leads to a device
    // Worker: one module, told and recorded; `lost` when the port went during it.
    uint32_t RunModule(BurnJob& job, bool& lost);
    // Worker: the record of a run, or of a port that would not open or went away (no
    // job, no log: why the port failed).
    void Record(uint32_t result, double seconds, const BurnJob& job, const std::string& logPath);
    void RecordPortFailure(const QString& why);
    void Append(const RunRecord& record);  // worker: a failure to write is told

    int m_index;
    QWidget* m_dialog;
    Batch& m_batch;
    QComboBox* m_list;
    QProgressBar* m_bar;
    QLabel* m_speed;
    QLabel* m_time;
    Indicator* m_indicator;
    QLabel* m_result;
    ElidedLabel* m_last;
    QPushButton* m_stop;
    RunLogButton* m_log;
    QCheckBox* m_autoBox;
    bool m_auto = false;  // set at Release, read by the worker
    bool m_waitingForPort = false;  // GUI thread
    bool m_failedLast = false;      // GUI thread
    QTimer m_portPoll;
    std::string m_device;  // set at Release, read by the worker
    std::unique_ptr<serial::SerialPort> m_port;
    std::atomic<bool> m_portOpen{false};
    BurnCounters m_counters;
    ThroughputMeter m_meter;
    serial::CancelEvent m_cancel;
    std::atomic<bool> m_workerBusy{false};  // released until the worker is done with the run
    std::atomic<bool> m_pending{false};  // released, not yet running or given up
    std::atomic<bool> m_running{false};
    std::unique_ptr<BurnWorker> m_worker;
};

}  // namespace gangburn
