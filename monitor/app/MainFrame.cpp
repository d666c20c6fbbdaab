#include "monitor/app/MainFrame.h"

#include <QComboBox>
#include <QDateTime>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryFile>
#include <QTimer>
#include <QToolBar>
#include <algorithm>

#include "monitor/app/ReplayBar.h"
#include "monitor/control/AckDecoder.h"
#include "monitor/link/CaptureLog.h"
#include "monitor/windows/ChildFrame.h"
#include "monitor/windows/NtripDlg.h"
#include "platform/notifier/Notifier.h"
#include "platform/process/ProcessPriority.h"
#include "platform/serial/PortList.h"

namespace {

constexpr const char* kConnect = "Connect";
constexpr const char* kDisConnect = "DisConnect";
constexpr const char* kConnectedText = "  Connected <<--->>";
constexpr const char* kDisconnectedText = "  DisConnect <- x ->";
constexpr const char* kReplay = "Replay";
constexpr const char* kStopReplay = "Stop Replay";
constexpr const char* kReplayingText = "  Replay >>--->>";
constexpr const char* kReplayEndText = "  Replay end";
constexpr const char* kLostText = "  Line lost <- x ->";
constexpr const char* kWaitingText = "  Waiting <- ? ->";
constexpr const char* kHuntingText = "  Finding rate <- ? ->";
constexpr const char* kCaptureFailedText = "  Connected, capture failing";
constexpr const char* kReopenedText = "  Reopened, stale <- ? ->";
constexpr const char* kNoNmeaText = "  Connected, no NMEA <- ? ->";
constexpr const char* kStaleMark = " (stale)";
constexpr const char* kAuto = "Auto";
constexpr const char* kSendGpd = "Send";
constexpr const char* kCancelGpd = "Cancel";
constexpr const char* kDefaultCaptureFolder = "LOG";
constexpr const char* kCaptureFolderKey = "capture/folder";
constexpr const char* kCaptureOffKey = "capture/off";
// The bar fits a 1024-pixel screen: the button names the folder's last part, cut to this,
// and its tool tip the whole path.
constexpr int kCaptureButtonChars = 14;
constexpr int kBaudCount = static_cast<int>(std::size(kBaudRateTable));
// A pulled adapter is looked for this often, and told at once: a user who pulls a cable
// looks at the status bar straight away.
constexpr int kLineWatchMs = 250;

struct PaneRow {
    const char* text;
    int width;  // at least, whatever the text
    bool border;
    bool whole;  // never narrower than its text; the others give way when room is short
    int least;   // how far one that gives way goes (less for a shorter text)
};
// Port, its name, connection state, GPD caption, GPD file, and an empty last pane.
// The GPD file's pane gives way before the notice's, which keeps room for a sentence
// beside the link's counts.
constexpr PaneRow kPanes[] = {{"COM : ", 40, false, true, 0},        {"   ", 40, true, true, 0},
                              {kDisconnectedText, 150, false, true, 0}, {"GPD File : ", 50, false, true, 0},
                              {" ", 600, true, false, 40},              {"", 0, false, false, 320}};

// A status pane that asks for its row's width, or its text's when that is wider: a
// capture's name or "Finding rate" is shown whole rather than cut by its neighbours.
class PaneLabel : public QLabel {
public:
    explicit PaneLabel(const PaneRow& row) : QLabel(row.text), m_row(row) {
        setSizePolicy(row.whole ? QSizePolicy::Minimum : QSizePolicy::Preferred, QSizePolicy::Preferred);
        if (row.border) setFrameStyle(QFrame::Panel | QFrame::Sunken);
    }
    QSize sizeHint() const override {
        const QSize s = QLabel::sizeHint();
        return {std::max(s.width(), m_row.width), s.height()};
    }
    QSize minimumSizeHint() const override {
        const QSize s = QLabel::minimumSizeHint();
        return m_row.whole ? sizeHint() : QSize(std::min(s.width(), m_row.least), s.height());
    }

private:
    const PaneRow& m_row;
};

// Why capture logs cannot go into `folder`, or empty: it is made when missing and a file
// is made in it and removed, as the capture will.
QString CaptureFolderProblem(const QString& folder) {
    if (folder.trimmed().isEmpty()) return "no folder given";
    if (!QDir().mkpath(folder)) return "the folder cannot be made";
    QTemporaryFile probe(folder + "/.capture-XXXXXX");
    if (!probe.open()) return "no file can be written in it (" + probe.errorString() + ")";
    return {};
}

}  // namespace

void LiveSink::Post(const LinkMessage& message) {
    if (message.number == msg::kGga)
        if (const auto* gga = std::get_if<GgaRecord>(&message.payload)) m_line.StoreFix(*gga);
    m_windows.Post(message);
}

CMainFrame::CMainFrame(INotifier& notifier, WindowRegistry& registry, const QStringList& extraPorts, int baud)
    : m_notifier(notifier), m_registry(registry), m_sink(registry), m_mdi(new QMdiArea),
      m_statisticsTimer(new QTimer(this)), m_lineWatch(new QTimer(this)) {
    m_lineWatch->setInterval(kLineWatchMs);
    connect(m_lineWatch, &QTimer::timeout, this, &CMainFrame::WatchLine);
    setWindowTitle("skyLedger");
    std::vector<std::string> extra;
    for (const QString& p : extraPorts) extra.push_back(p.toStdString());
    for (const std::string& port : serial::ListPorts(extra)) m_portPaths << QString::fromStdString(port);
    auto* bar = new QToolBar;
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->addWidget(BuildBar());
    addToolBar(Qt::TopToolBarArea, bar);
    m_replayBar = new CReplayBar(m_notifier, &m_sink, ModuleReplyDecoders());
    connect(m_replayBar, &CReplayBar::sought, this, [this] {
        CleanAll();
        m_panes[2]->setText(kReplayingText);
    });
    connect(m_replayBar, &CReplayBar::notice, this, &CMainFrame::Notice);
    connect(m_replayBar, &CReplayBar::finished, this, [this] { m_panes[2]->setText(kReplayEndText); });
    connect(m_replayBar, &CReplayBar::failed, this, [this](const QString& text) {
        m_panes[2]->setText(kReplayEndText);
        Notice(text);
    });
    addToolBarBreak();
    m_replayToolBar = new QToolBar;
    m_replayToolBar->setMovable(false);
    m_replayToolBar->setFloatable(false);
    m_replayToolBar->addWidget(m_replayBar);
    addToolBar(Qt::TopToolBarArea, m_replayToolBar);
    m_replayToolBar->hide();
    setCentralWidget(m_mdi);
    m_mdi->installEventFilter(this);
    BuildStatusBar();
    m_statisticsTimer->setInterval(kStatisticsMs);
    connect(m_statisticsTimer, &QTimer::timeout, this, &CMainFrame::ReadStatistics);
    m_statisticsTimer->start();
    // The lists' first entries are current before anyone listens: take the starting
    // choices explicitly rather than from a change signal that may never come.
    if (!extraPorts.isEmpty()) m_ports->setCurrentIndex(static_cast<int>(m_portPaths.indexOf(extraPorts.front())));
    m_selectedPort = m_ports->currentIndex();
    const auto* rate = std::find(std::begin(kBaudRateTable), std::end(kBaudRateTable), baud);
    m_bauds->setCurrentIndex(baud == kAutoBaud ? kBaudCount
                             : rate != std::end(kBaudRateTable) ? static_cast<int>(rate - std::begin(kBaudRateTable))
                                                                : 1);
    m_autoBaud = m_bauds->currentIndex() == kBaudCount;
    m_selectedBaud = kBaudRateTable[m_autoBaud ? 1 : m_bauds->currentIndex()];
    const QSettings settings;
    m_captureLog.SetDirectory(settings.value(kCaptureFolderKey, kDefaultCaptureFolder).toString().toStdString());
    m_captureOff = settings.value(kCaptureOffKey, false).toBool();
    ShowCaptureChoice();
}

CMainFrame::~CMainFrame() {
    delete m_ntripDlg;  // its threads use the corrections line, which goes before the children
    m_corrections.Attach(nullptr);
    m_replayBar->Stop();
    m_huntCancel.Set();
    if (m_huntThread.joinable()) m_huntThread.join();
    m_gpdCancel = true;
    if (m_gpdThread.joinable()) m_gpdThread.join();
    if (m_activeLink) m_activeLink->Shutdown();
}

void CMainFrame::OpenGpd() {
    const QString path = QFileDialog::getOpenFileName(this, {}, {}, "DAT File(*.dat);;GPD File(*.gpd)");
    if (!path.isEmpty()) LoadGpd(path);
}

void CMainFrame::LoadGpd(const QString& path) {
    m_panes[4]->setText(path);
    const std::string refusal = LoadGpdImage(path.toStdString(), m_gpd);
    if (!refusal.empty()) m_notifier.Show(this, "skyLedger", QString::fromStdString(refusal));
}

// The transfer waits up to about 2 s for each reply: on a thread of its own, so that the
// windows go on showing the receiver meanwhile. The link stays as it is until it ends
// (the Connect button is off), and is held by the upload: the panel's commands and a
// TTFF series wait, as the module would take their bytes for a damaged packet.
void CMainFrame::SendGpdFile() {
    if (m_gpdRunning) return CancelGpd();
    if (!m_activeLink) return m_notifier.Show(this, "Error", "Please open the COM port before send GPD");
    if (!m_gpd.loaded) return m_notifier.Show(this, "Error", "Please open the GPD file before send");
    if (m_gpdThread.joinable()) m_gpdThread.join();
    CNmeaThread* link = m_activeLink.get();
    const unsigned hold = link->HoldLine();
    if (hold == 0) return m_notifier.Show(this, "Error", "The line is held by another upload");
    m_gpdRunning = true;
    m_gpdCancel = false;
    m_gpdSend->setText(kCancelGpd);
    m_connect->setEnabled(false);
    BinaryReply* reply = &link->Dispatcher().Reply();
    const auto cancelled = [this] { return m_gpdCancel.load(); };
    GpdLine line{[link, hold](const CommandBytes& bytes) { link->SendBytes(bytes.data(), bytes.size(), hold); }, reply,
                 [reply, cancelled](BinaryReply::Flag flag) { return AckWait(*reply, flag, cancelled); }};
    line.progress = [this](int block, int blocks) {
        PostToWindowThread(this, [this, block, blocks] { Notice(QString("GPD block %1 of %2").arg(block).arg(blocks)); });
    };
    line.cancelled = cancelled;
    m_gpdThread = std::thread([this, line, link, hold, image = m_gpd, baud = static_cast<uint32_t>(m_selectedBaud)] {
        const GpdOutcome outcome = SendGpd(image, baud, line);
        link->ReleaseLine(hold);
        PostToWindowThread(this, [this, outcome] {
            m_gpdRunning = false;
            m_gpdSend->setText(kSendGpd);
            m_gpdSend->setEnabled(false);  // until the message is closed
            Notice(QString::fromStdString(outcome.message));
            m_notifier.Show(this, outcome.success ? "Success" : "Error", QString::fromStdString(outcome.message));
            m_gpdSend->setEnabled(true);
            m_connect->setEnabled(true);
        });
    });
}

// The upload stops at its next packet or within a poll of its wait, and sends the module
// back to NMEA; its message then says where it stopped.
void CMainFrame::CancelGpd() {
    if (!m_gpdRunning) return;
    m_gpdCancel = true;
    m_gpdSend->setEnabled(false);
    Notice("GPD upload: cancelling");
}

QWidget* CMainFrame::BuildBar() {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(4, 2, 4, 2);
    m_ports = new QComboBox;
    m_ports->setMinimumContentsLength(10);
    for (const QString& path : m_portPaths) m_ports->addItem(QString::fromStdString(serial::DeviceShortName(path.toStdString())));
    m_ports->setCurrentIndex(-1);
    m_bauds = new QComboBox;
    for (int rate : kBaudRateTable) m_bauds->addItem(QString::number(rate));
    m_bauds->addItem(kAuto);
    connect(m_ports, &QComboBox::currentIndexChanged, this, [this](int index) { m_selectedPort = index; });
    connect(m_bauds, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_autoBaud = index == kBaudCount;
        if (index >= 0 && index < kBaudCount) m_selectedBaud = kBaudRateTable[index];
    });
    m_connect = new QPushButton(kConnect);
    m_connect->setDefault(true);
    connect(m_connect, &QPushButton::clicked, this, &CMainFrame::ConnectOrDisconnect);
    auto* cleanAll = new QPushButton("Clean All");
    connect(cleanAll, &QPushButton::clicked, this, &CMainFrame::CleanAll);
    auto* open = new QPushButton("Open");
    auto* send = m_gpdSend = new QPushButton(kSendGpd);
    connect(open, &QPushButton::clicked, this, &CMainFrame::OpenGpd);
    connect(send, &QPushButton::clicked, this, &CMainFrame::SendGpdFile);
    layout->addWidget(new QLabel("COM :"));
    layout->addWidget(m_ports);
    layout->addWidget(new QLabel("BAUDRATE :"));
    layout->addWidget(m_bauds);
    layout->addWidget(m_connect);
    layout->addWidget(cleanAll);
    m_replay = new QPushButton(kReplay);
    m_replay->setToolTip("Play a capture log through every window");
    connect(m_replay, &QPushButton::clicked, this, [this] {
        if (m_replayBar->Active()) StopReplay();
        else OpenReplay();
    });
    layout->addWidget(m_replay);
    layout->addWidget(new QLabel("GPD :"));
    layout->addWidget(open);
    layout->addWidget(send);
    m_ntrip = new QPushButton("NTRIP");
    m_ntrip->setToolTip("Corrections from an NTRIP caster for the module");
    connect(m_ntrip, &QPushButton::clicked, this, [this] { OpenNtrip(); });
    layout->addWidget(m_ntrip);
    layout->addWidget(BuildCaptureButton());
    layout->addSpacing(12);
    for (WindowType type : {WindowType::SatelliteTable, WindowType::Console}) {
        auto* open = new QPushButton(MonitorWindowOf(type).title);
        open->setToolTip(QString("Open the %1 window").arg(MonitorWindowOf(type).title));
        connect(open, &QPushButton::clicked, this, [this, type] { emit windowWanted(type); });
        layout->addWidget(open);
    }
    layout->addStretch();
    return row;
}

void CMainFrame::BuildStatusBar() {
    for (std::size_t i = 0; i < m_panes.size(); ++i) {
        m_panes[i] = new PaneLabel(kPanes[i]);
        statusBar()->addWidget(m_panes[i], i + 1 == m_panes.size() ? 1 : 0);
    }
    m_statistics = new QLabel;
    m_statistics->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    statusBar()->addPermanentWidget(m_statistics);
    ReadStatistics();
}

QString CMainFrame::StatisticsText() const { return m_statistics->text(); }

// A new link counts from 0: its rate is measured afresh. Without a link the last counts
// stay, at no bytes a second.
void CMainFrame::ReadStatistics() {
    const CNmeaThread* link = m_activeLink ? m_activeLink.get() : m_replayBar->Link();
    if (link != m_countedLink) m_byteRate.Reset();
    m_countedLink = link;
    if (link) {
        m_linkStatus.counts = link->Statistics();
        m_byteRate.Sample(m_linkStatus.counts.bytes, QDateTime::currentMSecsSinceEpoch());
        m_linkStatus.open = m_activeLink ? m_activeLink->IsConnected() : true;
        m_linkStatus.bytesPerSecond = m_linkStatus.open ? m_byteRate.PerSecond() : 0;
    } else {
        m_linkStatus.open = false;
        m_linkStatus.bytesPerSecond = 0;
    }
    m_statistics->setText(QString::fromStdString(ShortStatisticsText(m_linkStatus)));
    m_statistics->setToolTip(QString("%1; dropped: %2")
                                 .arg(QString::fromStdString(::StatisticsText(m_linkStatus)),
                                      QString::fromStdString(DroppedText(m_linkStatus.counts))));
}

void CMainFrame::Notice(const QString& text) {
    m_panes[5]->setText(text);
    m_panes[5]->setToolTip(text);  // a long one is cut at the window's edge
}

QString CMainFrame::StatusText(int pane) const { return m_panes[static_cast<std::size_t>(pane)]->text(); }

void CMainFrame::ConnectOrDisconnect() {
    if (m_connect->text() == kConnect) Connect();
    else if (m_connect->text() == kDisConnect) Disconnect();
}

void CMainFrame::Connect() {
    if (m_selectedPort < 0) return m_notifier.Show(this, "skyLedger", "COM port not select!");
    if (m_selectedBaud < 0) return m_notifier.Show(this, "skyLedger", "BaudRate not select!");
    const std::string device = m_portPaths[m_selectedPort].toStdString();
    if (m_autoBaud) return StartHunt(device);
    ConnectAt(device, m_selectedBaud);
}

void CMainFrame::ConnectAt(const std::string& device, int baud) {
    m_capturing = !m_captureOff;
    m_activeLink = std::make_unique<CNmeaThread>(device, static_cast<uint32_t>(baud), &m_liveSink,
                                                 m_capturing ? &m_captureLog : nullptr, ModuleReplyDecoders());
    m_activeLink->EnableConsole();
    m_activeLink->Start();
    if (!m_activeLink->Connect()) {
        m_notifier.Show(nullptr, "Error", QString::fromStdString(m_activeLink->OpenErrorText()));
        m_activeLink->Shutdown();
        m_activeLink.reset();
        return ShowDisconnected();
    }
    m_replay->setEnabled(false);
    m_capture->setEnabled(false);
    m_corrections.Attach(m_activeLink.get());
    if (m_ntripDlg) m_ntripDlg->LineChanged();
    m_return.emplace(device, m_byIdDir);
    m_waiting = false;
    m_captureWarned = false;
    StartTraffic();
    platform::RaiseProcessPriority();  // a refusal leaves it normal; the link works either way
    m_panes[5]->clear();  // a notice of an earlier connection
    m_lineWatch->start();
    CleanAll();
    m_connect->setText(kDisConnect);
    m_ports->setEnabled(false);
    m_bauds->setEnabled(false);
    m_panes[1]->setText(QString::fromStdString(serial::DeviceShortName(device)));
    m_panes[2]->setText(kConnectedText);
}

void CMainFrame::Disconnect() {
    m_lineWatch->stop();
    if (m_hunting) {
        m_hunting = false;
        m_huntCancel.Set();
        if (m_huntThread.joinable()) m_huntThread.join();
        Notice("baud rate search stopped");
    }
    if (m_activeLink) {
        m_corrections.Attach(nullptr);  // waits for a frame being written
        m_activeLink->Shutdown();
        m_activeLink.reset();
    }
    if (m_ntripDlg) m_ntripDlg->LineChanged();
    if (m_waiting && m_return) Notice(QString("stopped waiting for %1").arg(QString::fromStdString(m_return->Device())));
    m_waiting = false;
    MarkStale(false);
    m_return.reset();
    platform::RestoreProcessPriority();
    ShowDisconnected();
}

void CMainFrame::ShowDisconnected() {
    m_panes[2]->setText(kDisconnectedText);
    m_ports->setEnabled(true);
    m_bauds->setEnabled(true);
    m_replay->setEnabled(true);
    m_capture->setEnabled(true);
    m_connect->setText(kConnect);
}

void CMainFrame::OpenReplay() {
    const QString path =
        QFileDialog::getOpenFileName(this, "Replay a capture", "LOG", "Capture log (*.log *.nmea *.txt);;All files (*)");
    if (!path.isEmpty()) StartReplay(path, 1);
}

bool CMainFrame::StartReplay(const QString& path, double speed) {
    if (m_activeLink || m_hunting) {
        m_notifier.Show(this, "skyLedger", "DisConnect before replaying a capture");
        return false;
    }
    CleanAll();
    m_panes[5]->clear();  // a notice of an earlier connection or replay
    if (!m_replayBar->Start(path, speed)) return false;
    m_replayToolBar->show();
    m_replay->setText(kStopReplay);
    m_connect->setEnabled(false);
    m_ports->setEnabled(false);
    m_bauds->setEnabled(false);
    m_panes[1]->setText(QFileInfo(path).fileName());
    m_panes[2]->setText(kReplayingText);
    return true;
}

void CMainFrame::StopReplay() {
    m_replayBar->Stop();
    m_replayToolBar->hide();
    m_replay->setText(kReplay);
    m_connect->setEnabled(true);
    m_panes[1]->setText("   ");
    ShowDisconnected();
}

// Lost: the device is closed at once, so that it can go and come back, and the link
// with its windows waits. Every tick then looks for the device where it may be now and
// opens it when it is there, at the same rate, with a new capture log.
void CMainFrame::WatchLine() {
    if (!m_activeLink || !m_return) return;
    WatchCapture();
    const QString device = QString::fromStdString(m_activeLink->DeviceName());
    if (!m_waiting) {
        const LineLoss loss = m_activeLink->LineLost();
        if (!loss.IsLost()) return WatchTraffic();
        m_activeLink->Disconnect();
        m_waiting = true;
        MarkStale(true);
        m_panes[2]->setText(kLostText);
        Notice(QString("line lost on %1: %2; waiting for it to come back")
                   .arg(device, QString::fromStdString(loss.words)));
        return;
    }
    const std::string where = m_return->WhereNow();
    if (where.empty() || !m_activeLink->Reconnect(where)) {
        m_panes[2]->setText(kWaitingText);
        return;
    }
    m_waiting = false;
    m_captureWarned = false;  // the new connection has a capture of its own
    StartTraffic();
    // An adapter back under another name is the port from now on, in the list too.
    const QString path = QString::fromStdString(where);
    if (!m_portPaths.contains(path)) {
        m_portPaths << path;
        m_ports->addItem(QString::fromStdString(serial::DeviceShortName(where)));
    }
    m_ports->setCurrentIndex(static_cast<int>(m_portPaths.indexOf(path)));
    m_panes[1]->setText(QString::fromStdString(serial::DeviceShortName(where)));
    m_panes[2]->setText(kReopenedText);
    Notice(QString("%1 is open again; waiting for NMEA from it").arg(path));
}

// An adapter can come back before the module behind it talks again (or with another
// module behind it): until a good sentence arrives, what the windows show is not live.
void CMainFrame::WatchTraffic() {
    const uint64_t bytes = m_activeLink->BytesReceived();
    const LineTraffic::Change change = m_traffic.Look(bytes, m_activeLink->Dispatcher().GoodSentences());
    if (change == LineTraffic::Change::kNoNmea) {
        m_panes[2]->setText(kNoNmeaText);
        return Notice(QString("%1 bytes from %2 at %3 baud but no NMEA sentence: the baud rate may be wrong; "
                              "DisConnect and choose Auto to find it")
                          .arg(m_traffic.BytesSinceStart(bytes))
                          .arg(QString::fromStdString(m_activeLink->DeviceName()))
                          .arg(m_activeLink->BaudRate()));
    }
    if (change == LineTraffic::Change::kNone || (change == LineTraffic::Change::kFirstNmea && !m_stale)) return;
    m_panes[2]->setText(kConnectedText);
    if (!m_stale) return;
    MarkStale(false);
    Notice(QString("reconnected to %1; %2")
               .arg(QString::fromStdString(m_activeLink->DeviceName()),
                    m_capturing ? "capturing to " + QString::fromStdString(m_captureLog.FilePath())
                                : QString("capture off")));
}

void CMainFrame::MarkStale(bool stale) {
    m_stale = stale;
    for (WindowType type : ClearOrder())
        if (QMdiSubWindow* frame = m_registry.Frame(type))
            frame->setWindowTitle(QString(MonitorWindowOf(type).title) + (stale ? kStaleMark : ""));
}

// Receiving goes on without the file; the user must not take the capture for whole.
void CMainFrame::WatchCapture() {
    if (m_captureWarned || m_waiting || !m_capturing) return;
    const CaptureLog& log = m_captureLog;
    const std::string error = log.ErrorText();
    if (error.empty()) return;
    m_captureWarned = true;  // before the warning: the timer goes on while it is open
    m_panes[2]->setText(kCaptureFailedText);
    Notice(QString::fromStdString(error));
    const uint64_t lost = log.BytesLost();
    const QString missing = lost > 0 ? QString("%1 received bytes are missing from it so far").arg(lost)
                                     : QString("no received byte is missing from it yet");
    m_notifier.WarnWithoutWaiting(this, "skyLedger",
                                  QString("%1\n%2; receiving goes on, the capture is not whole.")
                                      .arg(QString::fromStdString(error), missing));
}

// The hunt opens the device itself and listens at each rate for up to a second and a
// half: on a thread of its own, telling each rate it tries, so the windows go on and
// DisConnect can end it.
void CMainFrame::StartHunt(const std::string& device) {
    m_hunting = true;
    m_replay->setEnabled(false);
    const unsigned run = ++m_huntRun;
    m_huntCancel.Reset();
    m_connect->setText(kDisConnect);
    m_ports->setEnabled(false);
    m_bauds->setEnabled(false);
    m_panes[1]->setText(QString::fromStdString(serial::DeviceShortName(device)));
    m_panes[2]->setText(kHuntingText);
    m_huntThread = std::thread([this, run, device, settings = m_huntSettings] {
        const HuntOutcome outcome = HuntBaudRate(device, settings, &m_huntCancel, [this, run](uint32_t rate) {
            PostToWindowThread(this, [this, run, rate] {
                if (m_hunting && run == m_huntRun) Notice(QString("trying %1 ...").arg(rate));
            });
        });
        PostToWindowThread(this, [this, run, device, outcome] { EndHunt(run, device, outcome); });
    });
}

void CMainFrame::EndHunt(unsigned run, const std::string& device, const HuntOutcome& outcome) {
    if (!m_hunting || run != m_huntRun) return;  // DisConnect ended it already
    m_hunting = false;
    if (m_huntThread.joinable()) m_huntThread.join();
    if (!outcome.error.empty()) {
        ShowDisconnected();
        return m_notifier.Show(nullptr, "Error", QString::fromStdString(outcome.error));
    }
    if (outcome.baudRate == 0) {
        const QString silent = QString::fromStdString(NoNmeaText(device));
        Notice(silent);
        ShowDisconnected();
        return m_notifier.Show(this, "skyLedger", silent);
    }
    const auto* rate = std::find(std::begin(kBaudRateTable), std::end(kBaudRateTable), static_cast<int>(outcome.baudRate));
    if (rate != std::end(kBaudRateTable))
        m_bauds->setCurrentIndex(static_cast<int>(rate - std::begin(kBaudRateTable)));  // the list shows the rate found
    m_selectedBaud = static_cast<int>(outcome.baudRate);
    ConnectAt(device, static_cast<int>(outcome.baudRate));
    if (m_activeLink) Notice(QString("found %1").arg(outcome.baudRate));
}

// Synchronous, in the clear order: each window is empty before Connect goes on.
void CMainFrame::CleanAll() {
    for (WindowType type : ClearOrder()) {
        if (QWidget* view = m_registry.View(type)) {
            QEvent clear(static_cast<QEvent::Type>(MonitorWindowOf(type).clearMessage));
            QCoreApplication::sendEvent(view, &clear);
        }
    }
}

HomeRect CMainFrame::HomeRectFor(WindowType type) const {
    return HomeRectOf(type, m_mdi->width(), m_mdi->height());
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_mdi && event->type() == QEvent::Resize) Tile();
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::Tile() {
    for (WindowType type : ClearOrder()) {
        auto* frame = qobject_cast<CChildFrame*>(m_registry.Frame(type));
        if (!frame || MonitorWindowOf(type).onDemand) continue;  // it floats where it was put
        if (frame->IsMaximised()) continue;  // it covers the whole area already
        const HomeRect r = HomeRectFor(type);
        frame->setGeometry(r.left, r.top, r.width, r.height);
    }
}

CNtripDlg& CMainFrame::OpenNtrip() {
    if (!m_ntripDlg) m_ntripDlg = new CNtripDlg(m_notifier, m_corrections, this);
    m_ntripDlg->LineChanged();
    m_ntripDlg->show();
    m_ntripDlg->raise();
    m_ntripDlg->activateWindow();
    return *m_ntripDlg;
}

// The choice is made while disconnected: a connection keeps the capture it began with.
QWidget* CMainFrame::BuildCaptureButton() {
    m_capture = new QPushButton;
    auto* menu = new QMenu(m_capture);
    menu->addAction("Capture folder...", this, &CMainFrame::AskCaptureFolder);
    menu->addAction(QString("Default folder (%1)").arg(kDefaultCaptureFolder), this,
                    [this] { ChooseCaptureFolder(kDefaultCaptureFolder); });
    menu->addSeparator();
    QAction* off = menu->addAction("Capture off");
    off->setCheckable(true);
    connect(off, &QAction::toggled, this, &CMainFrame::SetCaptureOff);
    connect(menu, &QMenu::aboutToShow, this, [this, off] { off->setChecked(m_captureOff); });
    m_capture->setMenu(menu);
    return m_capture;
}

void CMainFrame::AskCaptureFolder() {
    const QString folder = QFileDialog::getExistingDirectory(this, "Capture log folder", CaptureFolder());
    if (!folder.isEmpty()) ChooseCaptureFolder(folder);
}

QString CMainFrame::ChooseCaptureFolder(const QString& folder) {
    if (const QString problem = CaptureFolderProblem(folder); !problem.isEmpty()) {
        const QString text = QString("Cannot write capture logs into %1: %2. They stay in %3.")
                                 .arg(folder, problem, m_captureOff ? QString("(capture off)") : CaptureFolder());
        m_notifier.Warn(this, "skyLedger", text);
        return text;
    }
    m_captureLog.SetDirectory(folder.toStdString());
    m_captureOff = false;
    QSettings settings;
    settings.setValue(kCaptureFolderKey, folder);
    settings.setValue(kCaptureOffKey, false);
    ShowCaptureChoice();
    return {};
}

void CMainFrame::SetCaptureOff(bool off) {
    m_captureOff = off;
    QSettings().setValue(kCaptureOffKey, off);
    ShowCaptureChoice();
}

void CMainFrame::ShowCaptureChoice() {
    const QString folder = CaptureFolder();
    const QString last = QFileInfo(folder).fileName().isEmpty() ? folder : QFileInfo(folder).fileName();
    const QString shown = last.size() > kCaptureButtonChars ? last.left(kCaptureButtonChars - 3) + "..." : last;
    m_capture->setText(m_captureOff ? QString("Capture: off") : "Capture: " + shown);
    m_capture->setToolTip(m_captureOff ? QString("No capture log is written") : "Capture logs go to " + folder);
}
