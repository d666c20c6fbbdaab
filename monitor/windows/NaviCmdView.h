// "navi CMD": restarts with the time to first fix, the constellation choice, a command
// typed by hand, and the module's decoded replies, for three module families.
#pragma once

#include <QWidget>
#include <functional>

#include "CommandTable.h"
#include "Ttff.h"

class CNmeaThread;
class INotifier;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QTimer;

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

    void RestartClicked(Restart restart);
    void SetClicked();
    void SendClicked();

    // The controls, for the tests.
    QComboBox& CommandField() { return *m_command; }
    QPlainTextEdit& ReceiveBox() { return *m_receive; }
    QLineEdit& TtffBox() { return *m_ttffBox; }
    void ChooseModule(ModuleFamily family);
    void ChooseConstellations(ConstellationChoice choice);

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* BuildSendAndReceive();
    QWidget* BuildModuleTtffAndMode();
    CNmeaThread* LinkOrComplain();
    void Send(const CommandBytes& bytes);
    void Tick();
    void Clear();
    ModuleFamily Family() const;

    QWidget* m_left = nullptr;
    QWidget* m_right = nullptr;
    INotifier& m_notifier;
    std::function<CNmeaThread*()> m_activeLink;
    QComboBox* m_command = nullptr;
    QPlainTextEdit* m_receive = nullptr;
    QRadioButton* m_module[3] = {};
    QCheckBox* m_gps = nullptr;
    QCheckBox* m_beidou = nullptr;
    QCheckBox* m_glonass = nullptr;
    QLineEdit* m_ttffBox = nullptr;
    QTimer* m_clock;
    TtffMeasurement m_ttff;
    QString m_responseText;  // the decoded replies, until the Receive box is emptied
};
