// Console: everything the link received and sent, in order, one line each with its time;
// a filter by sentence name, Pause, Clear, and the link's counts above it. The lines come
// in batches a few times a second (ConsoleFeed); the history behind them is kept here.
#pragma once

#include <QWidget>
#include <functional>

#include "monitor/link/LinkStatistics.h"
#include "monitor/windows/ConsoleHistory.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;

class CConsoleView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kStatusMs = 500;  // the counts are read this often

    explicit CConsoleView(std::function<LinkStatus()> linkStatus = {}, QWidget* parent = nullptr);

    const ConsoleHistory& History() const { return m_history; }
    QLineEdit& FilterEdit() const { return *m_filter; }
    QPushButton& PauseButton() const { return *m_pause; }
    QLabel& StatusLabel() const { return *m_status; }
    QPlainTextEdit& Text() const { return *m_text; }
    bool Paused() const { return m_paused; }
    void ShowStatus();

protected:
    bool event(QEvent* event) override;

private:
    void Take(const ConsoleBatch& batch);
    void Rebuild();
    void SetPaused(bool paused);
    QString LineText(const ConsoleLine& line) const;

    std::function<LinkStatus()> m_linkStatus;
    ConsoleHistory m_history;
    ConsoleFilter m_filterWords;
    bool m_paused = false;
    uint64_t m_totalAtPause = 0;
    QLineEdit* m_filter;
    QPushButton* m_pause;
    QLabel* m_status;
    QPlainTextEdit* m_text;
    QTimer* m_statusTimer;
};
