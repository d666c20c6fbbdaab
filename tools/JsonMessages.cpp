#include "tools/JsonMessages.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <type_traits>

#include "monitor/link/Framing.h"

namespace {

class Json {
public:
    Json& Key(const char* name) {
        Separate();
        m_out += '"';
        m_out += name;
        m_out += "\":";
        m_fresh = true;
        return *this;
    }
    Json& Open(char bracket) {
        Separate();
        m_out += bracket;
        m_fresh = true;
        return *this;
    }
    Json& Close(char bracket) {
        m_out += bracket;
        m_fresh = false;
        return *this;
    }
    Json& Int(long long v) { return Raw(std::to_string(v)); }
    Json& Real(double v) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.9g", v);
        return Raw(buf);
    }
    Json& Char(char c) { return Text(c ? std::string_view(&c, 1) : std::string_view()); }
    Json& Text(std::string_view s) {
        Separate();
        m_out += '"';
        for (const char c : s) {
            const auto u = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') (m_out += '\\') += c;
            else if (c == '\r') m_out += "\\r";
            else if (c == '\n') m_out += "\\n";
            else if (u < 0x20 || u >= 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", u);
                m_out += buf;
            } else m_out += c;
        }
        m_out += '"';
        m_fresh = false;
        return *this;
    }
    std::string Take() { return std::move(m_out); }

private:
    Json& Raw(const std::string& s) {
        Separate();
        m_out += s;
        m_fresh = false;
        return *this;
    }
    void Separate() {
        if (!m_fresh && !m_out.empty()) m_out += ',';
        m_fresh = false;
    }
    std::string m_out;
    bool m_fresh = true;
};

void Write(Json& j, const GgaRecord& r) {
    j.Key("gga").Open('{');
    j.Key("hour").Int(r.hour).Key("minute").Int(r.minute).Key("second").Real(r.second);
    j.Key("latitude").Real(r.latitude).Key("latitudeDegrees").Int(r.latitudeDegrees);
    j.Key("latitudeMinutes").Int(r.latitudeMinutes).Key("latitudeSeconds").Real(r.latitudeSeconds);
    j.Key("northSouth").Char(r.northSouth);
    j.Key("longitude").Real(r.longitude).Key("longitudeDegrees").Int(r.longitudeDegrees);
    j.Key("longitudeMinutes").Int(r.longitudeMinutes).Key("longitudeSeconds").Real(r.longitudeSeconds);
    j.Key("eastWest").Char(r.eastWest);
    j.Key("fixQuality").Int(r.fixQuality).Key("satellitesUsed").Int(r.satellitesUsed);
    j.Key("hdop").Real(r.hdop).Key("altitude").Real(r.altitude).Key("geoidSeparation").Real(r.geoidSeparation);
    j.Key("differentialAge").Real(r.differentialAge).Key("differentialStation").Int(r.differentialStation);
    j.Close('}');
}

void Write(Json& j, const RmcRecord& r) {
    j.Key("rmc").Open('{');
    j.Key("hour").Int(r.hour).Key("minute").Int(r.minute).Key("second").Real(r.second);
    j.Key("status").Char(r.status);
    j.Key("latitudeDegrees").Int(r.latitudeDegrees).Key("latitudeMinutes").Real(r.latitudeMinutes);
    j.Key("northSouth").Char(r.northSouth);
    j.Key("longitudeDegrees").Int(r.longitudeDegrees).Key("longitudeMinutes").Real(r.longitudeMinutes);
    j.Key("eastWest").Char(r.eastWest);
    j.Key("speedKnots").Real(r.speedKnots).Key("course").Real(r.course);
    j.Key("year").Int(r.year).Key("month").Int(r.month).Key("day").Int(r.day);
    j.Key("magneticVariation").Real(r.magneticVariation).Key("variationDirection").Char(r.variationDirection);
    j.Key("mode").Char(r.mode);
    j.Close('}');
}

void Write(Json& j, const VtgRecord& r) {
    j.Key("vtg").Open('{');
    j.Key("courseTrue").Real(r.courseTrue).Key("courseMagnetic").Real(r.courseMagnetic);
    j.Key("speedKnots").Real(r.speedKnots).Key("speedKmh").Real(r.speedKmh).Key("mode").Char(r.mode);
    j.Close('}');
}

void Write(Json& j, const UsedSatelliteSet& r) {
    j.Key("used").Open('{');
    j.Key("gsaSentences").Int(r.gsaSentences).Key("usedPerSentence").Open('[');
    for (int i = 0; i < r.gsaSentences && i < kMaxGroups; ++i) j.Int(r.usedPerSentence[i]);
    j.Close(']');
    j.Key("mode").Char(r.mode).Key("fixType").Char(r.fixType).Key("count").Int(r.count);
    j.Key("satellites").Open('[');
    for (int i = 0; i < r.count; ++i) j.Open('{').Key("prn").Int(r.prn[i]).Key("system").Int(r.system[i]).Close('}');
    j.Close(']');
    j.Key("pdop").Real(r.pdop).Key("hdop").Real(r.hdop).Key("vdop").Real(r.vdop);
    j.Close('}');
}

void Write(Json& j, const SatelliteViewSet& r) {
    j.Key("view").Open('{');
    j.Key("completedGroups").Int(r.completedGroups).Key("groupSystem").Open('[');
    for (int i = 0; i < r.completedGroups; ++i) j.Int(r.groupSystem[i]);
    j.Close(']');
    j.Key("highestSnr").Int(r.highestSnr).Key("lowestSnr").Int(r.lowestSnr);
    j.Key("trackedCount").Int(r.trackedCount).Key("count").Int(r.count).Key("satellites").Open('[');
    for (int i = 0; i < r.count; ++i) {
        const SatelliteEntry& s = r.satellites[i];
        j.Open('{').Key("prn").Int(s.prn).Key("elevation").Int(s.elevation).Key("azimuth").Int(s.azimuth);
        j.Key("snr").Int(s.snr).Key("system").Int(s.system).Close('}');
    }
    j.Close(']').Close('}');
}

void Write(Json& j, const RawSentence& r) {
    j.Key("start").Int(r.start).Key("length").Int(r.length);
    j.Key("sentence").Text(std::string_view(r.text, r.length));
}

// The decoded lines, the last one empty; nothing for a reply the decoder did not know.
void Write(Json& j, const DecodedReply& r) {
    const std::string_view text = r.text;
    if (text.empty()) return;
    j.Key("reply").Open('[');
    std::size_t at = 0;
    while (at < text.size()) {
        const auto end = text.find("\r\n", at);
        j.Text(text.substr(at, end == std::string_view::npos ? text.npos : end - at));
        if (end == std::string_view::npos) break;
        at = end + 2;
    }
    j.Close(']');
}

// An epoch as Track and Fix mode take it: its fix type and DOPs when it had a GSA, its
// GGA when it had one.
void Write(Json& j, const EpochSummary& r) {
    j.Key("epoch").Open('{');
    if (r.hasReport) j.Key("fixType").Char(r.fixType).Key("pdop").Real(r.pdop).Key("hdop").Real(r.hdop).Key("vdop").Real(r.vdop);
    if (r.hasGga) Write(j, r.gga);
    j.Close('}');
}

// One row per signal (or per satellite where the receiver names no signal).
void Write(Json& j, const SatelliteTable& t) {
    j.Key("rows").Open('[');
    for (const SatelliteRow& r : t.rows) {
        j.Open('{').Key("system").Int(r.system).Key("prn").Int(r.prn).Key("signal").Int(r.signalId);
        j.Key("elevation").Int(r.elevation).Key("azimuth").Int(r.azimuth).Key("snr").Int(r.snr);
        j.Key("used").Int(r.used ? 1 : 0).Close('}');
    }
    j.Close(']');
}

// The tools never turn the console on; its lines are the capture's own.
void Write(Json& j, const ConsoleBatch& b) { j.Key("lines").Int(static_cast<int>(b.entries.size())); }

void Write(Json&, const std::monostate&) {}

}  // namespace

std::string MessageJson(const LinkMessage& message) {
    Json j;
    j.Open('{').Key("msg").Int(message.number).Key("window").Text(WindowName(TargetOf(message.number)));
    std::visit([&](const auto& payload) { Write(j, payload); }, message.payload);
    j.Close('}');
    return j.Take();
}

std::string BinaryJson(std::span<const uint8_t> packet) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const uint8_t b : packet) (hex += kHex[b >> 4]) += kHex[b & 0x0F];
    std::array<uint8_t, 100> reply{};
    std::copy_n(packet.begin(), std::min(packet.size(), reply.size()), reply.begin());
    BinaryReplyFields fields{};
    Json j;
    j.Open('{').Key("binary").Text(hex).Key("check").Int(CheckBinaryReply(reply, fields)).Close('}');
    return j.Take();
}
