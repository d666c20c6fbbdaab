#include "NmeaFields.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

int SplitFields(std::string_view text, FieldSlots& out) {
    if (text.size() > 256) return -1;
    const auto star = text.rfind('*');
    if (star == std::string_view::npos) return -1;
    const std::string_view body = text.substr(0, star);
    auto comma = body.find(',');
    int count = 0;
    while (comma != std::string_view::npos && count < kMaxFields) {
        const auto next = body.find(',', comma + 1);
        const auto end = next == std::string_view::npos ? body.size() : next;
        const std::string_view field = body.substr(comma + 1, end - comma - 1);
        const std::size_t n = std::min<std::size_t>(field.size(), kFieldWidth);
        std::memcpy(out.field[count], field.data(), n);
        out.field[count][n] = '\0';
        ++count;
        comma = next;
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
// the C conversions.
template <typename Convert>
auto Converted(std::string_view text, Convert convert) {
    char buf[260];
    const std::size_t n = std::min(text.size(), sizeof buf - 1);
    std::memcpy(buf, text.data(), n);
    buf[n] = '\0';
    return convert(buf);
}

}  // namespace

bool IsInteger(std::string_view text) { return IsNumber(text, 0); }
bool IsDecimal(std::string_view text) { return IsNumber(text, 1); }

namespace {

// The plain forms almost every field has ("-12", "4807.038") without the C library's
// locale and long-number machinery. Up to 15 digits the mantissa and the power of ten
// are exact doubles, so one division gives the same correctly rounded value as strtod.
bool PlainNumber(std::string_view t, int64_t& mantissa, int& decimals, bool& negative) {
    negative = !t.empty() && t[0] == '-';
    if (negative) t.remove_prefix(1);
    if (t.empty() || t.size() > 16) return false;
    mantissa = 0;
    decimals = -1;
    int digits = 0;
    for (const char c : t) {
        if (c == '.' && decimals < 0) {
            decimals = 0;
            continue;
        }
        if (c < '0' || c > '9' || ++digits > 15) return false;
        mantissa = mantissa * 10 + (c - '0');
        if (decimals >= 0) ++decimals;
    }
    if (decimals < 0) decimals = 0;
    return digits > 0;
}

constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7,
                                   1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

}  // namespace

int32_t FieldInt(std::string_view text) {
    int64_t mantissa;
    int decimals;
    bool negative;
    if (PlainNumber(text, mantissa, decimals, negative) && decimals == 0 && text.find('.') == text.npos)
        return ClampTo<int32_t>(static_cast<double>(negative ? -mantissa : mantissa));
    return Converted(text, [](const char* s) { return ClampTo<int32_t>(static_cast<double>(std::strtoll(s, nullptr, 10))); });
}

double FieldDouble(std::string_view text) {
    int64_t mantissa;
    int decimals;
    bool negative;
    if (PlainNumber(text, mantissa, decimals, negative)) {
        const double v = static_cast<double>(mantissa) / kPowersOfTen[decimals];
        return negative ? -v : v;
    }
    return Converted(text, [](const char* s) { return std::strtod(s, nullptr); });
}

Coordinate ParseCoordinateDms(std::string_view value, char hemisphere) {
    if (!IsDecimal(value)) return {};
    const double v = FieldDouble(value) / 100.0;
    const double degrees = std::trunc(v);
    const double minutes = std::trunc((v - degrees) * 100.0);
    const double seconds = ((v - degrees) - minutes / 100.0) * 6000.0;
    Coordinate c{degrees + minutes / 60.0 + seconds / 3600.0, ClampTo<int16_t>(degrees),
                 ClampTo<int16_t>(minutes), seconds};
    if (hemisphere == 'S' || hemisphere == 's' || hemisphere == 'W' || hemisphere == 'w') {
        c.decimal = -c.decimal;
        c.degrees = static_cast<int16_t>(-c.degrees);
        c.minutes = static_cast<int16_t>(-c.minutes);
        c.seconds = -c.seconds;
    }
    return c;
}

DegreesMinutes ParseCoordinateDm(std::string_view value, char hemisphere) {
    if (!IsDecimal(value)) return {};
    const double v = FieldDouble(value) / 100.0;
    const double degrees = std::trunc(v);
    DegreesMinutes d{ClampTo<int32_t>(degrees), (v - degrees) * 100.0};
    if (hemisphere == 'S' || hemisphere == 's' || hemisphere == 'W' || hemisphere == 'w') {
        d.degrees = -d.degrees;
        d.minutes = -d.minutes;
    }
    return d;
}

bool ParseUtcTime(std::string_view text, int16_t& hour, int16_t& minute, float& second) {
    hour = minute = 0;
    second = 0;
    if (!IsDecimal(text)) return false;
    const double value = FieldDouble(text);
    const auto whole = ClampTo<int64_t>(value);
    hour = ClampTo<int16_t>(static_cast<double>(whole / 10000));
    minute = static_cast<int16_t>(whole % 10000 / 100);
    second = static_cast<float>(std::fmod(value, 100.0));
    return true;
}
