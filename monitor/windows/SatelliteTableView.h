// Satellites: the epoch's satellites as a table, one row per signal where the receiver
// names its signals: constellation, number, signal, elevation, azimuth, C/N0 and whether
// the fix used it; sorted by any column (a click on its header).
#pragma once

#include <QAbstractTableModel>
#include <QWidget>

#include "monitor/link/SatelliteTable.h"

class QLabel;
class QSortFilterProxyModel;
class QTableView;

class SatelliteTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kSystem, kNumber, kSignal, kElevation, kAzimuth, kSnr, kUsed, kColumns };
    static constexpr int kSortRole = Qt::UserRole;  // the column's value as a number

    void SetTable(SatelliteTable table);
    const SatelliteTable& Table() const { return m_table; }
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QVariant Text(const SatelliteRow& row, int column) const;
    QVariant SortValue(const SatelliteRow& row, int column) const;

    SatelliteTable m_table;
};

// "27 satellites, 52 signals, 18 used": satellites counted once whatever their signals.
QString SatelliteSummary(const SatelliteTable& table);

class CSatelliteTableView : public QWidget {
    Q_OBJECT
public:
    explicit CSatelliteTableView(QWidget* parent = nullptr);

    const SatelliteTableModel& Model() const { return *m_model; }
    QTableView& Table() const { return *m_view; }
    QSortFilterProxyModel& Sorted() const { return *m_sorted; }
    QLabel& Summary() const { return *m_summary; }

protected:
    bool event(QEvent* event) override;

private:
    SatelliteTableModel* m_model;
    QSortFilterProxyModel* m_sorted;
    QTableView* m_view;
    QLabel* m_summary;
};
