// The monitor's main frame: the connection bar (port, baud rate, Connect/DisConnect,
// "Clean All", GPD, "NTRIP", the capture choice), the area of the seven child windows,
// tiled whenever the area changes size, and the status bar. It owns the live link, the
// capture log and the corrections line the NTRIP window sends through.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <thread>

#include "monitor/control/GpdTransfer.h"
#include "monitor/link/BaudHunt.h"
#include "monitor/link/CaptureLog.h"
#include "monitor/link/CorrectionsFeed.h"
#include "monitor/link/LineReturn.h"
#include "monitor/link/LineTraffic.h"
#include "monitor/link/LinkStatistics.h"
#include "monitor/link/NmeaThread.h"
#include "monitor/windows/WindowRegistry.h"
#include "monitor/windows/WindowTypes.h"
#include "platform/serial/CancelEvent.h"

class CNtripDlg;
class CReplayBar;
class QComboBox;
class QLabel;
class QMdiArea;
class QPushButton;
class QTimer;
class QToolBar;
class INotifier;

// The live link's messages: each to its window, and the module's GGA to the corrections
// line as well, for the caster.
class LiveSink : public ILinkSink {
public:
    LiveSink(RegistrySink& windows, CorrectionsLine& line) : m_windows(windows), m_line(line) {}
    void Post(const LinkMessage& message) override;

private:
    RegistrySink& m_windows;
    CorrectionsLine& m_line;
};

// The baud list's last entry, "Auto": the rate is found at Connect (BaudHunt). As the
// starting rate: that entry chosen.
inline constexpr int kAutoBaud = -2;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    CMainFrame(INotifier& notifier, WindowRegistry& registry, const QStringList& extraPorts, int baud);
    ~CMainFrame() override;

    QMdiArea& MdiArea() { return *m_mdi; }
    // The live link, null while disconnected: whatever sends to the module reads it.
    CNmeaThread* ActiveLink() const { return m_activeLink.get(); }
    HomeRect HomeRectFor(WindowType type) const;
    void Tile();

    // The bar's and status bar's parts, for the tests.
    QPushButton& ConnectButton() { return *m_connect; }
    QComboBox& PortList() { return *m_ports; }
    QComboBox& BaudList() { return *m_bauds; }
    QString StatusText(int pane) const;
    // The link's counts and byte rate as the status bar shows them, read every
    // kStatisticsMs from the live link or the replay's; after DisConnect the last ones.
    static constexpr int kStatisticsMs = 500;
    LinkStatus CurrentLinkStatus() const { return m_linkStatus; }
    QString StatisticsText() const;
    void ReadStatistics();

    // A text in the status bar's last pane that stops nothing.
    void Notice(const QString& text);
    // Where a pulled adapter's stable name is looked up (tests use a scratch folder),
    // and how the rate is hunted for ("Auto").
    void SetByIdDir(std::string dir) { m_byIdDir = std::move(dir); }
    void SetHuntSettings(HuntSettings settings) { m_huntSettings = std::move(settings); }
    bool Hunting() const { return m_hunting; }

    void ConnectOrDisconnect();
    void CleanAll();
    // GPD: load a file (its path goes to the status bar), and send it off the window's
    // thread, block by block in the status bar; the outcome is shown when it ends. While
    // it runs the Send button is "Cancel", and the upload holds the line: nothing else
    // writes to the module until it is back in NMEA.
    void OpenGpd();
    void LoadGpd(const QString& path);
    void SendGpdFile();
    void CancelGpd();
    bool GpdRunning() const { return m_gpdRunning; }
    QPushButton& GpdSendButton() { return *m_gpdSend; }

    // "NTRIP": corrections from a caster for the module on the open link; one window,
    // made at its first opening.
    CNtripDlg& OpenNtrip();
    QPushButton& NtripButton() { return *m_ntrip; }
    CorrectionsLine& Corrections() { return m_corrections; }

    // The capture log's folder for the next connections (relative to the working
    // folder, "LOG" by default), or no capture; both remembered. A folder that cannot be
    // written is refused in words (returned, and told) and the last choice kept.
    QString ChooseCaptureFolder(const QString& folder);
    void SetCaptureOff(bool off);
    QString CaptureFolder() const { return QString::fromStdString(m_captureLog.Directory()); }
    bool CaptureOff() const { return m_captureOff; }
    QPushButton& CaptureButton() { return *m_capture; }

    // Replay of a capture log while disconnected: every window as if the module were
    // connected; commands still want a port.
    void OpenReplay();
    bool StartReplay(const QString& path, double speed);
    void StopReplay();
    CReplayBar& ReplayBar() { return *m_replayBar; }
    QPushButton& ReplayButton() { return *m_replay; }

signals:
    // A window opened on demand (the bar's "Satellites" and "Console"): the application
    // opens it, or brings it to the front.
    void windowWanted(WindowType type);

protected:
    // The area is watched, not the frame: a bar shown or hidden resizes it alone.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* BuildBar();
    void BuildStatusBar();
    void Connect();
    void ConnectAt(const std::string& device, int baud);
    void Disconnect();
    void ShowDisconnected();
    // A lost line is told at once, then its device waited for and opened again.
    void WatchLine();
    // A capture log that cannot be written is told once per connection, as it happens.
    void WatchCapture();
    // Whether the opened line talks NMEA: a reopened line is "reconnected" only once it
    // does, and bytes without one good sentence are most likely a wrong baud rate.
    void WatchTraffic();
    void StartTraffic() { m_traffic.Start(m_activeLink->BytesReceived(), m_activeLink->Dispatcher().GoodSentences()); }
    // The windows' titles say when they show what came before a lost line.
    void MarkStale(bool stale);
    QWidget* BuildCaptureButton();
    void ShowCaptureChoice();
    void AskCaptureFolder();
    void StartHunt(const std::string& device);
    void EndHunt(unsigned run, const std::string& device, const HuntOutcome& outcome);

    INotifier& m_notifier;
    WindowRegistry& m_registry;
    RegistrySink m_sink;
    CorrectionsLine m_corrections;  // outlives the links it is attached to
    LiveSink m_liveSink{m_sink, m_corrections};
    QMdiArea* m_mdi;
    QComboBox* m_ports = nullptr;
    QComboBox* m_bauds = nullptr;
    QPushButton* m_connect = nullptr;
    std::array<QLabel*, 6> m_panes{};
    QLabel* m_statistics = nullptr;  // the link's counts, at the status bar's right end
    QTimer* m_statisticsTimer;
    LinkStatus m_linkStatus;
    ByteRate m_byteRate;
    const CNmeaThread* m_countedLink = nullptr;  // whose counts m_byteRate holds
    QStringList m_portPaths;  // the devices behind the port list, in its order
    int m_selectedPort = -1;  // index into m_portPaths
    int m_selectedBaud = -1;
    bool m_autoBaud = false;  // "Auto" chosen: Connect hunts for the rate
    CaptureLog m_captureLog;  // every connection's bytes; outlives the link that writes it
    bool m_captureOff = false;   // the next connection is not captured
    bool m_capturing = false;    // this connection is
    QPushButton* m_capture = nullptr;
    QPushButton* m_ntrip = nullptr;
    CNtripDlg* m_ntripDlg = nullptr;
    std::unique_ptr<CNmeaThread> m_activeLink;
    QTimer* m_lineWatch;  // a pulled cable is told, and waited for, while connected
    std::optional<LineReturn> m_return;  // where the connected device is looked for
    bool m_waiting = false;              // the line was lost; its device is not open
    bool m_captureWarned = false;        // this connection's capture failure was told
    LineTraffic m_traffic;
    bool m_stale = false;                // lost, or reopened with no NMEA since
    std::string m_byIdDir = serial::kSerialByIdDir;
    HuntSettings m_huntSettings;
    std::thread m_huntThread;
    serial::CancelEvent m_huntCancel;  // DisConnect ends a hunt at once
    bool m_hunting = false;
    unsigned m_huntRun = 0;  // an ended hunt's late report is known by its number
    QPushButton* m_gpdSend = nullptr;
    QPushButton* m_replay = nullptr;
    CReplayBar* m_replayBar = nullptr;
    QToolBar* m_replayToolBar = nullptr;
    GpdImage m_gpd;
    std::thread m_gpdThread;
    bool m_gpdRunning = false;
    std::atomic<bool> m_gpdCancel{false};
};
