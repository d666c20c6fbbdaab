#include "ChildFrame.h"

#include <QCloseEvent>
#include <QEvent>
#include <QMetaObject>

CChildFrame::CChildFrame(WindowType type, std::function<HomeRect()> home, QWidget* parent)
    : QMdiSubWindow(parent), m_type(type), m_home(std::move(home)) {
    setWindowFlags(kFlags);
    setAttribute(Qt::WA_DeleteOnClose, false);
}

// Ctrl+F4 and the like: a child window stays as long as the program.
void CChildFrame::closeEvent(QCloseEvent* event) {
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
    if (event->type() >= 1025 && event->type() <= 1151) return true;  // nothing to show yet
    return QWidget::event(event);
}
