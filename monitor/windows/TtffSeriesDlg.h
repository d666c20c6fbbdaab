// "TTFF cycles": the table of a series of restarts from the command panel, each cycle's
// time to 3D or "time-out", the statistics, and "Save…" to CSV. The panel runs the
// series; this window shows what it measured and keeps it after the series ends.
#pragma once

#include <QDialog>
#include <vector>

#include "monitor/control/TtffSeries.h"

class INotifier;
class QLabel;
class QPushButton;
class QTableWidget;

class CTtffSeriesDlg : public QDialog {
    Q_OBJECT
public:
    CTtffSeriesDlg(INotifier& notifier, QWidget* parent);

    // What the series measured so far, whether it still runs, and where it stands.
    void Show(const std::vector<TtffCycle>& cycles, bool running, const QString& status);
    // The CSV into `path`; the reason when that fails, empty otherwise.
    QString SaveTo(const QString& path);

    // For the tests.
    QTableWidget& Table() { return *m_table; }
    QString StatisticsText() const;
    QString StatusText() const;
    QPushButton& StopButton() { return *m_stop; }

signals:
    // "Stop", or the window closed while the series runs.
    void StopRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void SaveClicked();

    INotifier& m_notifier;
    QTableWidget* m_table;
    QLabel* m_statistics;
    QLabel* m_status;
    QPushButton* m_stop;
    QPushButton* m_save;
    std::vector<TtffCycle> m_cycles;
    bool m_running = false;
};
