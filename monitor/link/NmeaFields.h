// Field splitting and number checks shared by the sentence parsers.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

// A number from the line into a narrower integer: out-of-range values saturate and
// NaN gives 0, so no text can make a conversion undefined.
template <typename T>
T ClampTo(double v) {
    if (!(v == v)) return 0;
    if (v <= static_cast<double>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
    if (v >= static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
    return static_cast<T>(v);
}

// The same for a 32-bit integer, without the trip through a double.
template <typename T>
T ClampInt(int32_t v) {
    if (v <= static_cast<int64_t>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
    if (v >= static_cast<int64_t>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
    return static_cast<T>(v);
}

inline constexpr int kMaxFields = 72;
inline constexpr int kFieldWidth = 16;

// Fields after the sentence name, each cut to 16 characters.
struct FieldSlots {
    char field[kMaxFields][kFieldWidth + 1];
    std::string_view operator[](int i) const { return field[i]; }
};

// The same fields as places in the text itself, for parsers that only read them: nothing
// is copied. Each reads as its slot would, cut to 16 characters and at a NUL; a field
// past the last one reads empty. Valid while the text is.
class FieldList {
public:
    std::string_view operator[](int i) const {
        return i < m_count ? std::string_view(m_text + m_begin[i], m_length[i]) : std::string_view();
    }
    int Count() const { return m_count; }

private:
    friend int SplitFields(std::string_view text, FieldList& out);
    const char* m_text = nullptr;
    int m_count = 0;
    uint16_t m_begin[kMaxFields];
    uint8_t m_length[kMaxFields];
};

// "$GPVTG,54.7,T,,M,5.5,N,10.2,K*48" gives 8 fields: "54.7", "T", "", "M", ... "K".
// -1 for a text longer than the link keeps (kMaxSentenceText, "$" through CR) or one
// without '*'. The last field ends at the last '*'; at most 72 fields are taken.
int SplitFields(std::string_view text, FieldList& out);
int SplitFields(std::string_view text, FieldSlots& out);

// 1 to 256 digits, a minus sign allowed first.
bool IsInteger(std::string_view text);
// The same with at most one decimal point.
bool IsDecimal(std::string_view text);

// Up to nine digits after an optional minus sign, the form of nearly every integer
// field: exact in 32 bits, as the general conversions below give it. Inline, as the
// parsers convert several such fields per satellite.
inline bool ShortInteger(std::string_view t, int32_t& value) {
    const bool negative = !t.empty() && t[0] == '-';
    if (negative) t.remove_prefix(1);
    if (t.empty() || t.size() > 9) return false;
    int32_t v = 0;
    for (const char c : t) {
        const unsigned digit = static_cast<unsigned char>(c) - unsigned{'0'};
        if (digit > 9) return false;
        v = v * 10 + static_cast<int32_t>(digit);
    }
    value = negative ? -v : v;
    return true;
}

// The plain forms almost every field has ("-12", "4807.038") without the C library's
// locale and long-number machinery. Up to 15 digits the mantissa and the power of ten
// are exact doubles, so one division gives the same correctly rounded value as strtod.
// `decimals` is -1 when there is no point.
inline bool PlainNumber(std::string_view t, int64_t& mantissa, int& decimals, bool& negative) {
    negative = !t.empty() && t[0] == '-';
    if (negative) t.remove_prefix(1);
    if (t.empty() || t.size() > 16) return false;
    int64_t m = 0;
    int point = -1;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const unsigned digit = static_cast<unsigned char>(t[i]) - unsigned{'0'};
        if (digit <= 9) {
            m = m * 10 + digit;
        } else if (t[i] == '.' && point < 0) {
            point = static_cast<int>(i);
        } else {
            return false;
        }
    }
    const int length = static_cast<int>(t.size());
    const int digits = point < 0 ? length : length - 1;
    if (digits == 0 || digits > 15) return false;
    mantissa = m;
    decimals = point < 0 ? -1 : length - 1 - point;
    return true;
}

inline constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7,
                                          1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// A whole number needs no division (by 1, which changes nothing).
inline double PlainValue(int64_t mantissa, int decimals, bool negative) {
    double v = static_cast<double>(mantissa);
    if (decimals > 0) v /= kPowersOfTen[decimals];
    return negative ? -v : v;
}

// The C library's conversions on a field (which the checks above have vetted, or which
// may read 0 for text that is not a number).
int32_t LongFieldInt(std::string_view text);  // any form
inline int32_t FieldInt(std::string_view text) {
    int32_t value;
    return ShortInteger(text, value) ? value : LongFieldInt(text);
}
double FieldDouble(std::string_view text);

// Check and conversion in one: IsInteger and FieldInt, IsDecimal and FieldDouble. False
// (and `value` untouched) when the field is not such a number.
bool LongIntegerField(std::string_view text, int32_t& value);  // any form
inline bool IntegerField(std::string_view text, int32_t& value) {
    return ShortInteger(text, value) || (!text.empty() && LongIntegerField(text, value));
}
bool LongDecimalField(std::string_view text, double& value);  // any form
inline bool DecimalField(std::string_view text, double& value) {
    int64_t mantissa;
    int decimals;
    bool negative;
    if (PlainNumber(text, mantissa, decimals, negative)) {
        value = PlainValue(mantissa, decimals, negative);
        return true;
    }
    return !text.empty() && LongDecimalField(text, value);
}
inline char FieldChar(std::string_view text) { return text.empty() ? '\0' : text[0]; }

// ddmm.mmmm with its hemisphere: degrees, whole minutes and seconds, each signed.
struct Coordinate {
    double decimal;
    int16_t degrees, minutes;
    double seconds;
};
Coordinate ParseCoordinateDms(std::string_view value, char hemisphere);

// ddmm.mmmm kept as whole degrees and minutes with fraction, both signed.
struct DegreesMinutes {
    int32_t degrees;
    double minutes;
};
DegreesMinutes ParseCoordinateDm(std::string_view value, char hemisphere);

// hhmmss.sss; false (and zeros) when the field is not a decimal number.
bool ParseUtcTime(std::string_view text, int16_t& hour, int16_t& minute, float& second);

// Seconds of the day from an NMEA time field "hhmmss[.sss]"; nullopt when malformed or
// out of range.
std::optional<double> ParseTimeOfDay(std::string_view field);
// The time a sentence carries ("$GPGGA,..." through the checksum, without CR LF): GGA,
// RMC, GNS, ZDA and GLL of any talker; nullopt for sentences without one and for a
// checksum that does not match.
std::optional<double> SentenceTime(std::string_view sentence);
// The same for a sentence whose checksum was checked already.
std::optional<double> CheckedSentenceTime(std::string_view sentence);
