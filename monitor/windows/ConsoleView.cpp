#include "monitor/windows/ConsoleView.h"

#include <QDateTime>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSyntaxHighlighter>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "monitor/windows/WindowRegistry.h"

namespace {

constexpr const char* kPause = "Pause";
constexpr const char* kResume = "Resume";
constexpr const char* kTimeFormat = "HH:mm:ss.zzz";
constexpr int kTagColumn = 13;  // after the time and its space

// Sent lines in blue, failed checksums in red, what happened to the line in grey.
class ConsoleColours : public QSyntaxHighlighter {
public:
    using QSyntaxHighlighter::QSyntaxHighlighter;

protected:
    void highlightBlock(const QString& text) override {
        const QStringView tag = QStringView(text).mid(kTagColumn, 2);
        QColor colour;
        if (tag == u"TX") colour = QColor(0, 0, 200);
        else if (tag == u"--") colour = QColor(110, 110, 110);
        else if (text.endsWith("<< bad checksum")) colour = QColor(200, 0, 0);
        if (colour.isValid()) setFormat(0, static_cast<int>(text.size()), colour);
    }
};

}  // namespace

CConsoleView::CConsoleView(std::function<LinkStatus()> linkStatus, QWidget* parent)
    : QWidget(parent), m_linkStatus(std::move(linkStatus)), m_statusTimer(new QTimer(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel("Filter :"));
    m_filter = new QLineEdit;
    m_filter->setPlaceholderText("sentence names, e.g. GGA RMC PZRC -GSV");
    m_filter->setClearButtonEnabled(true);
    bar->addWidget(m_filter, 1);
    m_pause = new QPushButton(kPause);
    auto* clear = new QPushButton("Clear");
    bar->addWidget(m_pause);
    bar->addWidget(clear);
    layout->addLayout(bar);
    m_status = new QLabel;
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_status);
    m_text = new QPlainTextEdit;
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setMaximumBlockCount(static_cast<int>(ConsoleHistory::kMaxLines));
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_text->setUndoRedoEnabled(false);
    new ConsoleColours(m_text->document());
    layout->addWidget(m_text, 1);

    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_filterWords = ConsoleFilter(text.toStdString());
        Rebuild();
    });
    connect(m_pause, &QPushButton::clicked, this, [this] { SetPaused(!m_paused); });
    connect(clear, &QPushButton::clicked, this, [this] {
        m_history.Clear();
        m_text->clear();
    });
    m_statusTimer->setInterval(kStatusMs);
    connect(m_statusTimer, &QTimer::timeout, this, &CConsoleView::ShowStatus);
    m_statusTimer->start();
    ShowStatus();
}

QString CConsoleView::LineText(const ConsoleLine& line) const {
    return QDateTime::fromMSecsSinceEpoch(line.atMs).toString(kTimeFormat) + ' ' +
           QString::fromStdString(ConsoleText(line));
}

bool CConsoleView::event(QEvent* e) {
    const int type = e->type();
    if (type == LinkWindowOf(WindowType::Console).clearMessage) {
        m_history.Clear();
        m_text->clear();
        return true;
    }
    if (type == msg::kConsoleLines) {
        if (const auto* batch = std::get_if<ConsoleBatch>(&static_cast<LinkEvent*>(e)->message.payload)) Take(*batch);
        return true;
    }
    return QWidget::event(e);
}

// One append per batch: the lines the filter shows, as one text.
void CConsoleView::Take(const ConsoleBatch& batch) {
    m_history.Append(batch);
    if (m_paused) return;
    const auto& lines = m_history.Lines();
    const std::size_t added = std::min(batch.entries.size(), lines.size());
    QStringList shown;
    for (std::size_t i = lines.size() - added; i < lines.size(); ++i)
        if (m_filterWords.Shows(lines[i])) shown << LineText(lines[i]);
    if (batch.lost > 0) shown << QString("-- %1 lines not shown: they came faster than the window takes them").arg(batch.lost);
    if (!shown.isEmpty()) m_text->appendPlainText(shown.join('\n'));
}

void CConsoleView::Rebuild() {
    QStringList shown;
    for (const ConsoleLine& line : m_history.Lines())
        if (m_filterWords.Shows(line)) shown << LineText(line);
    m_text->setPlainText(shown.join('\n'));
    m_text->moveCursor(QTextCursor::End);
    m_text->ensureCursorVisible();
}

void CConsoleView::SetPaused(bool paused) {
    m_paused = paused;
    m_pause->setText(paused ? kResume : kPause);
    m_totalAtPause = m_history.Total();
    if (!paused) Rebuild();
    ShowStatus();
}

void CConsoleView::ShowStatus() {
    const LinkStatus status = m_linkStatus ? m_linkStatus() : LinkStatus{};
    QString text = QString::fromStdString(StatisticsText(status));
    if (!status.open) text += " (no line open)";
    if (m_paused) text += QString("; paused, %1 lines since").arg(m_history.Total() - m_totalAtPause);
    m_status->setText(text);
    m_status->setToolTip(QString("dropped: %1; the window keeps the last %2 lines, the capture log all")
                             .arg(QString::fromStdString(DroppedText(status.counts)))
                             .arg(ConsoleHistory::kMaxLines));
}
