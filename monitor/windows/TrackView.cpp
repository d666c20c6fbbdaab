#include "monitor/windows/TrackView.h"

#include <QComboBox>
#include <QFileInfo>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>

#include "monitor/analysis/FixExport.h"
#include "monitor/link/LinkMessages.h"
#include "monitor/windows/WindowRegistry.h"
#include "monitor/windows/WindowTypes.h"
#include "monitor/windows/chart/CTChart.h"
#include "monitor/windows/chart/ChartSetup.h"
#include "platform/notifier/Notifier.h"

namespace track {

bool PassesNumberRule(const QString& text) {
    int points = 0, digits = 0;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c >= '0' && c <= '9') ++digits;
        else if (c == '.') ++points;
        else if ((c == '+' || c == '-') && i == 0) continue;
        else return false;
    }
    return digits > 0 && points <= 1;
}

ReferenceTexts ReadReferenceFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QString lines[3];
    for (QString& line : lines) {
        if (file.atEnd()) break;
        line = QString::fromLatin1(file.readLine()).remove('\r').remove('\n');
        if (!PassesNumberRule(line)) line.clear();
    }
    return {lines[0], lines[1], lines[2]};
}

QString FiguresText(std::size_t fixes, const AccuracyFigures& a, bool haveReference, bool narrow) {
    if (!haveReference) return QString("Fixes %1, no reference position yet").arg(fixes);
    const auto m = [](double v) { return QString::number(std::fabs(v) < 0.005 ? 0.0 : v, 'f', 2); };  // no "-0.00"
    return QString(narrow ? "Fixes %1   mean E %2 N %3 U %4 m\n\u03C3 E %5 N %6 U %7 m\n"
                            "CEP50 %8 m   CEP95 %9 m\n2DRMS %10 m   max %11 m"
                          : "Fixes %1   mean E %2 N %3 U %4 m   \u03C3 E %5 N %6 U %7 m\n"
                            "CEP50 %8 m   CEP95 %9 m   2DRMS %10 m   max %11 m")
        .arg(a.count)
        .arg(m(a.meanEast), m(a.meanNorth), m(a.meanUp), m(a.sigmaEast), m(a.sigmaNorth), m(a.sigmaUp), m(a.cep50),
             m(a.cep95))
        .arg(m(a.drms2), m(a.maxHorizontal));
}

bool WriteReferenceFile(const QString& path, const ReferenceTexts& texts, QString& error) {
    QFile file(path);
    const QByteArray content = (texts.longitude + "\r\n" + texts.latitude + "\r\n" + texts.height + "\r\n").toLatin1();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size() ||
        !file.flush()) {
        error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace track

namespace {

constexpr uint32_t kFirstColour = chart::ColourRef(128, 0, 128);
constexpr uint32_t kFixedColour = chart::ColourRef(255, 0, 0);
constexpr uint32_t kHistoryColour = chart::ColourRef(0, 255, 0);
constexpr uint32_t kCurrentColour = chart::ColourRef(0, 0, 255);

constexpr int kFigureLineHeight = 14;  // a line of the window's 10-pixel font
constexpr const char* kExportFilters = "GPX 1.1 (*.gpx);;KML 2.2 (*.kml);;CSV (*.csv)";

}  // namespace

CTrackView::CTrackView(INotifier& notifier, QWidget* parent, QString referenceFile)
    : QWidget(parent),
      m_notifier(notifier),
      m_referenceFile(std::move(referenceFile)),
      m_group(new QGroupBox("Reference Position", this)),
      m_mode(new QComboBox(this)),
      m_latitude(new QLineEdit(this)),
      m_longitude(new QLineEdit(this)),
      m_height(new QLineEdit(this)),
      m_ok(new QPushButton("OK", this)),
      m_export(new QPushButton("Export\u2026", this)),
      m_chart(new CTChart(chart::TrackChart(), this)),
      m_figures(new QLabel(this)) {
    QFont small = font();
    small.setPixelSize(10);
    setFont(small);
    m_mode->addItems({"First", "Fixed"});  // already in sorted order
    const char* captions[] = {"Lat:", "[D]", "Lng:", "[D]", "Hgt:", "[m]"};
    for (std::size_t i = 0; i < m_labels.size(); ++i) m_labels[i] = new QLabel(captions[i], this);
    m_group->lower();  // the controls stand over the group's frame
    connect(m_mode, &QComboBox::currentIndexChanged, this, &CTrackView::ModeChanged);
    connect(m_ok, &QPushButton::clicked, this, &CTrackView::OkClicked);
    connect(m_export, &QPushButton::clicked, this, &CTrackView::ExportClicked);
    m_figures->setObjectName("figures");
    m_figures->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_figures->setTextFormat(Qt::PlainText);
    ShowFigures();
    // Every fix stays in m_fixes for the figures and the export; the chart draws the
    // newest of them.
    m_chart->SetCapacity(track::kHistorySeries, track::kShownFixes);
    // Ctrl+C, V and X reach the edits as they are: the program's only accelerators are
    // Ctrl+N and F1.
    EnableEntry(false);
}

void CTrackView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ShowFigures();
    Layout();
}

namespace track {

std::vector<QPoint> FlowGroups(const std::vector<int>& widths, int available, int gap, int rowHeight) {
    std::vector<QPoint> at;
    int x = 0, y = 0;
    for (int w : widths) {
        if (x > 0 && x + w > available) x = 0, y += rowHeight;  // a group is never split
        at.push_back({x, y});
        x += w + gap;
    }
    return at;
}

}  // namespace track

// The reference row's controls keep the widths their texts need, in groups that stay
// together ("Lat:", its edit and "[D]"); a narrow tile wraps them onto a second row
// rather than pushing OK and Export past the window's edge.
void CTrackView::Layout() {
    constexpr int kRowHeight = 24, kGap = 6, kInset = 8, kGroupTop = 2, kFirstRowTop = 18;
    const int w = width(), h = height();
    const int kFiguresHeight = m_figureLines * kFigureLineHeight;
    const QFontMetrics fm(font());
    const auto label = [&](int i) { return fm.horizontalAdvance(m_labels[i]->text()) + 4; };
    const int coordinate = fm.horizontalAdvance("-123.4567890") + 10, heightWidth = fm.horizontalAdvance("-12345.67") + 10;
    // Each group: its widgets and their widths, left to right.
    const std::vector<std::vector<std::pair<QWidget*, int>>> groups = {
        {{m_mode, m_mode->sizeHint().width()}},
        {{m_labels[0], label(0)}, {m_latitude, coordinate}, {m_labels[1], label(1)}},
        {{m_labels[2], label(2)}, {m_longitude, coordinate}, {m_labels[3], label(3)}},
        {{m_labels[4], label(4)}, {m_height, heightWidth}, {m_labels[5], label(5)}},
        {{m_ok, m_ok->sizeHint().width()}, {m_export, m_export->sizeHint().width()}},
    };
    std::vector<int> widths;
    for (const auto& group : groups) {
        int sum = 0;
        for (const auto& part : group) sum += part.second;
        widths.push_back(sum + kGap * static_cast<int>(group.size() - 1));
    }
    const std::vector<QPoint> at = track::FlowGroups(widths, w - 2 * kInset, kGap, kRowHeight);
    for (std::size_t g = 0; g < groups.size(); ++g) {
        int x = kInset + at[g].x();
        for (const auto& [widget, width] : groups[g]) {
            widget->setGeometry(x, kFirstRowTop + at[g].y(), width, 20);
            x += width + kGap;
        }
    }
    const int groupHeight = kFirstRowTop + at.back().y() + kRowHeight + 3 - kGroupTop;
    const int chartTop = kGroupTop + groupHeight + 2;
    m_group->setGeometry(4, kGroupTop, std::max(0, w - 8), groupHeight);
    m_chart->setGeometry(4, chartTop, std::max(0, w - 8), std::max(0, h - chartTop - 2 - kFiguresHeight));
    m_figures->setGeometry(8, h - kFiguresHeight, std::max(0, w - 12), kFiguresHeight);
}

void CTrackView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_initialised) InitialUpdate();
}

// Once, when first shown: mode First, and the reference typed at an earlier run back in
// its edits (disabled until the user chooses Fixed).
void CTrackView::InitialUpdate() {
    m_initialised = true;
    m_mode->setCurrentIndex(First);
    const track::ReferenceTexts saved = track::ReadReferenceFile(m_referenceFile);
    m_longitude->setText(saved.longitude);
    m_latitude->setText(saved.latitude);
    m_height->setText(saved.height);
    EnableEntry(false);
}

bool CTrackView::event(QEvent* e) {
    const int type = e->type();
    if (type == MonitorWindowOf(WindowType::Track).clearMessage) {
        Reset();
        return true;
    }
    if (type != msg::kTrackEpoch && type != msg::kTrackRmc) return QWidget::event(e);
    const LinkPayload& p = static_cast<LinkEvent*>(e)->message.payload;
    if (const auto* epoch = std::get_if<EpochSummary>(&p)) {
        if (m_fixes.AddEpoch(*epoch)) FixStep(m_fixes.Fixes().back());
    } else if (const auto* rmc = std::get_if<RmcRecord>(&p)) {
        m_fixes.AddRmc(*rmc);  // the date, speed and course of the fix of its time
    }
    return true;
}

// One epoch's fix: the first since a reset in mode First is the reference; the others
// are plotted against it and counted in the figures.
void CTrackView::FixStep(const FixRecord& fix) {
    if (!m_referenceSet) {
        if (m_modeValue == First) {
            SetReference(fix.latitude, fix.longitude, fix.altitude, kFirstColour);
            m_referenceSet = true;
            m_accuracy.Add({0, 0, 0});  // the fix that is the reference
        }
        ShowFigures();
        return;
    }
    if (m_lastEast != 0 || m_lastNorth != 0) {
        m_chart->Clear(track::kCurrentSeries);
        m_chart->AddXY(track::kHistorySeries, m_lastEast, m_lastNorth, {}, kHistoryColour);
        PlotReference();
    }
    const track::Enu at = FixOffset(m_reference, fix);
    m_accuracy.Add(at);
    m_chart->AddXY(track::kCurrentSeries, at.east, at.north, {}, kCurrentColour);
    m_chart->SetCursorX(at.east);
    m_chart->SetCursorY(at.north);
    m_lastEast = at.east;
    m_lastNorth = at.north;
    const double m = std::max(std::fabs(at.east), std::fabs(at.north));
    if (m > m_halfRange) {
        m_halfRange = 1.05 * m;
        m_chart->SetMinMax(chart::AxisId::Left, -m_halfRange, m_halfRange);
        m_chart->SetMinMax(chart::AxisId::Bottom, -m_halfRange, m_halfRange);
    }
    ShowFigures();
}

void CTrackView::CountFixes() {
    m_accuracy.Clear();
    if (m_referenceSet)
        for (const FixRecord& fix : m_fixes.Fixes()) m_accuracy.Add(FixOffset(m_reference, fix));
    ShowFigures();
}

// Two lines where they fit the window's width, four where they would be cut.
void CTrackView::ShowFigures() {
    const auto text = [this](bool narrow) {
        return track::FiguresText(m_fixes.Fixes().size(), m_accuracy.Figures(), m_referenceSet, narrow);
    };
    QString shown = text(false);
    const QFontMetrics metrics(m_figures->font());
    const int room = width() - 12;
    for (const QString& line : shown.split('\n'))
        if (metrics.horizontalAdvance(line) > room) {
            shown = text(true);
            break;
        }
    m_figures->setText(shown);
    const int lines = static_cast<int>(shown.count('\n')) + 1 > 2 ? 4 : 2;
    if (lines != m_figureLines) {
        m_figureLines = lines;
        Layout();
    }
}

// The fixes since the last reset, in the format the file name's extension says or, for
// a name without one of the three, the chosen filter's (its extension is added).
void CTrackView::ExportClicked() {
    if (m_fixes.Fixes().empty()) return m_notifier.Show(this, "skyLedger", "No fixes to export since the last clear.");
    QString filter;
    QString path = m_notifier.SaveFileName(this, "Export", kExportFilters, &filter);
    if (path.isEmpty()) return;
    auto format = FormatOfPath(path.toStdString());
    if (!format) {
        format = filter.contains("*.kml") ? ExportFormat::Kml : filter.contains("*.csv") ? ExportFormat::Csv : ExportFormat::Gpx;
        path += ExtensionOf(*format);
    }
    std::ofstream out(QFile::encodeName(path).toStdString(), std::ios::binary | std::ios::trunc);
    if (out) WriteFixes(out, *format, m_fixes.Fixes(), "skyLedger track");
    if (out) out.close();
    if (!out) m_notifier.Show(this, "Error", QString("Cannot export to %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
}

void CTrackView::SetReference(double latitudeDeg, double longitudeDeg, double height, uint32_t colour) {
    m_reference = track::MakeReference(latitudeDeg, longitudeDeg, height);
    m_chart->AddXY(track::kReferenceSeries, 0, 0, {}, colour);
}

void CTrackView::PlotReference() {
    m_chart->Clear(track::kReferenceSeries);
    m_chart->AddXY(track::kReferenceSeries, 0, 0, {}, m_modeValue == Fixed ? kFixedColour : kFirstColour);
}

void CTrackView::OkClicked() {
    const QString longitude = m_longitude->text(), latitude = m_latitude->text(), height = m_height->text();
    for (const QString& text : {longitude, latitude, height}) {
        if (!track::PassesNumberRule(text)) return m_notifier.Show(this, "Error", "Point value must be digit!");
    }
    QString why;
    if (!track::WriteReferenceFile(m_referenceFile, {longitude, latitude, height}, why))
        m_notifier.Show(this, "Error", QString("Cannot keep the reference in %1: %2").arg(m_referenceFile, why));
    m_halfRange = 0;
    SetReference(latitude.toDouble(), longitude.toDouble(), height.toDouble(), kFixedColour);
    m_referenceSet = true;
    CountFixes();
}

void CTrackView::ChooseMode(Mode mode) { m_mode->setCurrentIndex(mode); }

void CTrackView::ModeChanged(int index) {
    if (index == m_modeValue || index < 0) return;
    m_halfRange = 0;
    m_lastEast = m_lastNorth = 0;
    m_referenceSet = false;
    m_modeValue = index;
    EnableEntry(index == Fixed);
    for (int series : {track::kReferenceSeries, track::kCurrentSeries, track::kHistorySeries}) m_chart->Clear(series);
    m_chart->SetCursorX(0);
    m_chart->SetCursorY(0);
    m_fixes.Clear();
    CountFixes();
}

void CTrackView::Reset() {
    m_halfRange = 0;
    m_lastEast = m_lastNorth = 0;
    if (m_modeValue == First) {
        m_referenceSet = false;
        m_chart->Clear(track::kReferenceSeries);
    }
    m_chart->Clear(track::kCurrentSeries);
    m_chart->Clear(track::kHistorySeries);
    m_chart->SetCursorX(0);
    m_chart->SetCursorY(0);
    m_fixes.Clear();
    CountFixes();
}

void CTrackView::EnableEntry(bool on) {
    for (QWidget* w : std::initializer_list<QWidget*>{m_latitude, m_longitude, m_height, m_ok}) w->setEnabled(on);
}
