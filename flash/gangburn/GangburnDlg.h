// Gangburn's one window: shared line settings and image, four port slots that flash in
// parallel, each ending green with "Success" or red with "Fail".
#pragma once

#include <QDialog>
#include <QTimer>
#include <array>
#include <memory>

#include "FlashSettingsBox.h"
#include "Notifier.h"
#include "PortSlot.h"
#include "UiQueue.h"

class QLineEdit;
class QPushButton;

namespace gangburn {

class CBurnkitDlg : public QDialog {
public:
    static constexpr int kSlots = 4;

    // `extraPorts` join every port list; the i-th is preselected in slot i.
    CBurnkitDlg(INotifier& notifier, const QStringList& extraPorts, QWidget* parent = nullptr);
    ~CBurnkitDlg() override;

    void SetRunParameters(const RunParameters& p);
    bool BatchRunning() const { return m_timer.isActive(); }
    PortSlot& Slot(int i) { return *m_slots[static_cast<std::size_t>(i)]; }

    void OnChooseImage();
    void ChooseImage(const QString& path);
    void OnBurn();
    void OnStopAll();  // every running slot ends at its next wait

    void reject() override;  // Esc: asks first while modules are being flashed

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool MayClose();  // asks before running modules are left
    void SetIdle(bool idle);
    void OnTick();

    INotifier& m_notifier;
    FlashSettingsBox* m_settings;
    QLineEdit* m_imagePath;
    QPushButton* m_openImage;
    QPushButton* m_burn;
    QPushButton* m_stopAll;
    QTimer m_timer;
    UiQueue* m_ui;
    QString m_image;
    std::unique_ptr<BurnBatch> m_records;
    PortSlot::Batch m_batch;
    std::array<std::unique_ptr<PortSlot>, kSlots> m_slots;
};

}  // namespace gangburn
