// "navi CMD": restarts with the time to first fix (one, or a series of them into the
// "TTFF cycles" table), the constellation choice, a command typed by hand, and the
// module's decoded replies, for three module families.
#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "monitor/control/CommandTable.h"
#include "monitor/control/Ttff.h"
#include "monitor/control/TtffSeries.h"

class CNmeaThread;
class INotifier;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimer;
class CTtffSeriesDlg;

// The panel's two columns at width w: Send and Receive take two thirds of w less the
// margins, the module, TTFF and mode groups the rest after a gap; in a tile too narrow
// for that, the right column keeps the `rightMinimum` its controls need and Send and
// Receive (which can be narrow) give up the width.
struct NaviColumns {
    int leftWidth, rightX, rightWidth;
};
inline constexpr int kNaviColumnGap = 6;
NaviColumns NaviColumnsFor(int w, int rightMinimum = 0);

class CNaviCmdView : public QWidget {
    Q_OBJECT
public:
    // `activeLink` gives the live link, or null while disconnected.
    CNaviCmdView(INotifier& notifier, std::function<CNmeaThread*()> activeLink, QWidget* parent = nullptr);

    // With a cycle count above 1 beside the button, a series of that many restarts, each
    // timed to its 3D fix (or the time-out) in the "TTFF cycles" table.
    void RestartClicked(Restart restart);
    // Ends a running series; what it measured stays in the table.
    void StopSeries();
    void SetClicked();
    // Send, or Enter in the command field: the typed command framed with its checksum
    // and kept in the field's list; a "$" or checksum typed with it is taken off, and a
    // wrong checksum is said under the field.
    void SendClicked();

    // The controls, for the tests.
    QComboBox& CommandField() { return *m_command; }
    QLabel& CommandNote() { return *m_commandNote; }
    QPlainTextEdit& ReceiveBox() { return *m_receive; }
    QLineEdit& TtffBox() { return *m_ttffBox; }
    QSpinBox& CyclesBox(Restart restart) { return *m_cycles[static_cast<int>(restart)]; }
    QSpinBox& TimeoutBox() { return *m_timeout; }
    CTtffSeriesDlg* SeriesTable() { return m_seriesDlg; }
    bool SeriesRunning() const { return m_series && (m_series->CycleRunning() || m_cyclePending); }
    void ChooseModule(ModuleFamily family);
    void ChooseConstellations(ConstellationChoice choice);

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* BuildSendAndReceive();
    QWidget* BuildModuleTtffAndMode();
    CNmeaThread* LinkOrComplain();
    CNmeaThread* LiveLink() const;  // the link while its line is there, else null
    bool Send(const CommandBytes& bytes);
    void AppendReply(const std::string& text);
    void Tick();
    void Clear();
    void BeginCycle();
    void SeriesTick();
    void CycleEnded();
    void EndSeries(const QString& why);
    void ShowSeries(const QString& status);
    double HostSeconds() const { return static_cast<double>(m_hostClock.nsecsElapsed()) * 1e-9; }
    ModuleFamily Family() const;

    QWidget* m_left = nullptr;
    QWidget* m_right = nullptr;
    INotifier& m_notifier;
    std::function<CNmeaThread*()> m_activeLink;
    QComboBox* m_command = nullptr;
    QLabel* m_commandNote = nullptr;  // what was changed in the command last sent, if anything
    QPlainTextEdit* m_receive = nullptr;
    std::vector<QRadioButton*> m_module;  // one a module family, in the families' order
    QCheckBox* m_gps = nullptr;
    QCheckBox* m_beidou = nullptr;
    QCheckBox* m_glonass = nullptr;
    QCheckBox* m_galileo = nullptr;
    QLineEdit* m_ttffBox = nullptr;
    QPushButton* m_restartButton[3] = {};  // by Restart: cold, warm, hot
    QSpinBox* m_cycles[3] = {};            // the cycle count beside each
    QSpinBox* m_timeout = nullptr;         // seconds a cycle may wait for 3D
    QTimer* m_clock;
    TtffMeasurement m_ttff;
    // The series under way (or the last one), the link it runs on, and its clock for
    // time-outs and the line.
    std::unique_ptr<TtffSeries> m_series;
    CNmeaThread* m_seriesLink = nullptr;
    ModuleFamily m_seriesFamily = ModuleFamily::Zr;
    QTimer* m_seriesClock;
    QElapsedTimer m_hostClock;
    CTtffSeriesDlg* m_seriesDlg = nullptr;
    bool m_cyclePending = false;  // the next cycle waits for the line (a GPD upload holds it)
};

// The Receive box keeps the newest replies (one a line) and the command field the newest
// commands typed: a module that answers all day must not cost more with every reply.
inline constexpr int kReceiveLines = 2000;
inline constexpr int kCommandHistory = 100;
