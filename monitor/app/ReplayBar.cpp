#include "monitor/app/ReplayBar.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include "monitor/link/NmeaThread.h"
#include "monitor/windows/WindowRegistry.h"
#include "platform/notifier/Notifier.h"

namespace {

// From the player's thread to the bar: an entry handled, or a seek done.
struct ReplayEvent : QEvent {
    static constexpr auto kType = static_cast<QEvent::Type>(QEvent::User + 900);
    enum What { Fed, Sought };
    ReplayEvent(What w, uint64_t s, uint64_t f) : QEvent(kType), what(w), session(s), fed(f) {}
    What what;
    uint64_t session, fed;
};

constexpr const char* kPause = "Pause";
constexpr const char* kResume = "Resume";

QString SpeedText(double speed) {
    return speed == replay::kUnpaced ? QStringLiteral("Max") : QString::number(speed) + QStringLiteral("x");
}

}  // namespace

CReplayBar::CReplayBar(INotifier& notifier, ILinkSink* sink, ReplyDecoders decoders, QWidget* parent)
    : QWidget(parent),
      m_notifier(notifier),
      m_sink(sink),
      m_decoders(decoders),
      m_pause(new QPushButton(kPause)),
      m_speed(new QComboBox),
      m_slider(new QSlider(Qt::Horizontal)),
      m_position(new QLabel),
      m_refresh(new QTimer(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    for (double speed : kReplaySpeeds) m_speed->addItem(SpeedText(speed), speed);
    m_slider->setMinimumWidth(240);
    m_slider->setTracking(false);  // a drag seeks once, where it is let go
    m_position->setMinimumWidth(170);
    layout->addWidget(new QLabel("REPLAY :"));
    layout->addWidget(m_pause);
    layout->addWidget(new QLabel("SPEED :"));
    layout->addWidget(m_speed);
    layout->addWidget(m_slider, 1);
    layout->addWidget(m_position);
    connect(m_pause, &QPushButton::clicked, this, &CReplayBar::TogglePause);
    connect(m_speed, &QComboBox::activated, this, &CReplayBar::ChooseSpeed);
    connect(m_slider, &QSlider::valueChanged, this, [this](int value) {
        if (!m_slider->signalsBlocked()) SeekTo(value);
    });
    connect(m_slider, &QSlider::sliderMoved, this, [this](int value) {
        if (!m_player || value < 0 || value >= static_cast<int>(m_player->Entries().size())) return;
        m_position->setText(QString::fromStdString(replay::TimeOfDayText(m_player->Entries()[value].utc)) + " ...");
    });
    m_refresh->setInterval(100);
    connect(m_refresh, &QTimer::timeout, this, &CReplayBar::Refresh);
}

CReplayBar::~CReplayBar() { Stop(); }

void CReplayBar::PostFromPlayer(QEvent* event) {
    ReleaseToWindowThread();
    QCoreApplication::postEvent(this, event);
}

bool CReplayBar::event(QEvent* event) {
    if (event->type() != ReplayEvent::kType) return QWidget::event(event);
    const auto& e = static_cast<const ReplayEvent&>(*event);
    if (m_player && e.session == m_session) {
        if (e.what == ReplayEvent::Fed) m_player->Acknowledge(m_handled = e.fed);
        else emit sought();
    }
    return true;
}

bool CReplayBar::Start(const QString& path, double speed) {
    Stop();
    auto player = std::make_unique<replay::Player>();
    std::string error;
    if (!player->Open(path.toStdString(), error)) {
        m_notifier.Show(nullptr, "Error", QString::fromStdString(error));
        return false;
    }
    m_link = std::make_unique<CNmeaThread>(path.toStdString(), 0, m_sink, nullptr, m_decoders);
    m_link->EnableConsole();
    m_link->Start();
    m_player = std::move(player);
    const uint64_t session = ++m_session;
    replay::Player::Hooks hooks;
    // Acknowledged from the window thread once the messages posted before it are handled.
    hooks.dispatched = [this, session](uint64_t fed) { PostFromPlayer(new ReplayEvent(ReplayEvent::Fed, session, fed)); };
    hooks.sought = [this, session] { PostFromPlayer(new ReplayEvent(ReplayEvent::Sought, session, 0)); };
    int row = m_speed->findData(speed);
    if (row < 0) {  // a speed from the command line the list does not offer: in its place
        row = 0;
        while (row + 1 < m_speed->count() && m_speed->itemData(row).toDouble() < speed) ++row;
        m_speed->insertItem(row, SpeedText(speed), speed);
    }
    m_speed->setCurrentIndex(row);
    m_slider->blockSignals(true);
    m_slider->setRange(0, static_cast<int>(m_player->Entries().size()) - 1);
    m_slider->setValue(0);
    m_slider->setPageStep(std::max(1, static_cast<int>(m_player->Entries().size()) / 20));
    m_slider->blockSignals(false);
    m_pause->setText(kPause);
    m_toldEnd = false;
    m_handled = 0;
    m_player->Start(*m_link, speed, std::move(hooks));
    m_refresh->start();
    Refresh();
    if (!m_player->Paced())
        emit notice(QString("no receiver time in %1: it plays as fast as the windows go").arg(path));
    return true;
}

void CReplayBar::Stop() {
    m_refresh->stop();
    ++m_session;
    if (m_player) m_player->Stop();
    if (m_link) m_link->Shutdown();
    m_player.reset();
    m_link.reset();
}

void CReplayBar::TogglePause() {
    if (!m_player) return;
    if (m_player->Paused()) m_player->Resume();
    else m_player->Pause();
    m_pause->setText(m_player->Paused() ? kResume : kPause);
}

void CReplayBar::SeekTo(int entry) {
    if (!m_player || entry < 0) return;
    m_toldEnd = false;
    m_player->Seek(static_cast<std::size_t>(entry));
}

void CReplayBar::ChooseSpeed(int index) {
    if (m_player && index >= 0) m_player->SetSpeed(m_speed->itemData(index).toDouble());
}

void CReplayBar::Refresh() {
    if (!m_player) return;
    const auto& entries = m_player->Entries();
    const std::size_t at = m_player->Position();
    if (!m_slider->isSliderDown()) {
        m_slider->blockSignals(true);
        m_slider->setValue(static_cast<int>(at));
        m_slider->blockSignals(false);
        m_position->setText(QString("%1  %2/%3")
                                .arg(QString::fromStdString(replay::TimeOfDayText(entries[at].utc)))
                                .arg(at + 1)
                                .arg(entries.size()));
    }
    const std::string error = m_player->ErrorText();
    if (!error.empty() && !m_toldEnd) {
        m_toldEnd = true;
        emit failed(QString::fromStdString(error));
    } else if (m_player->AtEnd() && m_handled >= m_player->Fed() && !m_toldEnd) {
        m_toldEnd = true;
        emit finished();
    }
}
