#include "monitor/link/NmeaFields.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "monitor/link/Framing.h"
#include "monitor/link/ReceiverState.h"
#include "monitor/link/StandardSentences.h"

namespace {

// A field as its slot keeps it: at most 16 characters, and no further than a NUL.
uint8_t SlotLength(const char* field, std::size_t length, bool holdsNul) {
    length = std::min<std::size_t>(length, kFieldWidth);
    const void* nul = holdsNul ? std::memchr(field, '\0', length) : nullptr;
    return static_cast<uint8_t>(nul ? static_cast<const char*>(nul) - field : length);
}

}  // namespace

int SplitFields(std::string_view text, FieldList& out) {
    out.m_text = text.data();
    out.m_count = 0;
    if (text.size() > static_cast<std::size_t>(kMaxSentenceText)) return -1;
    const std::size_t star = text.rfind('*');
    if (star == std::string_view::npos) return -1;
    const char* const body = text.data();
    std::size_t comma = 0;
    while (comma < star && body[comma] != ',') ++comma;
    if (comma == star) return 0;
    // The checksum lets a NUL through, but hardly any line has one: only then are the
    // fields searched for it.
    const bool nul = std::memchr(body, '\0', star) != nullptr;
    // Every comma starts a field, which runs to the next comma or to the last '*'.
    int count = 0;
    for (std::size_t begin = comma + 1; count < kMaxFields; ++count) {
        std::size_t end = begin;
        while (end < star && body[end] != ',') ++end;
        out.m_begin[count] = static_cast<uint16_t>(begin);
        out.m_length[count] = SlotLength(body + begin, end - begin, nul);
        if (end == star) {
            ++count;
            break;
        }
        begin = end + 1;
    }
    out.m_count = count;
    return count;
}

int SplitFields(std::string_view text, FieldSlots& out) {
    FieldList fields;
    const int count = SplitFields(text, fields);
    for (int i = 0; i < count; ++i) {
        const std::string_view field = fields[i];
        std::memcpy(out.field[i], field.data(), field.size());
        out.field[i][field.size()] = '\0';
    }
    return count;
}

namespace {

bool IsNumber(std::string_view t, int pointsAllowed) {
    if (t.empty() || t.size() > 256) return false;
    int points = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const char c = t[i];
        if (c >= '0' && c <= '9') continue;
        if (c == '-' && i == 0) continue;
        if (c == '.' && ++points <= pointsAllowed) continue;
        return false;
    }
    return true;
}

// Fields are at most 256 characters (SplitFields keeps 16): a NUL-terminated copy for
// the C conversions. A field past the last one has no characters at all (a null
// pointer), which string_view::copy takes and memcpy does not.
template <typename Convert>
auto Converted(std::string_view text, Convert convert) {
    char buf[260];
    buf[text.copy(buf, sizeof buf - 1)] = '\0';
    return convert(buf);
}

}  // namespace

bool IsInteger(std::string_view text) { return IsNumber(text, 0); }
bool IsDecimal(std::string_view text) { return IsNumber(text, 1); }

namespace {

int32_t SlowInt(std::string_view text) {
    return Converted(text, [](const char* s) {
        return ClampTo<int32_t>(static_cast<double>(std::strtoll(s, nullptr, 10)));
    });
}

double SlowDouble(std::string_view text) {
    return Converted(text, [](const char* s) { return std::strtod(s, nullptr); });
}

}  // namespace

int32_t LongFieldInt(std::string_view text) {
    int64_t mantissa;
    int decimals;
    bool negative;
    if (PlainNumber(text, mantissa, decimals, negative) && decimals < 0)
        return ClampTo<int32_t>(static_cast<double>(negative ? -mantissa : mantissa));
    return SlowInt(text);
}

double FieldDouble(std::string_view text) {
    int64_t mantissa;
    int decimals;
    bool negative;
    if (PlainNumber(text, mantissa, decimals, negative)) return PlainValue(mantissa, decimals, negative);
    return SlowDouble(text);
}

// A plain number is always a valid one, so the checks run only on what the fast path
// leaves.
bool LongIntegerField(std::string_view text, int32_t& value) {
    int64_t mantissa;
    int decimals;
    bool negative;
    if (PlainNumber(text, mantissa, decimals, negative)) {
        if (decimals >= 0) return false;
        value = ClampTo<int32_t>(static_cast<double>(negative ? -mantissa : mantissa));
        return true;
    }
    if (!IsInteger(text)) return false;
    value = SlowInt(text);
    return true;
}

bool LongDecimalField(std::string_view text, double& value) {
    if (!IsDecimal(text)) return false;
    value = FieldDouble(text);
    return true;
}

namespace {

bool IsSouthOrWest(char hemisphere) {
    return hemisphere == 'S' || hemisphere == 's' || hemisphere == 'W' || hemisphere == 'w';
}

// Only non-zero parts change sign: a zero stays 0, never shows as "-0".
template <typename T>
void Negate(T& part) {
    if (part != 0) part = static_cast<T>(-part);
}

}  // namespace

// The minutes come from the text's own digits (4829.000 - 4800 is exactly 29), not from
// value / 100, whose binary fraction would make 29' into 28' 60".
Coordinate ParseCoordinateDms(std::string_view value, char hemisphere) {
    double raw;
    if (!DecimalField(value, raw)) return {};
    const double v = std::fabs(raw);
    const double degrees = std::trunc(v / 100.0);
    const double allMinutes = v - degrees * 100.0;
    double minutes = std::floor(allMinutes + 1e-9);
    double seconds = std::max(0.0, (allMinutes - minutes) * 60.0);
    if (seconds >= 60.0 - 1e-7) {  // rounding left a whole minute in the seconds
        minutes += 1.0;
        seconds = 0.0;
    }
    Coordinate c{degrees + allMinutes / 60.0, ClampTo<int16_t>(degrees), ClampTo<int16_t>(minutes), seconds};
    const bool negative = raw < 0;
    if (negative != IsSouthOrWest(hemisphere)) {
        Negate(c.decimal);
        Negate(c.degrees);
        Negate(c.minutes);
        Negate(c.seconds);
    }
    return c;
}

// The hemisphere's sign goes on before the degrees are narrowed: negating a saturated
// INT32_MIN ("-999999999999999,S") would overflow.
DegreesMinutes ParseCoordinateDm(std::string_view value, char hemisphere) {
    double raw;
    if (!DecimalField(value, raw)) return {};
    double v = raw / 100.0;
    if (IsSouthOrWest(hemisphere)) Negate(v);
    const double degrees = std::trunc(v);
    return {ClampTo<int32_t>(degrees), (v - degrees) * 100.0};
}

bool ParseUtcTime(std::string_view text, int16_t& hour, int16_t& minute, float& second) {
    hour = minute = 0;
    second = 0;
    double value;
    if (!DecimalField(text, value)) return false;
    const auto whole = ClampTo<int64_t>(value);
    hour = ClampTo<int16_t>(static_cast<double>(whole / 10000));
    minute = static_cast<int16_t>(whole % 10000 / 100);
    second = static_cast<float>(std::fmod(value, 100.0));
    return true;
}

std::optional<double> ParseTimeOfDay(std::string_view field) {
    if (field.size() < 6) return std::nullopt;
    int parts[3];
    for (int i = 0; i < 3; ++i) {
        const char hi = field[2 * i], lo = field[2 * i + 1];
        if (hi < '0' || hi > '9' || lo < '0' || lo > '9') return std::nullopt;
        parts[i] = (hi - '0') * 10 + (lo - '0');
    }
    if (parts[0] > 23 || parts[1] > 59 || parts[2] > 60) return std::nullopt;
    double fraction = 0;
    if (field.size() > 6) {
        if (field[6] != '.') return std::nullopt;
        double scale = 0.1;
        for (char c : field.substr(7)) {
            if (c < '0' || c > '9') return std::nullopt;
            fraction += (c - '0') * scale;
            scale /= 10;
        }
    }
    return parts[0] * 3600.0 + parts[1] * 60.0 + parts[2] + fraction;
}

// A checksum is checked as the link checks it. A line with none at all is still taken,
// as some loggers strip it: it is split as if it ended in one.
std::optional<double> SentenceTime(std::string_view sentence) {
    if (sentence.find('*') != std::string_view::npos)
        return VerifyNmeaChecksum(sentence) ? CheckedSentenceTime(sentence) : std::nullopt;
    char text[kMaxSentenceText + 1];
    if (sentence.size() >= sizeof text) return std::nullopt;
    std::memcpy(text, sentence.data(), sentence.size());
    text[sentence.size()] = '*';
    return CheckedSentenceTime(std::string_view(text, sentence.size() + 1));
}

std::optional<double> CheckedSentenceTime(std::string_view sentence) {
    // "$ttTTT," with the time in the field its row names.
    if (sentence.size() < 7 || sentence[0] != '$' || sentence[1] == 'P' || sentence[6] != ',') return std::nullopt;
    const int field = TimeFieldOf(sentence.substr(3, 3));
    if (field == kNoTimeField) return std::nullopt;
    FieldList fields;
    if (SplitFields(sentence, fields) <= field) return std::nullopt;
    return ParseTimeOfDay(fields[field]);
}
