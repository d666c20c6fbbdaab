#include "monitor/app/MonitorApp.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QMdiArea>
#include <QSettings>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "monitor/app/MainFrame.h"
#include "monitor/windows/ChildFrame.h"

namespace {
// The icon, close and help buttons and the margins a window manager's title bar puts
// beside the title; a box at least this much wider than its title shows all of it.
constexpr int kTitleBarButtonsWidth = 120;
}  // namespace

CMonitorApp::CMonitorApp(INotifier& notifier, const QStringList& ports, int baud) : m_notifier(notifier) {
    QCoreApplication::setOrganizationName("Local AppWizard-Generated Applications");
    QCoreApplication::setApplicationName("skyLedger");
    m_mainFrame = std::make_unique<CMainFrame>(notifier, m_registry, ports, baud);
    for (const MonitorWindowType& row : MonitorWindowTypes())
        if (!row.onDemand) OpenWindow(row.type);
    connect(m_mainFrame.get(), &CMainFrame::windowWanted, this, &CMonitorApp::ShowWindow);
    // The frame has no menu bar; its accelerators stay.
    auto* newWindow = new QShortcut(QKeySequence::New, m_mainFrame.get());
    connect(newWindow, &QShortcut::activated, this, &CMonitorApp::OfferNewWindow);
    auto* about = new QShortcut(QKeySequence::HelpContents, m_mainFrame.get());
    connect(about, &QShortcut::activated, this, &CMonitorApp::ShowAbout);
}

CMonitorApp::~CMonitorApp() = default;

CChildFrame* CMonitorApp::OpenWindow(WindowType type) {
    auto* frame = new CChildFrame(type, [this, type] { return m_mainFrame->HomeRectFor(type); });
    QWidget* view = MakeView(type);
    if (MonitorWindowOf(type).scrolls) {
        // Controls that need more room than a small screen's tile gives scroll rather
        // than squeeze over one another.
        auto* scroll = new QScrollArea;
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidget(view);
        frame->setWidget(scroll);
    } else {
        frame->setWidget(view);
    }
    frame->setWindowTitle(MonitorWindowOf(type).title);
    m_registry.SetFrame(type, frame);
    m_registry.SetView(type, view);
    m_mainFrame->MdiArea().addSubWindow(frame);
    frame->setWindowFlags(CChildFrame::FlagsFor(type));  // adding it brought the system menu back
    if (MonitorWindowOf(type).onDemand) {
        const HomeRect r = m_mainFrame->HomeRectFor(type);
        frame->setGeometry(r.left, r.top, r.width, r.height);
    }
    frame->show();
    m_mainFrame->Tile();
    return frame;
}

CChildFrame* CMonitorApp::ShowWindow(WindowType type) {
    auto* frame = qobject_cast<CChildFrame*>(m_registry.Frame(type));
    if (!frame) return OpenWindow(type);
    m_mainFrame->MdiArea().setActiveSubWindow(frame);
    frame->raise();
    return frame;
}

QWidget* CMonitorApp::MakeView(WindowType type) {
    if (type == WindowType::None) return new CEmptyView;
    const ViewServices services{m_notifier, [this] { return m_mainFrame->ActiveLink(); },
                                [this](const QString& text) { m_mainFrame->Notice(text); },
                                [this] { return m_mainFrame->CurrentLinkStatus(); }};
    return MonitorWindowOf(type).make(services);
}

// Without a window manager (a bare X server) maximising does nothing: the frame takes the
// screen's free area itself first.
void CMonitorApp::Show() {
    if (const QScreen* screen = m_mainFrame->screen()) m_mainFrame->setGeometry(screen->availableGeometry());
    m_mainFrame->showMaximized();
}

std::unique_ptr<QDialog> CMonitorApp::MakeAboutBox() const {
    auto box = std::make_unique<QDialog>(m_mainFrame.get());
    box->setWindowTitle("About skyLedger");
    auto* layout = new QVBoxLayout(box.get());
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel;
    const QIcon programIcon = QApplication::windowIcon().isNull()
                                  ? box->style()->standardIcon(QStyle::SP_ComputerIcon)
                                  : QApplication::windowIcon();
    icon->setPixmap(programIcon.pixmap(32, 32));
    row->addWidget(icon);
    row->addWidget(new QLabel("skyLedger Version 1.2"), 1);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, box.get(), &QDialog::accept);
    layout->addWidget(buttons);
    // A title bar cuts a long title to what the box's width leaves beside its buttons.
    const int titleWidth = QFontMetrics(box->font()).horizontalAdvance(box->windowTitle());
    box->setMinimumWidth(std::max(box->sizeHint().width(), titleWidth + kTitleBarButtonsWidth));
    return box;
}

void CMonitorApp::ShowAbout() { MakeAboutBox()->exec(); }

void CMonitorApp::OfferNewWindow() {
    QStringList titles;
    for (const MonitorWindowType& row : MonitorWindowTypes()) titles << row.title;
    bool ok = false;
    const QString chosen = QInputDialog::getItem(m_mainFrame.get(), "New", "Window type:", titles, 0, false, &ok);
    if (!ok) return;
    for (const MonitorWindowType& row : MonitorWindowTypes())
        if (chosen == row.title) OpenWindow(row.type);
}
