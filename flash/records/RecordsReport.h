// A page of the run records that people would rather look at than read: the totals,
// yield over time and failures by cause as pictures (inline SVG drawn here), and the
// tables under them. One self-contained HTML file: no script, no style sheet, no font
// or picture from anywhere else, so it opens on a machine without a network and can be
// mailed as it is.
#pragma once

#include <string>
#include <vector>

#include "flash/records/RecordQueries.h"

namespace records {

struct ReportHeading {
    std::string source;  // where the records came from
    std::string since;   // the first day shown ("2024-05-01"); empty: all
    std::string made;    // when the page was made (ISO time)
};

std::string RecordsReportHtml(const std::vector<StoredRecord>& records, const ReportHeading& heading);

// The pictures on their own: yield per day as a line over bars of the runs, and the
// failures as bars, the most frequent first.
std::string YieldChartSvg(const std::vector<Tally>& days);
std::string FailureChartSvg(const std::vector<FailureCount>& failures);

std::string HtmlEscaped(const std::string& text);

}  // namespace records
