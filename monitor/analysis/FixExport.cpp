#include "monitor/analysis/FixExport.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

namespace {

constexpr const char* kCreator = "skyLedger toolkit";

// Fixed-point text with `decimals` digits; to_chars does not look at the locale.
std::string Number(double value, int decimals) {
    std::array<char, 64> text{};
    const auto [end, ec] = std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, decimals);
    if (ec != std::errc()) return "0";
    std::string s(text.data(), end);
    if (s.find_first_not_of("-0.") == std::string::npos) s = decimals > 0 ? "0." + std::string(decimals, '0') : "0";
    return s;
}

std::string Char(char c) { return c > ' ' && c != ',' && c != '"' ? std::string(1, c) : std::string(); }

std::string Escaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += static_cast<unsigned char>(c) < ' ' ? ' ' : c;
        }
    }
    return out;
}

std::string Element(std::string_view name, const std::string& value) {
    return "<" + std::string(name) + ">" + value + "</" + std::string(name) + ">";
}

// The longitude every format writes: from -180 up to, not including, 180, as GPX's
// schema has it (180 E and 180 W are one meridian), so that the files of one fix agree.
double Longitude(const FixRecord& f) { return f.longitude >= 180 ? f.longitude - 360 : f.longitude; }

// A point's "lon,lat,alt" as KML wants it.
std::string KmlCoordinates(const FixRecord& f) {
    return Number(Longitude(f), 8) + "," + Number(f.latitude, 8) + "," + Number(f.altitude, 3);
}

}  // namespace

std::optional<ExportFormat> FormatOfPath(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || path.find('/', dot) != std::string_view::npos) return std::nullopt;
    std::string ext(path.substr(dot));
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    for (ExportFormat f : {ExportFormat::Gpx, ExportFormat::Kml, ExportFormat::Csv})
        if (ext == ExtensionOf(f)) return f;
    return std::nullopt;
}

const char* ExtensionOf(ExportFormat format) {
    switch (format) {
        case ExportFormat::Gpx: return ".gpx";
        case ExportFormat::Kml: return ".kml";
        case ExportFormat::Csv: return ".csv";
    }
    return "";
}

std::optional<std::string_view> GpxFixOf(const FixRecord& fix) {
    switch (fix.fixQuality) {
        case 2: case 4: case 5: return "dgps";
        case 3: return "pps";
        case 6: return std::nullopt;
        default: break;
    }
    if (fix.fixType == '2') return "2d";
    if (fix.fixType == '3') return "3d";
    if (fix.fixType == '1') return "none";
    return std::nullopt;
}

// <trkpt> children in the order the GPX 1.1 schema's wptType gives them: ele, time,
// magvar, geoidheight, ..., fix, sat, hdop, vdop, pdop, ageofdgpsdata, dgpsid.
void WriteGpx(std::ostream& out, std::span<const FixRecord> fixes, std::string_view name) {
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<gpx version=\"1.1\" creator=\"" << kCreator << "\" xmlns=\"http://www.topografix.com/GPX/1/1\""
           " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
           " xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd\">\n"
           " <trk>\n  " << Element("name", Escaped(name)) << "\n  <trkseg>\n";
    for (const FixRecord& f : fixes) {
        out << "   <trkpt lat=\"" << Number(f.latitude, 8) << "\" lon=\"" << Number(Longitude(f), 8) << "\">";
        out << Element("ele", Number(f.altitude, 3));
        if (const auto time = IsoTime(f)) out << Element("time", *time);
        if (f.hasRmc && f.magneticVariation > 0 && f.magneticVariation < 360) {
            const double east = f.variationDirection == 'W' ? 360.0 - f.magneticVariation : f.magneticVariation;
            out << Element("magvar", Number(east, 2));
        }
        out << Element("geoidheight", Number(f.geoidSeparation, 3));
        if (const auto fix = GpxFixOf(f)) out << Element("fix", std::string(*fix));
        out << Element("sat", std::to_string(f.satellitesUsed)) << Element("hdop", Number(f.hdop, 2));
        if (f.vdop > 0) out << Element("vdop", Number(f.vdop, 2));
        if (f.pdop > 0) out << Element("pdop", Number(f.pdop, 2));
        if (f.differentialAge > 0) out << Element("ageofdgpsdata", Number(f.differentialAge, 1));
        if (f.differentialStation > 0 && f.differentialStation <= 1023)
            out << Element("dgpsid", std::to_string(f.differentialStation));
        out << "</trkpt>\n";
    }
    out << "  </trkseg>\n </trk>\n</gpx>\n";
}

// Styles first, then the line, then a folder of one placemark per fix, as KML 2.2's
// Document takes them; heights are the GGA altitude, so "absolute" (above sea level).
void WriteKml(std::ostream& out, std::span<const FixRecord> fixes, std::string_view name) {
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
           " <Document>\n  " << Element("name", Escaped(name)) << "\n"
           "  <Style id=\"track\"><LineStyle><color>ffff0000</color><width>2</width></LineStyle></Style>\n"
           "  <Style id=\"fix\"><IconStyle><scale>0.4</scale></IconStyle><LabelStyle><scale>0</scale></LabelStyle></Style>\n";
    // A line needs points: readers take an empty one for a point at 0, 0.
    if (!fixes.empty()) {
        out << "  <Placemark>\n   <name>Track</name>\n   <styleUrl>#track</styleUrl>\n"
               "   <LineString><tessellate>1</tessellate><altitudeMode>absolute</altitudeMode>\n    <coordinates>";
        for (const FixRecord& f : fixes) out << KmlCoordinates(f) << "\n";
        out << "</coordinates>\n   </LineString>\n  </Placemark>\n";
    }
    out << "  <Folder>\n   <name>Fixes</name>\n";
    std::size_t n = 0;
    for (const FixRecord& f : fixes) {
        out << "   <Placemark>" << Element("name", std::to_string(++n))
            << Element("description", "quality " + std::to_string(f.fixQuality) + ", " +
                                          std::to_string(f.satellitesUsed) + " satellites, HDOP " + Number(f.hdop, 2));
        if (const auto time = IsoTime(f)) out << "<TimeStamp>" << Element("when", *time) << "</TimeStamp>";
        out << "<styleUrl>#fix</styleUrl><Point><altitudeMode>absolute</altitudeMode>"
            << Element("coordinates", KmlCoordinates(f)) << "</Point></Placemark>\n";
    }
    out << "  </Folder>\n </Document>\n</kml>\n";
}

std::string_view CsvHeader() {
    return "utc,date,time,latitude,northSouth,longitude,eastWest,fixQuality,satellitesUsed,hdop,altitude,"
           "geoidSeparation,differentialAge,differentialStation,fixType,pdop,vdop,"
           "rmcStatus,speedKnots,course,magneticVariation,variationDirection,rmcMode";
}

// The RMC's columns stay empty for a fix without an RMC of its time; its position is
// the GGA's, which the RMC of the same epoch repeats.
void WriteCsv(std::ostream& out, std::span<const FixRecord> fixes) {
    out << CsvHeader() << "\n";
    for (const FixRecord& f : fixes) {
        const auto time = IsoTime(f);
        std::string row = time.value_or("") + "," + (time ? time->substr(0, 10) : "") + "," + TimeOfDay(f) + "," +
                          Number(f.latitude, 8) + "," + Char(f.northSouth) + "," + Number(Longitude(f), 8) + "," +
                          Char(f.eastWest) + "," + std::to_string(f.fixQuality) + "," +
                          std::to_string(f.satellitesUsed) + "," + Number(f.hdop, 2) + "," + Number(f.altitude, 3) +
                          "," + Number(f.geoidSeparation, 3) + "," + Number(f.differentialAge, 1) + "," +
                          std::to_string(f.differentialStation) + "," + Char(f.fixType) + "," +
                          (f.fixType ? Number(f.pdop, 2) : "") + "," + (f.fixType ? Number(f.vdop, 2) : "");
        if (f.hasRmc) {
            row += "," + Char(f.rmcStatus) + "," + Number(f.speedKnots, 3) + "," + Number(f.course, 2) + "," +
                   Number(f.magneticVariation, 2) + "," + Char(f.variationDirection) + "," + Char(f.rmcMode);
        } else {
            row += ",,,,,,";
        }
        out << row << "\n";
    }
}

void WriteFixes(std::ostream& out, ExportFormat format, std::span<const FixRecord> fixes, std::string_view name) {
    switch (format) {
        case ExportFormat::Gpx: return WriteGpx(out, fixes, name);
        case ExportFormat::Kml: return WriteKml(out, fixes, name);
        case ExportFormat::Csv: return WriteCsv(out, fixes);
    }
}
