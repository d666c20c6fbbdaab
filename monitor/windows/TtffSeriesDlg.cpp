#include "monitor/windows/TtffSeriesDlg.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "platform/notifier/Notifier.h"

CTtffSeriesDlg::CTtffSeriesDlg(INotifier& notifier, QWidget* parent)
    : QDialog(parent), m_notifier(notifier), m_table(new QTableWidget(0, 4)), m_statistics(new QLabel),
      m_status(new QLabel), m_stop(new QPushButton("Stop")), m_save(new QPushButton("Save…")) {
    setWindowTitle("TTFF cycles");
    m_table->setHorizontalHeaderLabels({"Cycle", "Restart", "TTFF (s)", "Started"});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_statistics->setWordWrap(true);
    auto* close = new QPushButton("Close");
    connect(m_stop, &QPushButton::clicked, this, &CTtffSeriesDlg::StopRequested);
    connect(m_save, &QPushButton::clicked, this, &CTtffSeriesDlg::SaveClicked);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    buttons->addWidget(m_stop);
    buttons->addWidget(m_save);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_statistics);
    layout->addLayout(buttons);
    resize(520, 280);
}

void CTtffSeriesDlg::Show(const std::vector<TtffCycle>& cycles, bool running, const QString& status) {
    m_cycles = cycles;
    m_running = running;
    m_table->setRowCount(static_cast<int>(cycles.size()));
    for (int row = 0; row < static_cast<int>(cycles.size()); ++row) {
        const TtffCycle& c = cycles[static_cast<std::size_t>(row)];
        const QString cells[] = {QString::number(c.number), RestartName(c.restart),
                                 QString::fromStdString(SecondsText(c)),
                                 QString::fromStdString(StartedText(c.started))};
        for (int column = 0; column < 4; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (column == 0 || column == 2) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_table->setItem(row, column, item);
        }
    }
    m_table->resizeColumnsToContents();
    m_table->scrollToBottom();
    m_statistics->setText(cycles.empty() ? QString() : QString::fromStdString(StatisticsLine(StatisticsOf(cycles))));
    m_status->setText(status);
    m_stop->setEnabled(running);
    m_save->setEnabled(!cycles.empty());
}

QString CTtffSeriesDlg::SaveTo(const QString& path) {
    return QString::fromStdString(WriteTtffCsv(path.toStdString(), m_cycles));
}

void CTtffSeriesDlg::SaveClicked() {
    const QString path =
        QFileDialog::getSaveFileName(this, "Save TTFF cycles", "ttff.csv", "CSV (*.csv);;All files (*)");
    if (path.isEmpty()) return;
    if (const QString error = SaveTo(path); !error.isEmpty()) m_notifier.Warn(this, "Error", error);
}

QString CTtffSeriesDlg::StatisticsText() const { return m_statistics->text(); }
QString CTtffSeriesDlg::StatusText() const { return m_status->text(); }

// Closing the table while the series runs ends the series; what it measured stays here.
void CTtffSeriesDlg::closeEvent(QCloseEvent* event) {
    if (m_running) emit StopRequested();
    QDialog::closeEvent(event);
}
