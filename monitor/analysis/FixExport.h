// A run of fixes as files other programs open: GPX 1.1 (a track of points with time,
// elevation, fix type, satellites and DOPs), KML 2.2 (the track as a line and a
// placemark per fix) and CSV (a header row, then one row per fix with every GGA and RMC
// field). Numbers are written the same whatever the locale.
#pragma once

#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "monitor/analysis/FixRecord.h"

enum class ExportFormat { Gpx, Kml, Csv };

// By the file name's extension (".gpx", ".kml", ".csv", any case); nothing for another.
std::optional<ExportFormat> FormatOfPath(std::string_view path);
const char* ExtensionOf(ExportFormat format);  // ".gpx"

// `name` names the track inside the file (the capture's file name, say).
void WriteGpx(std::ostream& out, std::span<const FixRecord> fixes, std::string_view name);
void WriteKml(std::ostream& out, std::span<const FixRecord> fixes, std::string_view name);
void WriteCsv(std::ostream& out, std::span<const FixRecord> fixes);
void WriteFixes(std::ostream& out, ExportFormat format, std::span<const FixRecord> fixes, std::string_view name);

// GPX's <fix>: "dgps" for GGA quality 2, 4 and 5 (differential and RTK), "pps" for 3,
// else "2d" or "3d" from the satellite report; nothing when neither says (quality 6,
// estimated, has no GPX value).
std::optional<std::string_view> GpxFixOf(const FixRecord& fix);

// The CSV's header row, without its line end.
std::string_view CsvHeader();
