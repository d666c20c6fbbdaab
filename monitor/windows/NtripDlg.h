// "NTRIP": corrections from a caster for the module on the open link. The caster, its
// mountpoint (picked from the source table or typed), user and password, the protocol
// version and how often the module's GGA goes back; Connect and Disconnect; the state,
// the age of the corrections, bad frames and the messages and bytes of each RTCM type.
// The caster, port, mountpoint and user are remembered; the password only when
// "Remember password" is ticked (then in clear, in the monitor's settings file).
#pragma once

#include <QDialog>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "monitor/link/CorrectionsFeed.h"

class INotifier;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

class CNtripDlg : public QDialog {
    Q_OBJECT
public:
    CNtripDlg(INotifier& notifier, CorrectionsLine& line, QWidget* parent);
    ~CNtripDlg() override;

    void ConnectClicked();
    void DisconnectClicked();
    void GetSourceTable();
    // The main window opened or closed the serial link.
    void LineChanged();
    bool Running() const { return m_feed != nullptr; }

    // For the tests.
    QLineEdit& Caster() { return *m_caster; }
    QSpinBox& Port() { return *m_port; }
    QComboBox& Mountpoint() { return *m_mount; }
    QLineEdit& User() { return *m_user; }
    QLineEdit& Password() { return *m_password; }
    QCheckBox& RememberPassword() { return *m_remember; }
    QComboBox& Version() { return *m_version; }
    QSpinBox& GgaEvery() { return *m_ggaEvery; }
    QPushButton& ConnectButton() { return *m_connect; }
    QPushButton& DisconnectButton() { return *m_disconnect; }
    QPushButton& TableButton() { return *m_getTable; }
    QTableWidget& Types() { return *m_types; }
    QString StateText() const;
    QString LineText() const;
    QString AgeText() const;
    QString BadFramesText() const;
    QString TableText() const;
    const FeedStatus& LastStatus() const { return m_last; }

private:
    QWidget* BuildSettings();
    QWidget* BuildStatus();
    void Remember() const;
    void Recall();
    ntrip::Settings SettingsFromFields() const;
    void ShowStatus(unsigned run, const FeedStatus& status);
    void ShowTypes(const rtcm::FramerCounts& counts);
    void ShowTable(const std::vector<ntrip::MountPoint>& table, const QString& error);
    void SetRunning(bool running);
    void RetireFeed();

    INotifier& m_notifier;
    CorrectionsLine& m_line;
    QLineEdit* m_caster;
    QSpinBox* m_port;
    QComboBox* m_mount;
    QPushButton* m_getTable;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QCheckBox* m_remember;
    QComboBox* m_version;
    QSpinBox* m_ggaEvery;
    QPushButton* m_connect;
    QPushButton* m_disconnect;
    QLabel* m_state;
    QLabel* m_lineState;
    QLabel* m_age;
    QLabel* m_bytes;
    QLabel* m_bad;
    QLabel* m_gga;
    QLabel* m_tableState;
    QTableWidget* m_types;
    std::unique_ptr<CorrectionsFeed> m_feed;
    struct Retiring {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<Retiring> m_retiring;  // muted feeds being stopped
    FeedStatus m_last;
    bool m_failureTold = false;
    unsigned m_run = 0;  // a stopped feed's late status is known by its number
    std::thread m_tableThread;  // the source table is fetched off the window thread
    bool m_fetching = false;
};
