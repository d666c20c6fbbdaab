#include "monitor/windows/NmeaInfoView.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QTableWidget>
#include <QTime>
#include <QVBoxLayout>
#include <algorithm>

#include "monitor/windows/WindowRegistry.h"
#include "monitor/windows/WindowTypes.h"

using namespace nmeainfo;

namespace {
constexpr int kCellPadding = 16;  // the cell's margins and the grid line, with room to spare
}  // namespace

CNmeaInfoView::CNmeaInfoView(std::function<void(const QString&)> notice, QWidget* parent)
    : QWidget(parent), m_table(new QTableWidget(kRowCount, 3)), m_notice(std::move(notice)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_table);
    m_table->setHorizontalHeaderLabels({"", "NAME", "DATA"});
    m_table->setColumnWidth(0, 0);
    m_table->setColumnHidden(0, true);
    // NAME as wide as its longest name or a raw line's time; DATA takes the rest of the
    // window, whatever its size.
    const QFontMetrics metrics(m_table->font());
    int nameWidth = metrics.horizontalAdvance("NAME");
    for (int row = 0; row < kNamedRows; ++row) nameWidth = std::max(nameWidth, metrics.horizontalAdvance(RowName(row)));
    nameWidth = std::max(nameWidth, metrics.horizontalAdvance("00:00:00"));
    m_table->setColumnWidth(1, nameWidth + kCellPadding);
    m_table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Fixed);
    m_table->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    m_table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(18);
    m_table->setShowGrid(true);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Colours by palette, not by style sheet: a style sheet makes every repaint of the
    // table also repaint the windows behind it.
    QPalette colours = m_table->palette();
    colours.setColor(QPalette::Base, QColor(220, 220, 220));
    colours.setColor(QPalette::Text, QColor(49, 79, 79));
    m_table->setPalette(colours);
    for (int row = 0; row < kRowCount; ++row)
        for (int column = 0; column < 3; ++column) m_table->setItem(row, column, new QTableWidgetItem);
    for (int row = 0; row < kNamedRows; ++row) SetCell(row, 1, RowName(row));
}

QString CNmeaInfoView::Text(int row, int column) const { return m_table->item(row, column)->text(); }

void CNmeaInfoView::SetCell(int row, int column, const QString& text) {
    QTableWidgetItem* item = m_table->item(row, column);
    if (item->text() == text) return;  // most rows repeat from epoch to epoch
    item->setText(text);
    // A value or sentence wider than a tile ("SV Used" with 30 satellites) ends in "...":
    // its whole text is the cell's tooltip.
    if (column == 2) item->setToolTip(text);
}

void CNmeaInfoView::Write(const Rows& rows) {
    for (const auto& [row, text] : rows) SetCell(row, 2, QString::fromStdString(text));
}

void CNmeaInfoView::ListRaw(std::string_view sentence) {
    // Longer than NMEA 0183 allows (an RTK GGA has 88): listed all the same, told once.
    if (sentence.size() > kMaxListedLength) {
        if (!m_toldTooLong && m_notice) m_notice("NMEA packet length > 80");
        m_toldTooLong = true;
    }
    const RawList::Step step = m_raw.Add(sentence);
    for (int row : step.blank) SetCell(row, 1, {}), SetCell(row, 2, {});
    if (step.row < 0) return;
    SetCell(step.row, 1, QTime::currentTime().toString("hh:mm:ss"));
    SetCell(step.row, 2, QString::fromLatin1(sentence.data(), static_cast<qsizetype>(sentence.size())).trimmed());
}

void CNmeaInfoView::Clear() {
    for (int row = 0; row < kRowCount; ++row) {
        if (row >= kFirstRawRow) SetCell(row, 1, {});
        SetCell(row, 2, {});
    }
    m_raw.Clear();
    m_toldTooLong = false;
}

bool CNmeaInfoView::event(QEvent* e) {
    const int type = e->type();
    if (type == MonitorWindowOf(WindowType::NmeaInfo).clearMessage) {
        Clear();
        return true;
    }
    if (type < 1025 || type > 1151) return QWidget::event(e);
    const LinkPayload& p = static_cast<LinkEvent*>(e)->message.payload;
    if (const auto* gga = std::get_if<GgaRecord>(&p)) Write(FromGga(*gga));
    else if (const auto* used = std::get_if<UsedSatelliteSet>(&p)) Write(FromUsed(*used));
    else if (const auto* view = std::get_if<SatelliteViewSet>(&p)) Write(FromView(*view));
    else if (const auto* rmc = std::get_if<RmcRecord>(&p)) Write(FromRmc(*rmc));
    else if (const auto* vtg = std::get_if<VtgRecord>(&p)) Write(FromVtg(*vtg));
    else if (const auto* raw = std::get_if<RawSentence>(&p)) ListRaw(std::string_view(raw->text, raw->length));
    return true;
}
