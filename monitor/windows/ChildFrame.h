// A child window of the monitor: a home window can be neither closed nor minimised, one
// opened on demand can be closed; maximised it covers the whole area under the bar,
// restored it goes back to its home place.
#pragma once

#include <QMdiSubWindow>
#include <functional>

#include "monitor/windows/WindowTypes.h"

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    static constexpr Qt::WindowFlags kFlags =
        Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMaximizeButtonHint;
    static Qt::WindowFlags FlagsFor(WindowType type) {
        return MonitorWindowOf(type).onDemand ? kFlags | Qt::WindowCloseButtonHint : kFlags;
    }

    // `home` gives the window's home place, read whenever it is restored.
    CChildFrame(WindowType type, std::function<HomeRect()> home, QWidget* parent = nullptr);

    WindowType Type() const { return m_type; }
    bool IsMaximised() const { return m_maximised; }

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    WindowType m_type;
    std::function<HomeRect()> m_home;
    bool m_maximised = false;
};

// A view that shows nothing yet: the window exists, with its title, and takes its
// messages.
class CEmptyView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

protected:
    bool event(QEvent* event) override;
};
