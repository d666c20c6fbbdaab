#include "monitor/windows/NtripDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "platform/notifier/Notifier.h"
#include "platform/windowthread/WindowThread.h"

namespace {

constexpr const char* kGroup = "ntrip/";
constexpr int kDefaultPort = 2101;
constexpr int kDefaultGgaEveryS = 10;
constexpr int kMaxGgaEveryS = 3600;
const char* const kVersions[] = {"NTRIP 2.0", "NTRIP 1.0"};  // index 0 is version 2

QString Key(const char* name) { return QString(kGroup) + name; }

QString AgeWords(double ageS) { return ageS < 0 ? QString("none yet") : QString("%1 s").arg(ageS, 0, 'f', 1); }

QString BytesText(const rtcm::FramerCounts& c) {
    uint64_t bytes = 0;
    for (const auto& entry : c.types) bytes += entry.second.bytes;
    return QString("%1 in %2 frames").arg(bytes).arg(c.goodFrames);
}

QLabel* StatusLabel() {
    auto* label = new QLabel;
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

CNtripDlg::CNtripDlg(INotifier& notifier, CorrectionsLine& line, QWidget* parent)
    : QDialog(parent), m_notifier(notifier), m_line(line) {
    setWindowTitle("NTRIP");
    auto* columns = new QHBoxLayout;
    columns->addWidget(BuildSettings());
    columns->addWidget(BuildStatus(), 1);
    auto* close = new QPushButton("Close");
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_tableState = StatusLabel(), 1);
    bottom->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addLayout(bottom);
    Recall();
    SetRunning(false);
    ShowStatus(m_run, FeedStatus{{}, m_line.Attached()});
    resize(760, 440);
}

CNtripDlg::~CNtripDlg() {
    RetireFeed();
    for (Retiring& r : m_retiring) r.thread.join();
    if (m_tableThread.joinable()) m_tableThread.join();
}

// A feed may be in a connection attempt to a caster that does not answer: it is muted at
// once and stopped off the window thread, which goes on.
void CNtripDlg::RetireFeed() {
    std::erase_if(m_retiring, [](Retiring& r) {
        if (!r.done->load(std::memory_order_acquire)) return false;
        r.thread.join();
        return true;
    });
    if (!m_feed) return;
    m_feed->Mute();
    auto done = std::make_shared<std::atomic<bool>>(false);
    m_retiring.push_back({std::thread([feed = std::move(m_feed), done] {
                              feed->Stop();
                              done->store(true, std::memory_order_release);
                          }),
                          done});
    ++m_run;
}

QWidget* CNtripDlg::BuildSettings() {
    auto* box = new QGroupBox("Caster");
    auto* form = new QFormLayout(box);
    form->addRow("Caster:", m_caster = new QLineEdit);
    m_caster->setPlaceholderText("host name or address");
    m_port = new QSpinBox;
    m_port->setRange(1, 65535);
    form->addRow("Port:", m_port);
    m_mount = new QComboBox;
    m_mount->setEditable(true);
    m_mount->setMinimumContentsLength(12);
    m_getTable = new QPushButton("Get source table");
    connect(m_getTable, &QPushButton::clicked, this, &CNtripDlg::GetSourceTable);
    auto* mountRow = new QHBoxLayout;
    mountRow->addWidget(m_mount, 1);
    mountRow->addWidget(m_getTable);
    form->addRow("Mountpoint:", mountRow);
    form->addRow("User:", m_user = new QLineEdit);
    form->addRow("Password:", m_password = new QLineEdit);
    m_password->setEchoMode(QLineEdit::Password);
    m_remember = new QCheckBox("Remember password");
    m_remember->setToolTip("Kept in clear in the monitor's settings file; untick to forget it");
    form->addRow("", m_remember);
    m_version = new QComboBox;
    for (const char* v : kVersions) m_version->addItem(v);
    form->addRow("Version:", m_version);
    m_ggaEvery = new QSpinBox;
    m_ggaEvery->setRange(1, kMaxGgaEveryS);
    m_ggaEvery->setSuffix(" s");
    m_ggaEvery->setToolTip("The module's GGA goes to the caster this often when the mountpoint asks for it");
    form->addRow("GGA every:", m_ggaEvery);
    m_connect = new QPushButton("Connect");
    m_disconnect = new QPushButton("Disconnect");
    connect(m_connect, &QPushButton::clicked, this, &CNtripDlg::ConnectClicked);
    connect(m_disconnect, &QPushButton::clicked, this, &CNtripDlg::DisconnectClicked);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_connect);
    buttons->addWidget(m_disconnect);
    form->addRow(buttons);
    return box;
}

QWidget* CNtripDlg::BuildStatus() {
    auto* box = new QGroupBox("Corrections");
    auto* layout = new QVBoxLayout(box);
    auto* form = new QFormLayout;
    form->addRow("State:", m_state = StatusLabel());
    form->addRow("Serial link:", m_lineState = StatusLabel());
    form->addRow("Age of corrections:", m_age = StatusLabel());
    form->addRow("Received:", m_bytes = StatusLabel());
    form->addRow("Bad frames:", m_bad = StatusLabel());
    form->addRow("GGA to caster:", m_gga = StatusLabel());
    layout->addLayout(form);
    m_types = new QTableWidget(0, 3);
    m_types->setHorizontalHeaderLabels({"RTCM type", "Messages", "Bytes"});
    m_types->verticalHeader()->hide();
    m_types->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_types->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    layout->addWidget(m_types, 1);
    return box;
}

// Without "Remember password" no password stays on disk, one kept earlier included.
void CNtripDlg::Remember() const {
    QSettings settings;
    settings.setValue(Key("caster"), m_caster->text());
    settings.setValue(Key("port"), m_port->value());
    settings.setValue(Key("mountpoint"), m_mount->currentText());
    settings.setValue(Key("user"), m_user->text());
    settings.setValue(Key("version"), m_version->currentIndex() == 0 ? 2 : 1);
    settings.setValue(Key("ggaEveryS"), m_ggaEvery->value());
    settings.setValue(Key("rememberPassword"), m_remember->isChecked());
    if (m_remember->isChecked()) settings.setValue(Key("password"), m_password->text());
    else settings.remove(Key("password"));
}

void CNtripDlg::Recall() {
    const QSettings settings;
    m_caster->setText(settings.value(Key("caster"), "127.0.0.1").toString());
    m_port->setValue(settings.value(Key("port"), kDefaultPort).toInt());
    m_mount->setEditText(settings.value(Key("mountpoint")).toString());
    m_user->setText(settings.value(Key("user")).toString());
    m_version->setCurrentIndex(settings.value(Key("version"), 2).toInt() == 1 ? 1 : 0);
    m_ggaEvery->setValue(settings.value(Key("ggaEveryS"), kDefaultGgaEveryS).toInt());
    m_remember->setChecked(settings.value(Key("rememberPassword"), false).toBool());
    if (m_remember->isChecked()) m_password->setText(settings.value(Key("password")).toString());
}

ntrip::Settings CNtripDlg::SettingsFromFields() const {
    ntrip::Settings s;
    s.request.host = m_caster->text().trimmed().toStdString();
    s.request.port = static_cast<uint16_t>(m_port->value());
    s.request.mount = m_mount->currentText().trimmed().toStdString();
    if (!m_user->text().isEmpty()) s.request.user = (m_user->text() + ":" + m_password->text()).toStdString();
    s.request.version = m_version->currentIndex() == 0 ? 2 : 1;
    s.ggaEveryS = m_ggaEvery->value();
    return s;
}

void CNtripDlg::ConnectClicked() {
    const ntrip::Settings settings = SettingsFromFields();
    if (settings.request.host.empty()) return m_notifier.Warn(this, "NTRIP", "Enter the caster's host name or address");
    if (settings.request.mount.empty())
        return m_notifier.Warn(this, "NTRIP", "Choose a mountpoint (Get source table lists the caster's)");
    Remember();
    RetireFeed();
    const unsigned run = ++m_run;
    m_failureTold = false;
    m_feed = std::make_unique<CorrectionsFeed>(settings, m_line, [this, run](const FeedStatus& s) {
        PostToWindowThread(this, [this, run, s] { ShowStatus(run, s); });
    });
    m_feed->Start();
    SetRunning(true);
}

void CNtripDlg::DisconnectClicked() {
    if (!m_feed) return;
    FeedStatus last = m_feed->Snapshot();
    RetireFeed();
    last.client.state = ntrip::State::Stopped;
    ShowStatus(m_run, last);
    SetRunning(false);
}

void CNtripDlg::SetRunning(bool running) {
    m_connect->setEnabled(!running);
    m_disconnect->setEnabled(running);
    for (QWidget* field : std::initializer_list<QWidget*>{m_caster, m_port, m_mount, m_user, m_password, m_remember, m_version,
                                                          m_ggaEvery, m_getTable})
        field->setEnabled(!running);
}

// A refusal another try cannot mend ends the feed and is told once; everything else
// (a refused or dropped connection) is shown while the client tries again.
void CNtripDlg::ShowStatus(unsigned run, const FeedStatus& s) {
    if (run != m_run) return;
    m_last = s;
    QString state = QString::fromStdString(FeedStateText(s));
    if (s.client.state != ntrip::State::Connected && s.client.error == "connection refused")
        state += QString(" (no caster listens at %1:%2)").arg(m_caster->text().trimmed()).arg(m_port->value());
    m_state->setText(state);
    const std::string lineText = FeedLineText(s);
    m_lineState->setText(lineText.empty() ? QString("open, %1 frames sent to the module").arg(s.framesSent)
                                          : QString::fromStdString(lineText));
    m_lineState->setStyleSheet(s.lineOpen ? "" : "color: #b00000");
    m_age->setText(AgeWords(s.client.ageS));
    m_bytes->setText(BytesText(s.client.counts));
    m_bad->setText(QString::number(s.client.counts.badFrames) + " (counted, not sent)");
    m_gga->setText(s.client.state != ntrip::State::Connected ? QString("every %1 s when the mountpoint asks for it").arg(m_ggaEvery->value())
                   : s.client.sendingGga ? QString("every %1 s").arg(m_ggaEvery->value())
                                         : QString("not asked for by the mountpoint"));
    ShowTypes(s.client.counts);
    if (s.client.state == ntrip::State::Failed && !m_failureTold && m_feed) {
        m_failureTold = true;
        RetireFeed();  // its client has ended; its reporter goes too
        SetRunning(false);
        m_notifier.WarnWithoutWaiting(this, "NTRIP", QString::fromStdString(s.client.error));
    }
}

void CNtripDlg::ShowTypes(const rtcm::FramerCounts& counts) {
    m_types->setRowCount(static_cast<int>(counts.types.size()));
    int row = 0;
    for (const auto& [type, count] : counts.types) {
        const QString cells[] = {QString::number(type), QString::number(count.messages), QString::number(count.bytes)};
        for (int column = 0; column < 3; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_types->setItem(row, column, item);
        }
        ++row;
    }
}

// The caster may take seconds to answer: the table is fetched on a thread of its own and
// shown when it comes.
void CNtripDlg::GetSourceTable() {
    if (m_fetching) return;
    ntrip::Request request = SettingsFromFields().request;
    if (request.host.empty()) return m_notifier.Warn(this, "NTRIP", "Enter the caster's host name or address");
    if (m_tableThread.joinable()) m_tableThread.join();
    m_fetching = true;
    m_getTable->setEnabled(false);
    m_tableState->setText(QString("Asking %1:%2 for its source table ...")
                              .arg(QString::fromStdString(request.host)).arg(request.port));
    m_tableThread = std::thread([this, request] {
        std::string error;
        const auto table = ntrip::FetchSourceTable(request, error);
        PostToWindowThread(this, [this, list = table.value_or(std::vector<ntrip::MountPoint>{}),
                                  failure = QString::fromStdString(error)] { ShowTable(list, failure); });
    });
}

void CNtripDlg::ShowTable(const std::vector<ntrip::MountPoint>& table, const QString& error) {
    m_fetching = false;
    m_getTable->setEnabled(!m_feed);
    if (!error.isEmpty()) return m_tableState->setText("Source table: " + error);
    const QString typed = m_mount->currentText();
    m_mount->clear();
    QStringList names;
    for (const ntrip::MountPoint& m : table) {
        const QString name = QString::fromStdString(m.name);
        m_mount->addItem(name);
        m_mount->setItemData(m_mount->count() - 1,
                             QString::fromStdString(m.format) + (m.wantsNmea ? ", wants GGA" : ", no GGA"), Qt::ToolTipRole);
        names << name + " (" + QString::fromStdString(m.format) + (m.wantsNmea ? ", wants GGA)" : ")");
    }
    const int kept = m_mount->findText(typed);
    if (kept >= 0) m_mount->setCurrentIndex(kept);
    m_tableState->setText(table.empty() ? QString("Source table: no mountpoint")
                                        : QString("Source table: %1").arg(names.join(", ")));
}

void CNtripDlg::LineChanged() {
    if (m_feed) return;  // the feed's next status says it
    FeedStatus s = m_last;
    s.lineOpen = m_line.Attached();
    ShowStatus(m_run, s);
}

QString CNtripDlg::StateText() const { return m_state->text(); }
QString CNtripDlg::LineText() const { return m_lineState->text(); }
QString CNtripDlg::AgeText() const { return m_age->text(); }
QString CNtripDlg::BadFramesText() const { return m_bad->text(); }
QString CNtripDlg::TableText() const { return m_tableState->text(); }
