// "NMEA info": the latest value of twenty receiver quantities, and below them the raw
// sentences of the current epoch, each with the computer's time.
#pragma once

#include <QWidget>
#include <functional>

#include "monitor/windows/NmeaInfoRows.h"

class QTableWidget;

class CNmeaInfoView : public QWidget {
    Q_OBJECT
public:
    // `notice` shows a text without stopping anything (the main frame's status bar).
    explicit CNmeaInfoView(std::function<void(const QString&)> notice, QWidget* parent = nullptr);

    QString Text(int row, int column) const;
    QTableWidget& Table() { return *m_table; }  // for the tests

protected:
    bool event(QEvent* event) override;

private:
    void Write(const nmeainfo::Rows& rows);
    void ListRaw(std::string_view sentence);
    void Clear();
    void SetCell(int row, int column, const QString& text);

    QTableWidget* m_table;
    nmeainfo::RawList m_raw;
    std::function<void(const QString&)> m_notice;
    bool m_toldTooLong = false;  // once per connection: real receivers send many
};
