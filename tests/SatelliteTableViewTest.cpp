// The Satellites window: its rows and summary from the epoch's table, sorted by any
// column, empty cells for what the receiver did not give, emptied by its clear message;
// and its picture.
#include <gtest/gtest.h>

#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QSortFilterProxyModel>
#include <QTableView>

#include "monitor/windows/SatelliteTableView.h"
#include "monitor/windows/WindowTypes.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/ViewMessages.h"

namespace {

using testsupport::kPaint;

constexpr GnssSystem G = gnss::kGps, E = gnss::kGalileo, R = gnss::kGlonass, B = gnss::kBeiDou;

SatelliteTable BusySky() {
    return {{{G, 5, 1, 6, 110, 18, false},  {G, 5, 6, 6, 110, 0, false},   {G, 10, 1, 24, 284, 33, true},
             {G, 10, 6, 24, 284, 18, true}, {G, 13, 1, 37, 124, 30, true}, {G, 13, 6, 37, 124, 27, true},
             {G, 21, 1, 80, 232, 41, true}, {G, 21, 6, 80, 232, 35, true}, {E, 4, 2, 9, 321, 22, false},
             {E, 4, 7, 9, 321, 25, false},  {E, 11, 2, 55, 61, 40, true},  {E, 11, 7, 55, 61, 44, true},
             {R, 71, 1, 42, 190, 39, true}, {R, 71, 3, 42, 190, 33, true}, {B, 22, 1, 82, 135, 17, true},
             {B, 35, 0, kNotInView, kNotInView, 0, true}}};
}

QString Cell(const QTableView& view, int row, int column) {
    return view.model()->index(row, column).data().toString();
}

}  // namespace

TEST(SatelliteTableView, RowsSortByAnyColumnAndTheSummaryCountsSatellitesOnce) {
    CSatelliteTableView view;
    view.resize(640, 400);
    testsupport::Deliver(view, msg::kSatelliteTable, BusySky());
    const QTableView& table = view.Table();
    ASSERT_EQ(table.model()->rowCount(), 16);
    EXPECT_EQ(view.Summary().text(), "8 satellites in view, 15 signals, 7 used");
    EXPECT_EQ(Cell(table, 0, SatelliteTableModel::kSystem), "GPS");
    EXPECT_EQ(Cell(table, 0, SatelliteTableModel::kSignal), "L1 C/A");
    EXPECT_EQ(Cell(table, 1, SatelliteTableModel::kSignal), "L2C-L");
    EXPECT_EQ(Cell(table, 1, SatelliteTableModel::kSnr), "") << "a signal not tracked";
    EXPECT_EQ(Cell(table, 8, SatelliteTableModel::kSignal), "E5b") << "in the link's order: Galileo by number, then signal id";

    view.Table().sortByColumn(SatelliteTableModel::kSnr, Qt::DescendingOrder);
    EXPECT_EQ(Cell(table, 0, SatelliteTableModel::kSnr), "44");
    EXPECT_EQ(Cell(table, 0, SatelliteTableModel::kSystem), "Galileo");
    EXPECT_EQ(Cell(table, 1, SatelliteTableModel::kSnr), "41");
    view.Table().sortByColumn(SatelliteTableModel::kElevation, Qt::AscendingOrder);
    EXPECT_EQ(Cell(table, 0, SatelliteTableModel::kNumber), "35") << "no elevation sorts first going up";
    EXPECT_EQ(Cell(table, 0, SatelliteTableModel::kElevation), "");
    EXPECT_EQ(Cell(table, 0, SatelliteTableModel::kUsed), "Yes");
    EXPECT_EQ(Cell(table, 1, SatelliteTableModel::kElevation), "6");

    // The next epoch keeps the order the user chose.
    testsupport::Deliver(view, msg::kSatelliteTable, SatelliteTable{{{G, 7, 0, 70, 10, 40, true}, {G, 3, 0, 20, 10, 30, false}}});
    EXPECT_EQ(Cell(table, 0, SatelliteTableModel::kNumber), "3");
    EXPECT_EQ(Cell(table, 0, SatelliteTableModel::kSignal), "");
    EXPECT_EQ(view.Summary().text(), "2 satellites in view, 2 signals, 1 used");
    testsupport::DeliverClear(view, LinkWindowOf(WindowType::SatelliteTable).clearMessage);
    EXPECT_EQ(table.model()->rowCount(), 0);
    EXPECT_EQ(view.Summary().text(), "0 satellites in view, 0 signals, 0 used");
}

TEST(SatelliteTableView, HeadersShowWholeAtTheDefaultSizeAndPicture) {
    CSatelliteTableView view;
    view.resize(640, 420);
    view.show();
    testsupport::Deliver(view, msg::kSatelliteTable, BusySky());
    QCoreApplication::processEvents();
    const QHeaderView& header = *view.Table().horizontalHeader();
    for (int c = 0; c < SatelliteTableModel::kColumns; ++c) {
        const QString text = view.Table().model()->headerData(c, Qt::Horizontal).toString();
        EXPECT_GE(header.sectionSize(c), header.fontMetrics().horizontalAdvance(text)) << text.toStdString();
    }
    if (!kPaint) return;
    QDir().mkpath(PICTURES_DIR);
    EXPECT_TRUE(view.grab().save(QString(PICTURES_DIR) + "/satellites.png"));
}
