// The monitor's application object: opens one home window of each type in a fixed order,
// keeps the registry through which the link finds them, and shows the main frame.
#pragma once

#include <QObject>
#include <QStringList>
#include <memory>

#include "monitor/windows/WindowRegistry.h"
#include "monitor/windows/WindowTypes.h"

class CMainFrame;
class CChildFrame;
class QDialog;
class INotifier;

class CMonitorApp : public QObject {
    Q_OBJECT
public:
    // `ports`: devices named on the command line, added to the port list (the first is
    // selected); `baud` 0 keeps the default.
    CMonitorApp(INotifier& notifier, const QStringList& ports, int baud);
    ~CMonitorApp() override;

    CMainFrame& MainFrame() { return *m_mainFrame; }
    WindowRegistry& Registry() { return m_registry; }

    // File New: another window of `type`, which takes over the registry slot.
    CChildFrame* OpenWindow(WindowType type);
    // The window of `type` brought to the front, opened first when there is none.
    CChildFrame* ShowWindow(WindowType type);
    void Show();
    // The about box (F1, the frame having no menu): shown modally by ShowAbout.
    std::unique_ptr<QDialog> MakeAboutBox() const;
    void ShowAbout();

private:
    void OfferNewWindow();
    QWidget* MakeView(WindowType type);

    INotifier& m_notifier;
    WindowRegistry m_registry;
    std::unique_ptr<CMainFrame> m_mainFrame;
};
