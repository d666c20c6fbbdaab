// The monitor's main frame: the connection bar (port, baud rate, Connect/DisConnect,
// "Clean All", GPD), the area of the seven child windows, tiled on every resize, and the
// status bar. It owns the live link.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <array>
#include <memory>
#include <thread>

#include "GpdTransfer.h"
#include "NmeaThread.h"
#include "WindowRegistry.h"
#include "WindowTypes.h"

class CReplayBar;
class QComboBox;
class QLabel;
class QMdiArea;
class QPushButton;
class QTimer;
class QToolBar;
class INotifier;

inline constexpr int kBaudRateTable[] = {4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

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

    // A text in the status bar's last pane that stops nothing.
    void Notice(const QString& text);

    void ConnectOrDisconnect();
    void CleanAll();
    // GPD: load a file (its path goes to the status bar), and send it off the window's
    // thread; the outcome is shown when it ends.
    void OpenGpd();
    void LoadGpd(const QString& path);
    void SendGpdFile();
    QPushButton& GpdSendButton() { return *m_gpdSend; }

    // Replay of a capture log while disconnected: every window as if the module were
    // connected; commands still want a port.
    void OpenReplay();
    bool StartReplay(const QString& path, double speed);
    void StopReplay();
    CReplayBar& ReplayBar() { return *m_replayBar; }
    QPushButton& ReplayButton() { return *m_replay; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* BuildBar();
    void BuildStatusBar();
    void Connect();
    void Disconnect();

    INotifier& m_notifier;
    WindowRegistry& m_registry;
    RegistrySink m_sink;
    QMdiArea* m_mdi;
    QComboBox* m_ports = nullptr;
    QComboBox* m_bauds = nullptr;
    QPushButton* m_connect = nullptr;
    std::array<QLabel*, 6> m_panes{};
    QStringList m_portPaths;  // the devices behind the port list, in its order
    int m_selectedPort = -1;  // index into m_portPaths
    int m_selectedBaud = -1;
    std::unique_ptr<CNmeaThread> m_activeLink;
    QTimer* m_lineWatch;  // a pulled cable is told while connected
    QPushButton* m_gpdSend = nullptr;
    QPushButton* m_replay = nullptr;
    CReplayBar* m_replayBar = nullptr;
    QToolBar* m_replayToolBar = nullptr;
    GpdImage m_gpd;
    std::thread m_gpdThread;
};
