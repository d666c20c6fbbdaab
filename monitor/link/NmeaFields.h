// Field splitting and number checks shared by the sentence parsers.
#pragma once

#include <cstdint>
#include <limits>
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

inline constexpr int kMaxFields = 72;
inline constexpr int kFieldWidth = 16;

// Fields after the sentence name, each cut to 16 characters.
struct FieldSlots {
    char field[kMaxFields][kFieldWidth + 1];
    std::string_view operator[](int i) const { return field[i]; }
};

// "$GPVTG,54.7,T,,M,5.5,N,10.2,K*48" gives 8 fields: "54.7", "T", "", "M", ... "K".
// -1 for a text over 256 characters or one without '*'. The last field ends at the last
// '*'; at most 72 fields are taken.
int SplitFields(std::string_view text, FieldSlots& out);

// 1 to 256 digits, a minus sign allowed first.
bool IsInteger(std::string_view text);
// The same with at most one decimal point.
bool IsDecimal(std::string_view text);

// The C library's conversions on a field (which the checks above have vetted, or which
// may read 0 for text that is not a number).
int32_t FieldInt(std::string_view text);
double FieldDouble(std::string_view text);
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
