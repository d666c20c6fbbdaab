#include "monitor/windows/SatelliteTableView.h"

#include <QHeaderView>
#include <QLabel>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>
#include <set>
#include <utility>

#include "monitor/windows/Legend.h"
#include "monitor/windows/WindowRegistry.h"

namespace {

constexpr const char* kHeaders[] = {"System", "No.", "Signal", "Elev. (°)", "Azim. (°)", "C/N0 (dB-Hz)", "Used"};
static_assert(std::size(kHeaders) == SatelliteTableModel::kColumns);

QString Counted(std::size_t n, const char* one, const char* many) { return QString("%1 %2").arg(n).arg(n == 1 ? one : many); }

}  // namespace

void SatelliteTableModel::SetTable(SatelliteTable table) {
    beginResetModel();
    m_table = std::move(table);
    endResetModel();
}

int SatelliteTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_table.rows.size());
}

int SatelliteTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

// A satellite the report did not list, or a signal not tracked, leaves its cells empty.
QVariant SatelliteTableModel::Text(const SatelliteRow& r, int column) const {
    const bool inView = r.elevation != kNotInView;
    switch (column) {
        case kSystem: return QString::fromUtf8(SystemName(r.system).data(), static_cast<int>(SystemName(r.system).size()));
        case kNumber: return r.prn;
        case kSignal: {
            const std::string_view name = SignalName(r.system, r.signalId);
            if (!name.empty()) return QString::fromUtf8(name.data(), static_cast<int>(name.size()));
            return r.signalId > 0 ? QString("id %1").arg(r.signalId, 0, 16).toUpper() : QString();
        }
        case kElevation: return inView ? QVariant(r.elevation) : QVariant();
        case kAzimuth: return inView ? QVariant(r.azimuth) : QVariant();
        case kSnr: return r.snr > 0 ? QVariant(r.snr) : QVariant();
        case kUsed: return r.used ? QString("Yes") : QString();
    }
    return {};
}

// Empty cells sort below every value.
QVariant SatelliteTableModel::SortValue(const SatelliteRow& r, int column) const {
    const bool inView = r.elevation != kNotInView;
    switch (column) {
        case kSystem: return r.system;
        case kNumber: return r.prn;
        case kSignal: return r.signalId;
        case kElevation: return inView ? r.elevation : -1000;
        case kAzimuth: return inView ? r.azimuth : -1000;
        case kSnr: return r.snr;
        case kUsed: return r.used ? 1 : 0;
    }
    return {};
}

QVariant SatelliteTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const SatelliteRow& r = m_table.rows[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole) return Text(r, index.column());
    if (role == kSortRole) return SortValue(r, index.column());
    if (role == Qt::DecorationRole && index.column() == kSystem) return legend::ConstellationColour(r.system);
    if (role == Qt::TextAlignmentRole && index.column() == kUsed) return QVariant::fromValue(Qt::AlignCenter);
    if (role == Qt::TextAlignmentRole && index.column() != kSystem && index.column() != kSignal)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant SatelliteTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumns) return {};
    return QString::fromUtf8(kHeaders[section]);
}

QString SatelliteSummary(const SatelliteTable& table) {
    std::set<std::pair<GnssSystem, uint16_t>> satellites, used;
    std::size_t signalCount = 0;
    for (const SatelliteRow& r : table.rows) {
        if (r.elevation != kNotInView) {
            satellites.insert({r.system, r.prn});
            ++signalCount;
        }
        if (r.used) used.insert({r.system, r.prn});
    }
    return Counted(satellites.size(), "satellite", "satellites") + " in view, " +
           Counted(signalCount, "signal", "signals") + ", " + QString("%1 used").arg(used.size());
}

CSatelliteTableView::CSatelliteTableView(QWidget* parent)
    : QWidget(parent), m_model(new SatelliteTableModel), m_sorted(new QSortFilterProxyModel(this)), m_view(new QTableView) {
    m_model->setParent(this);
    m_sorted->setSourceModel(m_model);
    m_sorted->setSortRole(SatelliteTableModel::kSortRole);
    m_sorted->setDynamicSortFilter(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    m_summary = new QLabel(SatelliteSummary({}));
    layout->addWidget(m_summary);
    m_view->setModel(m_sorted);
    m_view->setSortingEnabled(true);
    m_view->sortByColumn(SatelliteTableModel::kSystem, Qt::AscendingOrder);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setAlternatingRowColors(true);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 4);
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(m_view, 1);
}

bool CSatelliteTableView::event(QEvent* e) {
    const int type = e->type();
    if (type == LinkWindowOf(WindowType::SatelliteTable).clearMessage) {
        m_model->SetTable({});
        m_summary->setText(SatelliteSummary({}));
        return true;
    }
    if (type == msg::kSatelliteTable) {
        if (const auto* table = std::get_if<SatelliteTable>(&static_cast<LinkEvent*>(e)->message.payload)) {
            m_summary->setText(SatelliteSummary(*table));
            m_model->SetTable(*table);
        }
        return true;
    }
    return QWidget::event(e);
}
