#include "monitor/windows/ChildFrame.h"

#include <QCloseEvent>
#include <QEvent>
#include <QMetaObject>

CChildFrame::CChildFrame(WindowType type, std::function<HomeRect()> home, QWidget* parent)
    : QMdiSubWindow(parent), m_type(type), m_home(std::move(home)) {
    setWindowFlags(FlagsFor(type));
    setAttribute(Qt::WA_DeleteOnClose, MonitorWindowOf(type).onDemand);
}

// Ctrl+F4 and the like: a home window stays as long as the program; one opened on
// demand goes, and its registry slot with it.
void CChildFrame::closeEvent(QCloseEvent* event) {
    if (MonitorWindowOf(m_type).onDemand) return event->accept();
    event->ignore();
}

void CChildFrame::changeEvent(QEvent* event) {
    QMdiSubWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    const bool maximised = windowState() & Qt::WindowMaximized;
    if (maximised == m_maximised) return;
    m_maximised = maximised;
    // Restoring puts back the geometry from before maximising; the home place, which
    // the frame may have moved since, goes on top of it afterwards.
    if (!maximised)
        QMetaObject::invokeMethod(this, [this] {
            const HomeRect r = m_home();
            setGeometry(r.left, r.top, r.width, r.height);
        }, Qt::QueuedConnection);
}

bool CEmptyView::event(QEvent* event) {
    if (event->type() >= msg::kFirstMessage && event->type() <= msg::kLastMessage) return true;  // nothing to show yet
    return QWidget::event(event);
}
