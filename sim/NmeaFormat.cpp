#include "sim/NmeaFormat.h"

#include <cmath>
#include <cstdio>

namespace sim {

uint8_t NmeaChecksum(std::string_view body) {
    uint8_t sum = 0;
    for (char c : body) sum ^= static_cast<uint8_t>(c);
    return sum;
}

std::string NmeaSentence(std::string_view body) {
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", NmeaChecksum(body));
    std::string s;
    s.reserve(body.size() + 6);
    s += '$';
    s += body;
    s += tail;
    return s;
}

std::string FormatCoordinate(double degrees, bool longitude) {
    const char hemisphere = longitude ? (degrees < 0 ? 'W' : 'E') : (degrees < 0 ? 'S' : 'N');
    const double a = std::fabs(degrees);
    int whole = static_cast<int>(a);
    double minutes = (a - whole) * 60.0;
    if (minutes >= 59.99995) {  // would print as 60.0000
        minutes = 0;
        ++whole;
    }
    char out[32];
    std::snprintf(out, sizeof out, longitude ? "%03d%07.4f,%c" : "%02d%07.4f,%c", whole, minutes,
                  hemisphere);
    return out;
}

std::string FormatUtcTime(double secondsOfDay) {
    const int64_t hundredths = std::llround(secondsOfDay * 100.0) % (86400 * 100);
    const int h = static_cast<int>(hundredths / 360000);
    const int m = static_cast<int>(hundredths / 6000 % 60);
    const double s = static_cast<double>(hundredths % 6000) / 100.0;
    char out[16];
    std::snprintf(out, sizeof out, "%02d%02d%05.2f", h, m, s);
    return out;
}

// Civil date from a day count (H. Hinnant's days_from_civil inverse).
std::string FormatDate(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
    char out[16];
    std::snprintf(out, sizeof out, "%02u%02u%02d", d, m, static_cast<int>(y % 100));
    return out;
}

}  // namespace sim
