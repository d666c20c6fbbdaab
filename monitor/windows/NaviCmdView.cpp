#include "monitor/windows/NaviCmdView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "monitor/link/NmeaThread.h"
#include "monitor/windows/TtffSeriesDlg.h"
#include "monitor/windows/WindowRegistry.h"
#include "monitor/windows/WindowTypes.h"
#include "platform/notifier/Notifier.h"

namespace {

// How soon a running series notices a time-out, a lost line or a DisConnect.
constexpr int kSeriesTickMs = 250;
// Four digits and the arrows: the TTFF group stays as narrow as the module row above it.
constexpr int kSpinWidth = 52;

}  // namespace

CNaviCmdView::CNaviCmdView(INotifier& notifier, std::function<CNmeaThread*()> activeLink, QWidget* parent)
    : QWidget(parent), m_notifier(notifier), m_activeLink(std::move(activeLink)), m_clock(new QTimer(this)),
      m_seriesClock(new QTimer(this)) {
    setFont(QFont("Courier New", 8));
    m_left = BuildSendAndReceive();
    m_right = BuildModuleTtffAndMode();
    m_left->setParent(this);
    m_right->setParent(this);
    // Below this the columns would squeeze their controls together: the panel's scroll
    // area scrolls instead.
    const QSize left = m_left->minimumSizeHint(), right = m_right->minimumSizeHint();
    setMinimumSize(left.width() + kNaviColumnGap + right.width(), std::max(right.height(), left.height()));
    m_clock->setInterval(TtffMeasurement::kTickMs);
    connect(m_clock, &QTimer::timeout, this, &CNaviCmdView::Tick);
    m_seriesClock->setInterval(kSeriesTickMs);
    connect(m_seriesClock, &QTimer::timeout, this, &CNaviCmdView::SeriesTick);
    m_hostClock.start();
}

NaviColumns NaviColumnsFor(int w, int rightMinimum) {
    constexpr int kMargins = 12;
    int left = (2 * (w - kMargins)) / 3;
    if (w - left - kNaviColumnGap < rightMinimum) left = std::max(0, w - kNaviColumnGap - rightMinimum);
    return {left, left + kNaviColumnGap, std::max(0, w - left - kNaviColumnGap)};
}

void CNaviCmdView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const NaviColumns c = NaviColumnsFor(width(), m_right->minimumSizeHint().width());
    m_left->setGeometry(0, 0, c.leftWidth, height());
    m_right->setGeometry(c.rightX, 0, c.rightWidth, height());
}

QWidget* CNaviCmdView::BuildSendAndReceive() {
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* send = new QGroupBox("Send");
    auto* row = new QHBoxLayout(send);
    m_command = new QComboBox;
    m_command->setEditable(true);
    m_command->setInsertPolicy(QComboBox::NoInsert);
    m_command->addItems({"PZRC", "PMTK"});
    m_command->setCurrentIndex(0);
    auto* sendButton = new QPushButton("Send");
    connect(sendButton, &QPushButton::clicked, this, &CNaviCmdView::SendClicked);
    connect(m_command->lineEdit(), &QLineEdit::returnPressed, this, &CNaviCmdView::SendClicked);
    row->addWidget(new QLabel("$"));
    row->addWidget(m_command, 1);
    row->addWidget(sendButton);
    m_commandNote = new QLabel;
    m_commandNote->setWordWrap(true);
    auto* receive = new QGroupBox("Receive");
    auto* box = new QVBoxLayout(receive);
    m_receive = new QPlainTextEdit;
    m_receive->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The box is the history of replies: each is appended, and past this many lines the
    // oldest go, so a reply costs the same after a day as after a second. Emptied by the
    // user, it is empty.
    m_receive->setMaximumBlockCount(kReceiveLines);
    m_receive->setUndoRedoEnabled(false);
    box->addWidget(m_receive);
    layout->addWidget(send);
    layout->addWidget(m_commandNote);
    layout->addWidget(receive, 1);
    return column;
}

QWidget* CNaviCmdView::BuildModuleTtffAndMode() {
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* module = new QGroupBox("Module");
    auto* modules = new QHBoxLayout(module);
    for (const ModuleFamilyRow& row : ModuleFamilies())
        modules->addWidget(m_module.emplace_back(new QRadioButton(row.name)));
    m_module.front()->setChecked(true);
    // Galileo is offered to the families whose command carries it.
    for (QRadioButton* button : m_module)
        connect(button, &QRadioButton::toggled, this, [this] {
            m_galileo->setEnabled(Family() != ModuleFamily::Zr);
            if (!m_galileo->isEnabled()) m_galileo->setChecked(false);
        });
    auto* ttff = new QGroupBox("TTFF");
    auto* restarts = new QGridLayout(ttff);
    const std::pair<const char*, Restart> buttons[] = {
        {"Cold Start", Restart::Cold}, {"Warm Start", Restart::Warm}, {"Hot  Start", Restart::Hot}};
    int row = 0;
    for (const auto& [caption, restart] : buttons) {
        const int k = static_cast<int>(restart);
        auto* b = m_restartButton[k] = new QPushButton(caption);
        b->setFixedSize(80, 20);
        connect(b, &QPushButton::clicked, this, [this, r = restart] { RestartClicked(r); });
        // How many restarts of this kind in a row: 1 is one restart as ever.
        m_cycles[k] = new QSpinBox;
        m_cycles[k]->setRange(1, kMaxTtffCycles);
        m_cycles[k]->setFixedSize(kSpinWidth, 20);
        m_cycles[k]->setToolTip("cycles");
        restarts->addWidget(b, row, 0);
        restarts->addWidget(m_cycles[k], row++, 1);
    }
    m_timeout = new QSpinBox;
    m_timeout->setRange(1, 3600);
    m_timeout->setValue(static_cast<int>(kDefaultTtffTimeoutS));
    m_timeout->setFixedSize(kSpinWidth, 20);
    m_timeout->setToolTip("seconds each cycle may wait for a 3D fix");
    restarts->addWidget(new QLabel("Time-out s"), row, 0);
    restarts->addWidget(m_timeout, row++, 1);
    m_ttffBox = new QLineEdit;
    m_ttffBox->setReadOnly(true);
    m_ttffBox->setFixedSize(100, 20);
    m_ttffBox->setFont(QFont(QString::fromUtf8("黑体"), 18));
    restarts->addWidget(m_ttffBox, row, 0, 1, 2);
    auto* mode = new QGroupBox("Mode");
    // Two by two, with a narrow Set beside them: in a column they would need more height
    // than a tile of a 1280x800 screen has, and Set would only be seen by scrolling.
    auto* checks = new QGridLayout(mode);
    checks->addWidget(m_gps = new QCheckBox("GPS"), 0, 0);
    checks->addWidget(m_beidou = new QCheckBox("BeiDou"), 0, 1);
    checks->addWidget(m_glonass = new QCheckBox("Glonass"), 1, 0);
    checks->addWidget(m_galileo = new QCheckBox("Galileo"), 1, 1);
    m_galileo->setToolTip("MTK and UBX modules: the ZR command has no Galileo field");
    m_galileo->setEnabled(Family() != ModuleFamily::Zr);
    auto* set = new QPushButton("Set");
    connect(set, &QPushButton::clicked, this, &CNaviCmdView::SetClicked);
    set->setMaximumWidth(set->fontMetrics().horizontalAdvance("Set") + 24);  // beside the boxes, no wider
    checks->addWidget(set, 0, 2, 2, 1);
    layout->addWidget(module);
    layout->addWidget(ttff);
    layout->addWidget(mode);
    layout->addStretch();
    return column;
}

ModuleFamily CNaviCmdView::Family() const {
    const std::span<const ModuleFamilyRow> rows = ModuleFamilies();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (m_module[i]->isChecked()) return rows[i].family;
    return rows.front().family;
}

void CNaviCmdView::ChooseModule(ModuleFamily family) {
    const std::span<const ModuleFamilyRow> rows = ModuleFamilies();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].family == family) m_module[i]->setChecked(true);
}

void CNaviCmdView::ChooseConstellations(ConstellationChoice choice) {
    m_gps->setChecked(choice.gps);
    m_glonass->setChecked(choice.glonass);
    m_beidou->setChecked(choice.beidou);
    m_galileo->setChecked(choice.galileo);
}

// While a lost line is waited for, the link stays but its port is closed: a command
// would go nowhere, so it is refused in words rather than dropped. A held line is a GPD
// upload under way: the module reads only binary packets until it ends, so a command
// now would be lost and could spoil a block.
CNmeaThread* CNaviCmdView::LinkOrComplain() {
    CNmeaThread* link = m_activeLink();
    if (!link) {
        m_notifier.Show(this, "Error", "Please open the COM port before send CMD");
        return nullptr;
    }
    if (const LineLoss loss = link->LineLost(); loss.IsLost()) {
        m_notifier.Show(this, "Error",
                        QString("line lost (%1): the command was not sent; send it again once the line is back")
                            .arg(QString::fromStdString(loss.words)));
        return nullptr;
    }
    if (link->LineHeld())
        return m_notifier.Show(this, "Error", "A GPD upload is under way: send commands when it has ended"), nullptr;
    return link;
}

CNmeaThread* CNaviCmdView::LiveLink() const {
    CNmeaThread* link = m_activeLink();
    return link && !link->LineLost().IsLost() ? link : nullptr;
}

bool CNaviCmdView::Send(const CommandBytes& bytes) {
    CNmeaThread* link = m_activeLink();
    return link && link->SendBytes(bytes.data(), bytes.size());
}

void CNaviCmdView::RestartClicked(Restart restart) {
    CNmeaThread* link = LinkOrComplain();
    if (!link) return;
    const int cycles = m_cycles[static_cast<int>(restart)]->value();
    if (cycles > 1) {
        m_series = std::make_unique<TtffSeries>(restart, cycles, m_timeout->value());
        m_seriesLink = link;
        m_seriesFamily = Family();  // the module is the one chosen at the start, whatever is clicked later
        if (!m_seriesDlg) {
            m_seriesDlg = new CTtffSeriesDlg(m_notifier, this);
            connect(m_seriesDlg, &CTtffSeriesDlg::StopRequested, this, &CNaviCmdView::StopSeries);
        }
        for (int k = 0; k < 3; ++k) m_restartButton[k]->setEnabled(false), m_cycles[k]->setEnabled(false);
        m_timeout->setEnabled(false);
        m_seriesClock->start();
        m_seriesDlg->show();
        return BeginCycle();
    }
    Send(RestartCommand(Family(), restart));
    m_ttff.Rearm();
    m_clock->stop();
    m_ttffBox->clear();
}

// Each cycle restarts as a single restart does, the TTFF box counting it. While a GPD
// upload holds the line the cycle waits for it; the series clock begins it after.
void CNaviCmdView::BeginCycle() {
    m_cyclePending = !Send(RestartCommand(m_seriesFamily, m_series->Kind()));
    if (m_cyclePending)
        return ShowSeries(QString("cycle %1 of %2: waiting for the GPD upload to end")
                              .arg(m_series->Cycles().size() + 1)
                              .arg(m_series->Wanted()));
    m_ttff.Rearm();
    m_clock->stop();
    m_ttffBox->clear();
    m_series->BeginCycle(HostSeconds(), std::time(nullptr));
    ShowSeries(QString("cycle %1 of %2: waiting for 3D")
                   .arg(m_series->Cycles().size() + 1)
                   .arg(m_series->Wanted()));
}

void CNaviCmdView::SeriesTick() {
    if (!SeriesRunning()) return m_seriesClock->stop();
    CNmeaThread* link = m_activeLink();
    if (link != m_seriesLink) return EndSeries("Disconnected");
    if (m_cyclePending) return link->LineHeld() ? void() : BeginCycle();
    if (link->LineLost().IsLost()) return EndSeries(QString("line lost: %1").arg(link->LineLost().words.c_str()));
    if (m_series->CheckTimeout(HostSeconds())) CycleEnded();
}

// A cycle's end leaves in the TTFF box what the table holds: its time on the receiver's
// clock rather than the box's own count, or "time-out"; the box counts no further.
void CNaviCmdView::CycleEnded() {
    const TtffCycle& last = m_series->Cycles().back();
    m_clock->stop();
    m_ttff.Disarm();
    m_ttffBox->setText(QString::fromStdString(SecondsText(last) + (last.TimedOut() ? "" : " s")));
    if (m_series->Finished()) return EndSeries("Done");
    BeginCycle();
}

void CNaviCmdView::StopSeries() {
    if (SeriesRunning()) EndSeries("Stopped");
}

// `why` leads the status line, with how much of the series was measured.
void CNaviCmdView::EndSeries(const QString& why) {
    // A cycle cut short has no time: the box no longer counts it.
    if (m_series->CycleRunning()) {
        m_clock->stop();
        m_ttff.Disarm();
        m_ttffBox->clear();
    }
    m_series->Stop();
    m_cyclePending = false;
    m_seriesClock->stop();
    for (int k = 0; k < 3; ++k) m_restartButton[k]->setEnabled(true), m_cycles[k]->setEnabled(true);
    m_timeout->setEnabled(true);
    ShowSeries(QString("%1: %2 of %3 cycles measured").arg(why).arg(m_series->Cycles().size()).arg(m_series->Wanted()));
}

void CNaviCmdView::ShowSeries(const QString& status) {
    m_seriesDlg->Show(m_series->Cycles(), m_series->CycleRunning(), status);
}

void CNaviCmdView::SetClicked() {
    if (!LinkOrComplain()) return;
    const CommandOrRefusal c = ConstellationCommand(
        Family(), {m_gps->isChecked(), m_glonass->isChecked(), m_beidou->isChecked(), m_galileo->isChecked()});
    if (!c.refusal.empty()) return m_notifier.Show(this, "skyLedger", QString::fromStdString(c.refusal));
    Send(c.bytes);
}

void CNaviCmdView::SendClicked() {
    if (!LinkOrComplain()) return;
    const QString typed = m_command->currentText();
    const CommandOrRefusal c = FreeCommand(typed.toStdString());
    if (!c.refusal.empty()) return m_notifier.Show(this, "Error", QString::fromStdString(c.refusal));
    if (c.bytes.empty()) return;
    Send(c.bytes);
    m_commandNote->setText(QString::fromStdString(c.note));
    // As typed, duplicates kept; the two prefilled entries stay first, the oldest typed
    // one goes past the history's length.
    m_command->addItem(typed);
    while (m_command->count() > 2 + kCommandHistory) m_command->removeItem(2);
    m_command->setEditText(typed);
}

void CNaviCmdView::Tick() {
    // A time measured across a lost line would not be the module's: the clock ends.
    const TtffMeasurement::Tick tick = m_ttff.OnTick(LiveLink() != nullptr);
    m_ttffBox->setText(QString::fromStdString(tick.text));
    if (tick.stop) m_clock->stop();
}

// "Clean All", and Connect, which clears first: a series still running belongs to what
// was shown before (after DisConnect and Connect in quick succession, to the last
// connection), so it ends here with its table kept.
void CNaviCmdView::Clear() {
    if (SeriesRunning()) EndSeries("Cleared");
    m_commandNote->clear();
    m_gps->setChecked(false);
    m_beidou->setChecked(false);
    m_glonass->setChecked(false);
    m_galileo->setChecked(false);
    m_ttffBox->clear();
    m_ttff.Clear();
    m_receive->clear();
    m_command->setCurrentIndex(0);
}

bool CNaviCmdView::event(QEvent* e) {
    const int type = e->type();
    if (type == MonitorWindowOf(WindowType::NavigationCommand).clearMessage) {
        Clear();
        return true;
    }
    if (type < 1025 || type > 1151) return QWidget::event(e);
    const LinkPayload& p = static_cast<LinkEvent*>(e)->message.payload;
    if (const auto* used = std::get_if<UsedSatelliteSet>(&p)) {
        if (m_ttff.OnFixReport(used->fixType)) m_clock->start();
        if (m_series && m_series->OnFixReport(used->fixType, HostSeconds())) CycleEnded();
    } else if (const auto* gga = std::get_if<GgaRecord>(&p)) {
        if (m_series) m_series->OnEpochTime(EpochSecondOf(*gga));
    } else if (const auto* reply = std::get_if<DecodedReply>(&p)) {
        AppendReply(reply->text);
    }
    return true;
}

// The decoder's lines end in CR LF; the box holds a line a block, so its bound counts
// lines. Only the new text is laid out, and the view follows the end only when it was
// there: a user scrolled up to read stays where he is.
void CNaviCmdView::AppendReply(const std::string& text) {
    QScrollBar* bar = m_receive->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTextCursor end(m_receive->document());
    end.movePosition(QTextCursor::End);
    QString lines = QString::fromStdString(text);
    lines.remove(QLatin1Char('\r'));
    end.insertText(lines);
    if (atEnd) bar->setValue(bar->maximum());
}
