// The replay bar: a capture log played through the receive path as if the module were
// connected, with pause, speed and a position slider that seeks to an epoch. It owns
// the replay's link (no port) and its player; the frame shows the bar while a replay
// runs and clears the windows at the start and at every seek.
#pragma once

#include <QWidget>
#include <memory>

#include "monitor/link/NmeaDispatcher.h"
#include "monitor/link/Replay.h"

class CNmeaThread;
class INotifier;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QTimer;

class CReplayBar : public QWidget {
    Q_OBJECT
public:
    // The link the replay feeds, null when none runs: its counts are the status bar's.
    const CNmeaThread* Link() const { return m_link.get(); }
    CReplayBar(INotifier& notifier, ILinkSink* sink, ReplyDecoders decoders, QWidget* parent = nullptr);
    ~CReplayBar() override;

    // False when the file cannot be replayed; the notifier has said why.
    bool Start(const QString& path, double speed);
    void Stop();
    bool Active() const { return m_player != nullptr; }
    replay::Player* Player() const { return m_player.get(); }

    void TogglePause();
    void SeekTo(int entry);
    // The bar's parts, for the tests.
    QPushButton& PauseButton() { return *m_pause; }
    QComboBox& SpeedList() { return *m_speed; }
    QSlider& Slider() { return *m_slider; }
    QLabel& PositionText() { return *m_position; }

signals:
    void sought();    // before the first epoch after a seek: the windows start afresh
    void finished();  // the windows have handled the last epoch (a seek back plays on)
    void failed(const QString& text);
    void notice(const QString& text);  // worth a word in the status bar

protected:
    bool event(QEvent* event) override;

private:
    void PostFromPlayer(QEvent* event);  // any thread
    void Refresh();
    void ChooseSpeed(int index);

    INotifier& m_notifier;
    ILinkSink* m_sink;
    ReplyDecoders m_decoders;
    std::unique_ptr<CNmeaThread> m_link;
    std::unique_ptr<replay::Player> m_player;
    uint64_t m_session = 0;  // acknowledgements of an earlier replay are not this one's
    bool m_toldEnd = false;
    uint64_t m_handled = 0;  // entries whose messages the windows have handled
    QPushButton* m_pause;
    QComboBox* m_speed;
    QSlider* m_slider;
    QLabel* m_position;
    QTimer* m_refresh;
};

// The speeds the list offers; the last is "Max" (as fast as the windows go).
inline constexpr double kReplaySpeeds[] = {0.25, 0.5, 1, 2, 4, 8, 16, 32, 64, replay::kUnpaced};
