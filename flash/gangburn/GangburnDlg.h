// Gangburn's one window: shared line settings and image, four port slots that flash in
// parallel, each ending green with "Success" or red with "Fail"; a summary of each batch
// and "Retry failed" for the slots that failed in it.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <vector>
#include <memory>

#include "flash/frontend/FlashSettingsBox.h"
#include "flash/frontend/UiQueue.h"
#include "flash/gangburn/PortSlot.h"
#include "platform/notifier/Notifier.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace gangburn {

class CBurnkitDlg : public QDialog {
public:
    static constexpr int kDefaultSlots = 4, kMaxSlots = 16;

    // `extraPorts` join every port list; the i-th is preselected in slot i. `slotCount`: 1 to
    // 16 port slots.
    CBurnkitDlg(INotifier& notifier, const QStringList& extraPorts, QWidget* parent = nullptr,
                int slotCount = kDefaultSlots);
    ~CBurnkitDlg() override;

    void SetRunParameters(const RunParameters& p);
    bool BatchRunning() const { return m_timer.isActive(); }
    PortSlot& Slot(int i) { return *m_slots[static_cast<std::size_t>(i)]; }
    int SlotCount() const { return static_cast<int>(m_slots.size()); }
    RecordFileChoice& RecordFile() { return m_record->Choice(); }
    // The session's results: modules that passed and failed since the last reset.
    int Passed() const { return m_passed; }
    int Failed() const { return m_failed; }
    QString TallyText() const;
    QString SummaryText() const;  // the last batch's, once it is over
    QString OperatorName() const { return m_settings->OperatorName(); }
    QString Lot() const { return m_settings->Lot(); }
    void ResetTally();
    void Rescan();  // the port lists again, each slot keeping its choice

    void OnChooseImage();
    void ChooseImage(const QString& path);
    void OnBurn();
    void OnRetryFailed();  // the slots that failed in the last batch, Auto slots not
    void OnStopAll();  // every running slot ends at its next wait

    void reject() override;  // Esc: asks first while modules are being flashed

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool MayClose();  // asks before running modules are left
    QStringList PortEntries() const;
    // Reads and checks the image, then releases the slots `take` picks.
    void StartBatch(const std::function<bool(PortSlot&)>& take);
    void SetIdle(bool idle);
    void OnTick();
    void Count(uint32_t result);  // GUI thread, once per run

    INotifier& m_notifier;
    FlashSettingsBox* m_settings;
    QLineEdit* m_imagePath;
    QPushButton* m_openImage;
    QPushButton* m_burn;
    QPushButton* m_stopAll;
    QPushButton* m_rescan;
    QPushButton* m_retry;
    QLabel* m_tally;
    QLabel* m_summary;
    RecordFileRow* m_record;
    QStringList m_extraPorts;
    int m_passed = 0;
    int m_failed = 0;
    int m_batchPassed = 0;
    int m_batchFailed = 0;
    QElapsedTimer m_batchClock;
    QTimer m_timer;
    UiQueue* m_ui;
    ChosenImage m_image;
    std::unique_ptr<BurnBatch> m_records;
    PortSlot::Batch m_batch;
    std::vector<std::unique_ptr<PortSlot>> m_slots;
};

}  // namespace gangburn
