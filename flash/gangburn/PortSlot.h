// One of the production dialog's four port slots: its port list, bar, speed, time,
// indicator and result, its worker, and the port it opens for each batch.
#pragma once

#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>

#include "BurnWorker.h"
#include "Procedure.h"

class QComboBox;
class QGridLayout;
class QLabel;
class QProgressBar;

namespace gangburn {

// A circle: an outline while idle, filled red after a failure, green after a success.
// The colour stays through repaints until the next batch clears it.
class Indicator : public QWidget {
public:
    enum class Look { Idle, Failed, Succeeded };
    explicit Indicator(QWidget* parent);
    void SetLook(Look look);
    Look CurrentLook() const { return m_look; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Look m_look = Look::Idle;
};

class PortSlot {
public:
    // What the dialog shares with every slot: set in the GUI thread before the slots are
    // released, read by the workers during the batch.
    struct Batch {
        const BurnBatch* records = nullptr;
        FlashLineSettings line;
        std::function<void(const QString&)> showMessage;  // posts to the GUI thread
        std::function<void(std::function<void()>)> post;   // runs work in the GUI thread
        uint32_t attempts = 1000;
        uint32_t passes = 10;
        WaitFn wait = SleepMs;
    };

    PortSlot(int index, QWidget* dialog, QGridLayout* grid, int row, const QStringList& ports, Batch& batch);
    ~PortSlot();

    void ResetForBatch();  // GUI thread, before Release
    void Release();        // GUI thread
    void Tick();           // GUI thread, once a second while the batch runs
    bool Busy() const { return m_pending.load() || m_running.load(); }
    void SetListEnabled(bool enabled);
    QComboBox* PortList() const { return m_list; }
    Indicator* Light() const { return m_indicator; }
    QLabel* ResultText() const { return m_result; }
    QProgressBar* Bar() const { return m_bar; }
    bool PortOpen() const { return m_portOpen.load(); }

private:
    void WorkerRun();
    void ShowProgress();

    int m_index;
    QWidget* m_dialog;
    Batch& m_batch;
    QComboBox* m_list;
    QProgressBar* m_bar;
    QLabel* m_speed;
    QLabel* m_time;
    Indicator* m_indicator;
    QLabel* m_result;

    std::string m_device;  // set at Release, read by the worker
    std::unique_ptr<serial::SerialPort> m_port;
    std::atomic<bool> m_portOpen{false};
    BurnCounters m_counters;
    std::atomic<bool> m_pending{false};  // released, not yet running or given up
    std::atomic<bool> m_running{false};
    std::unique_ptr<BurnWorker> m_worker;
};

}  // namespace gangburn
