#include "bench/ReferenceNmea.h"

#include <cstring>

namespace reference {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// "$...*hh": the XOR of everything between "$" and "*" against the two digits, which
// end the line.
bool ChecksumOk(std::string_view line) {
    if (line.size() < 4 || line[0] != '$') return false;
    uint8_t sum = 0;
    std::size_t i = 1;
    for (; i < line.size() && line[i] != '*'; ++i) sum ^= static_cast<uint8_t>(line[i]);
    if (i + 3 != line.size()) return false;
    const int hi = HexDigit(line[i + 1]), lo = HexDigit(line[i + 2]);
    return hi >= 0 && lo >= 0 && (hi << 4 | lo) == sum;
}

// The fields after the sentence name, one at a time; missing ones read empty.
class Fields {
public:
    explicit Fields(std::string_view body) : m_rest(body), m_done(false) {}
    std::string_view Next() {
        if (m_done) return {};
        const std::size_t comma = m_rest.find(',');
        const std::string_view field = m_rest.substr(0, comma);
        if (comma == std::string_view::npos) m_done = true;
        else m_rest.remove_prefix(comma + 1);
        return field;
    }

private:
    std::string_view m_rest;
    bool m_done;
};

bool ToInt(std::string_view f, int& out) {
    out = 0;
    bool negative = !f.empty() && f[0] == '-';
    if (negative) f.remove_prefix(1);
    for (char c : f) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    if (negative) out = -out;
    return true;
}

// Digits beyond what an int32 holds are ignored, as the small parsers do.
bool ToScaled(std::string_view f, Scaled& out) {
    out = {};
    if (f.empty()) return true;
    const bool negative = f[0] == '-';
    if (negative || f[0] == '+') f.remove_prefix(1);
    int32_t value = 0, scale = 1;
    bool point = false;
    for (char c : f) {
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            if (value > 214748363 || scale > 100000000) continue;
            value = value * 10 + (c - '0');
            if (point) scale *= 10;
        } else {
            return false;
        }
    }
    out = {negative ? -value : value, scale};
    return true;
}

bool TwoDigits(const char* p, int& out) {
    if (p[0] < '0' || p[0] > '9' || p[1] < '0' || p[1] > '9') return false;
    out = (p[0] - '0') * 10 + (p[1] - '0');
    return true;
}

// hhmmss with an optional fraction of a second.
bool ToTime(std::string_view f, Time& out) {
    out = {};
    if (f.empty()) return true;
    if (f.size() < 6 || !TwoDigits(&f[0], out.hours) || !TwoDigits(&f[2], out.minutes) ||
        !TwoDigits(&f[4], out.seconds))
        return false;
    out.microseconds = 0;
    if (f.size() == 6) return true;
    if (f[6] != '.') return false;
    int scale = 1000000;
    for (char c : f.substr(7)) {
        if (c < '0' || c > '9') return false;
        scale /= 10;
        out.microseconds += (c - '0') * scale;
    }
    return true;
}

bool ToDate(std::string_view f, Date& out) {
    out = {};
    if (f.empty()) return true;
    return f.size() == 6 && TwoDigits(&f[0], out.day) && TwoDigits(&f[2], out.month) && TwoDigits(&f[4], out.year);
}

char ToChar(std::string_view f) { return f.empty() ? '\0' : f[0]; }

// ddmm.mmmm kept as it stands, negative for south and west.
bool ToCoordinate(Fields& fields, Scaled& out) {
    if (!ToScaled(fields.Next(), out)) return false;
    const char hemisphere = ToChar(fields.Next());
    if (hemisphere == 'S' || hemisphere == 'W') out.value = -out.value;
    return true;
}

bool ParseGga(Fields f, Gga& g) {
    if (!ToTime(f.Next(), g.time) || !ToCoordinate(f, g.latitude) || !ToCoordinate(f, g.longitude) ||
        !ToInt(f.Next(), g.fixQuality) || !ToInt(f.Next(), g.satellitesTracked) || !ToScaled(f.Next(), g.hdop) ||
        !ToScaled(f.Next(), g.altitude))
        return false;
    g.altitudeUnits = ToChar(f.Next());
    if (!ToScaled(f.Next(), g.height)) return false;
    g.heightUnits = ToChar(f.Next());
    return ToScaled(f.Next(), g.dgpsAge);
}

bool ParseGll(Fields f, Gll& g) {
    if (!ToCoordinate(f, g.latitude) || !ToCoordinate(f, g.longitude) || !ToTime(f.Next(), g.time)) return false;
    g.status = ToChar(f.Next());
    g.mode = ToChar(f.Next());
    return true;
}

bool ParseGsa(Fields f, Gsa& g) {
    g.mode = ToChar(f.Next());
    if (!ToInt(f.Next(), g.fixType)) return false;
    for (int& sat : g.sats)
        if (!ToInt(f.Next(), sat)) return false;
    return ToScaled(f.Next(), g.pdop) && ToScaled(f.Next(), g.hdop) && ToScaled(f.Next(), g.vdop);
}

bool ParseGsv(Fields f, Gsv& g) {
    if (!ToInt(f.Next(), g.totalMessages) || !ToInt(f.Next(), g.messageNumber) || !ToInt(f.Next(), g.totalSatellites))
        return false;
    for (SatelliteInfo& s : g.satellites)
        if (!ToInt(f.Next(), s.number) || !ToInt(f.Next(), s.elevation) || !ToInt(f.Next(), s.azimuth) ||
            !ToInt(f.Next(), s.snr))
            return false;
    return true;
}

bool ParseRmc(Fields f, Rmc& r) {
    if (!ToTime(f.Next(), r.time)) return false;
    r.valid = ToChar(f.Next()) == 'A';
    if (!ToCoordinate(f, r.latitude) || !ToCoordinate(f, r.longitude) || !ToScaled(f.Next(), r.speed) ||
        !ToScaled(f.Next(), r.course) || !ToDate(f.Next(), r.date))
        return false;
    return ToCoordinate(f, r.variation);
}

bool ParseVtg(Fields f, Vtg& v) {
    if (!ToScaled(f.Next(), v.trueTrack)) return false;
    f.Next();  // T
    if (!ToScaled(f.Next(), v.magneticTrack)) return false;
    f.Next();  // M
    if (!ToScaled(f.Next(), v.speedKnots)) return false;
    f.Next();  // N
    if (!ToScaled(f.Next(), v.speedKph)) return false;
    f.Next();  // K
    v.mode = ToChar(f.Next());
    return true;
}

Kind Parsed(bool ok, Kind kind) { return ok ? kind : Kind::Invalid; }

}  // namespace

Kind ParseLine(std::string_view line, Sentence& out) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!ChecksumOk(line)) return out.kind = Kind::Invalid;
    if (line.size() < 10 || line[6] != ',') return out.kind = Kind::Unknown;
    const std::string_view type = line.substr(3, 3);
    const Fields fields(line.substr(7, line.size() - 10));
    if (type == "GGA") return out.kind = Parsed(ParseGga(fields, out.gga = {}), Kind::Gga);
    if (type == "GLL") return out.kind = Parsed(ParseGll(fields, out.gll = {}), Kind::Gll);
    if (type == "GSA") return out.kind = Parsed(ParseGsa(fields, out.gsa = {}), Kind::Gsa);
    if (type == "GSV") return out.kind = Parsed(ParseGsv(fields, out.gsv = {}), Kind::Gsv);
    if (type == "RMC") return out.kind = Parsed(ParseRmc(fields, out.rmc = {}), Kind::Rmc);
    if (type == "VTG") return out.kind = Parsed(ParseVtg(fields, out.vtg = {}), Kind::Vtg);
    return out.kind = Kind::Unknown;
}

std::size_t ParseStream(std::string_view stream, Sentence& last) {
    std::size_t parsed = 0;
    while (!stream.empty()) {
        const void* lf = std::memchr(stream.data(), '\n', stream.size());
        const std::size_t length = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - stream.data())
                                      : stream.size();
        const Kind kind = ParseLine(stream.substr(0, length), last);
        parsed += kind != Kind::Invalid && kind != Kind::Unknown;
        stream.remove_prefix(lf ? length + 1 : length);
    }
    return parsed;
}

}  // namespace reference
