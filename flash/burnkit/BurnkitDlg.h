// Burnkit's one window: line settings and port, image choice, Burn with progress,
// throughput and time, the result in its colour and a message with it.
#pragma once

#include <QDialog>
#include <QTimer>
#include <atomic>
#include <memory>

#include "flash/core/Procedure.h"
#include "flash/frontend/BurnWorker.h"
#include "flash/frontend/FlashSettingsBox.h"
#include "flash/frontend/RunSetup.h"
#include "flash/frontend/UiQueue.h"
#include "platform/notifier/Notifier.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace burnkit {

class CBurnkitDlg : public QDialog {
public:
    CBurnkitDlg(INotifier& notifier, const QStringList& extraPorts, QWidget* parent = nullptr);
    ~CBurnkitDlg() override;

    void SetRunParameters(const RunParameters& p) { m_parameters = p; }
    bool Running() const { return m_running.load(); }
    bool PortOpen() const { return m_port != nullptr; }
    RecordFileChoice& RecordFile() { return m_record->Choice(); }
    QLabel* ResultText() const { return m_result; }
    QString OperatorName() const { return m_settings->OperatorName(); }
    QString Lot() const { return m_settings->Lot(); }

    void OnOpenClosePort();
    void OnChooseImage();                  // the file dialog, then ChooseImage
    void ChooseImage(const QString& path);
    void OnBurn();
    // Ends the run at its next wait; the result reads "Stopped".
    void OnStop();

    void reject() override;  // Esc: asks first while a module is being flashed

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Asks before a running module is left; true when the window may go.
    bool MayClose();
    void ClosePort();
    void WorkerRun();  // in the worker thread
    void ShowProgress();
    void OnTick();

    INotifier& m_notifier;
    FlashSettingsBox* m_settings;
    QPushButton* m_portButton;
    QLineEdit* m_imagePath;
    QPushButton* m_openImage;
    QProgressBar* m_bar;
    QPushButton* m_burn;
    QPushButton* m_stop;
    QLabel* m_speed;
    QLabel* m_time;
    QLabel* m_result;
    RunLogButton* m_log;
    RecordFileRow* m_record;
    QTimer m_timer;
    UiQueue* m_ui;

    std::unique_ptr<serial::SerialPort> m_port;
    std::unique_ptr<SerialPortLine> m_line;
    ChosenImage m_image;        // the chosen image as it was then
    std::unique_ptr<BurnBatch> m_runBatch;  // read at Burn, handed to the worker
    std::string m_runPort;
    RunWho m_runWho;  // read at Burn, for the worker's record
    RunParameters m_parameters;
    BurnCounters m_counters;
    ThroughputMeter m_meter;
    serial::CancelEvent m_cancel;
    TProgram m_program;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_workerBusy{false};  // in BurnImage
    bool m_closing = false;  // the result of a run stopped by closing is shown to nobody
    std::unique_ptr<BurnWorker> m_worker;  // last: it stops before the rest goes
};

}  // namespace burnkit
