#include "flash/records/RecordsReport.h"

#include <algorithm>
#include <cstdio>

namespace records {

namespace {

// The pictures' geometry in SVG user units; the page scales them to its width.
constexpr int kChartWidth = 760;
constexpr int kChartHeight = 260;
constexpr int kLeft = 48, kRight = 48, kTop = 16, kBottom = 40;
constexpr int kBarRow = 26;            // one failure cause
constexpr int kLabelWidth = 420;       // the cause's words beside its bar
constexpr std::size_t kLongestCause = 52;  // characters that fit in it at 11 units, with the code
constexpr std::size_t kMostCauses = 12;
constexpr const char* kPassColour = "#2e7d32";
constexpr const char* kRunsColour = "#b0bec5";
constexpr const char* kFailColour = "#c62828";

std::string Num(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", v);
    return text;
}

std::string Text(double x, double y, const std::string& text, const char* anchor = "middle", int size = 11) {
    return "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" font-size=\"" + std::to_string(size) +
           "\" text-anchor=\"" + anchor + "\">" + HtmlEscaped(text) + "</text>";
}

std::string Rect(double x, double y, double w, double h, const char* fill, const std::string& title) {
    return "<rect x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" width=\"" + Num(w) + "\" height=\"" + Num(h) +
           "\" fill=\"" + fill + "\"><title>" + HtmlEscaped(title) + "</title></rect>";
}

std::string Line(double x1, double y1, double x2, double y2, const char* stroke) {
    return "<line x1=\"" + Num(x1) + "\" y1=\"" + Num(y1) + "\" x2=\"" + Num(x2) + "\" y2=\"" + Num(y2) +
           "\" stroke=\"" + stroke + "\"/>";
}

std::string TallyTable(const char* title, const std::vector<Tally>& tallies) {
    std::string html = "<h2>" + std::string(title) + "</h2>\n<table>\n<tr><th></th><th>runs</th><th>passed</th>"
                       "<th>failed</th><th>yield</th></tr>\n";
    for (const Tally& t : tallies)
        html += "<tr><td>" + HtmlEscaped(t.key.empty() ? "(none)" : t.key) + "</td><td>" + std::to_string(t.runs) +
                "</td><td>" + std::to_string(t.passed) + "</td><td>" + std::to_string(t.Failed()) + "</td><td>" +
                Num(t.YieldPercent()) + " %</td></tr>\n";
    return html + "</table>\n";
}

std::string FailureTable(const std::vector<FailureCount>& failures) {
    std::string html = "<h2>Failures by code and step</h2>\n<table>\n<tr><th>count</th><th>result</th>"
                       "<th>meaning</th><th>failing step</th></tr>\n";
    for (const FailureCount& f : failures)
        html += "<tr><td>" + std::to_string(f.count) + "</td><td>" + HtmlEscaped(f.code) + "</td><td>" +
                HtmlEscaped(f.meaning) + "</td><td>" + HtmlEscaped(f.step) + "</td></tr>\n";
    return html + "</table>\n";
}

std::string CauseOf(const FailureCount& f) { return f.step.empty() ? f.meaning : f.step; }

}  // namespace

std::string HtmlEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string YieldChartSvg(const std::vector<Tally>& days) {
    const int plotW = kChartWidth - kLeft - kRight, plotH = kChartHeight - kTop - kBottom;
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + std::to_string(kChartWidth) + " " +
                      std::to_string(kChartHeight) + "\" role=\"img\" aria-label=\"Yield per day\">";
    int most = 1;
    for (const Tally& t : days) most = std::max(most, t.runs);
    // The yield's scale on the left (grid lines each 25 %), the runs' on the right.
    for (int p = 0; p <= 100; p += 25) {
        const double y = kTop + plotH * (1 - p / 100.0);
        svg += Line(kLeft, y, kLeft + plotW, y, "#e0e0e0") + Text(kLeft - 6, y + 4, std::to_string(p) + "%", "end");
    }
    svg += Text(kLeft + plotW + 6, kTop + 4, std::to_string(most) + " runs", "start");
    const double step = days.empty() ? 0 : static_cast<double>(plotW) / static_cast<double>(days.size());
    const std::size_t labelEvery = std::max<std::size_t>(1, (days.size() + 9) / 10);
    std::string points;
    for (std::size_t i = 0; i < days.size(); ++i) {
        const Tally& t = days[i];
        const double x = kLeft + step * static_cast<double>(i), h = plotH * static_cast<double>(t.runs) / most;
        svg += Rect(x + step * 0.15, kTop + plotH - h, step * 0.7, h, kRunsColour,
                    t.key + ": " + std::to_string(t.runs) + " runs");
        const double cx = x + step / 2, cy = kTop + plotH * (1 - t.YieldPercent() / 100);
        points += Num(cx) + "," + Num(cy) + " ";
        svg += "<circle cx=\"" + Num(cx) + "\" cy=\"" + Num(cy) + "\" r=\"3.5\" fill=\"" + kPassColour + "\"><title>" +
               HtmlEscaped(t.key + ": " + Num(t.YieldPercent()) + " % of " + std::to_string(t.runs)) +
               "</title></circle>";
        if (i % labelEvery == 0) svg += Text(cx, kTop + plotH + 16, t.key.substr(5));
    }
    if (days.size() > 1)
        svg += "<polyline fill=\"none\" stroke=\"" + std::string(kPassColour) + "\" stroke-width=\"2\" points=\"" +
               points + "\"/>";
    svg += Line(kLeft, kTop + plotH, kLeft + plotW, kTop + plotH, "#616161");
    svg += Text(kLeft + plotW / 2.0, kChartHeight - 6, "day (yield: line, runs: bars)");
    return svg + "</svg>";
}

std::string FailureChartSvg(const std::vector<FailureCount>& failures) {
    const std::size_t rows = std::min(failures.size(), kMostCauses);
    const int height = kTop + static_cast<int>(std::max<std::size_t>(rows, 1)) * kBarRow + kTop;
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + std::to_string(kChartWidth) + " " +
                      std::to_string(height) + "\" role=\"img\" aria-label=\"Failures by cause\">";
    if (rows == 0) return svg + Text(kChartWidth / 2.0, kTop + 16, "no failures") + "</svg>";
    const int most = failures[0].count;
    const int barSpace = kChartWidth - kLabelWidth - 60;
    for (std::size_t i = 0; i < rows; ++i) {
        const FailureCount& f = failures[i];
        const double y = kTop + static_cast<double>(i) * kBarRow;
        std::string cause = CauseOf(f);
        if (cause.size() > kLongestCause) cause = cause.substr(0, kLongestCause - 3) + "...";
        svg += Text(kLabelWidth - 8, y + 16, cause + " (" + f.code + ")", "end");
        const double w = std::max(2.0, static_cast<double>(barSpace) * f.count / most);
        svg += Rect(kLabelWidth, y + 4, w, kBarRow - 8, kFailColour, CauseOf(f) + ": " + std::to_string(f.count));
        svg += Text(kLabelWidth + w + 6, y + 16, std::to_string(f.count), "start");
    }
    return svg + "</svg>";
}

std::string RecordsReportHtml(const std::vector<StoredRecord>& records, const ReportHeading& heading) {
    const Tally all = TallyAll(records);
    const std::vector<FailureCount> failures = Failures(records);
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Flash records</title>\n"
        "<style>body{font-family:sans-serif;margin:2em;max-width:60em;color:#212121}"
        "table{border-collapse:collapse;margin-bottom:1.5em}td,th{border:1px solid #bdbdbd;padding:.2em .6em;"
        "text-align:right}td:first-child{text-align:left}svg{width:100%;height:auto;max-width:760px}"
        ".total{font-size:1.3em}</style>\n</head>\n<body>\n<h1>Flash records</h1>\n";
    html += "<p>" + HtmlEscaped(heading.source) + (heading.since.empty() ? "" : ", since " + HtmlEscaped(heading.since)) +
            "; made " + HtmlEscaped(heading.made) + "</p>\n";
    html += "<p class=\"total\">" + std::to_string(all.runs) + " runs, " + std::to_string(all.passed) + " passed, " +
            std::to_string(all.Failed()) + " failed: yield " + Num(all.YieldPercent()) + " %</p>\n";
    const std::vector<Tally> days = TallyBy(records, GroupBy::kDay);
    html += "<h2>Yield over time</h2>\n" + YieldChartSvg(days) + "\n";
    html += "<h2>Failures by cause</h2>\n" + FailureChartSvg(failures) + "\n";
    html += TallyTable("By day", days) + TallyTable("By station", TallyBy(records, GroupBy::kStation)) +
            TallyTable("By image (SHA-256)", TallyBy(records, GroupBy::kImage)) +
            TallyTable("By lot", TallyBy(records, GroupBy::kLot)) +
            TallyTable("By operator", TallyBy(records, GroupBy::kOperator)) + FailureTable(failures);
    return html + "</body>\n</html>\n";
}

}  // namespace records
