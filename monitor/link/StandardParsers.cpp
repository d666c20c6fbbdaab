#include "monitor/link/StandardParsers.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "monitor/link/NmeaFields.h"
#include "monitor/link/StandardSentences.h"

namespace {

std::string_view Talker(std::string_view sentence) {
    return sentence.size() >= 3 ? sentence.substr(1, 2) : std::string_view();
}

float DecimalOrZero(std::string_view field) {
    double value;
    return DecimalField(field, value) ? static_cast<float>(value) : 0.0f;
}

int16_t IntegerOrZero(std::string_view field) {
    int32_t value;
    return IntegerField(field, value) ? ClampInt<int16_t>(value) : 0;
}

// QZSS talkers number their satellites 1-5 (and 55-59 for the L1S signal); the tables
// keep the GPS-talker numbers 193-197 and 183-187.
bool MapQzssPrn(int prn, int& mapped) {
    if (prn >= 1 && prn <= 5) mapped = prn + 192;
    else if (prn >= 55 && prn <= 59) mapped = prn + 128;
    else return false;
    return true;
}

// The row's constellation of the sentence's talker; false for a talker it does not read.
bool SystemOfTalker(SentenceId id, std::string_view sentence, GnssSystem& system) {
    const auto found = TalkerSystemOf(id, Talker(sentence));
    if (found) system = *found;
    return found.has_value();
}

// NMEA 4.10 system id at the end of a GSA: 1 GPS, 2 GLONASS, 3 Galileo, 4 BeiDou, 5 QZSS.
GnssSystem SystemOfNmeaId(std::string_view field) {
    static constexpr GnssSystem kById[] = {gnss::kUnresolved, gnss::kGps,    gnss::kGlonass,
                                           gnss::kGalileo,    gnss::kBeiDou, gnss::kQzss};
    int32_t id = 0;
    IntegerField(field, id);
    return id >= 1 && id <= 5 ? kById[id] : gnss::kUnresolved;
}

// 18 fields are either 13 satellites and three DOPs, or (NMEA 4.10) 12 satellites, three
// DOPs and a system id of one digit. Before a fix the DOPs are empty
// ("$GNGSA,A,1,,,,,,,,,,,,,,,,1"), and some receivers report no DOP as 99.
bool IsNmea410Gsa(const FieldList& f) {
    const std::string_view id = f[17];
    if (id.size() != 1 || id[0] < '1' || id[0] > '6') return false;
    for (int i = 14; i <= 16; ++i)
        if (!f[i].empty() && !IsDecimal(f[i])) return false;
    return true;
}

// C/N0 in whole dB-Hz; a fraction is cut off.
int16_t SnrOf(std::string_view field) {
    int32_t whole;
    if (ShortInteger(field, whole)) return ClampInt<int16_t>(whole);
    double snr;
    return DecimalField(field, snr) ? ClampTo<int16_t>(std::trunc(snr)) : 0;
}

void AddPrn(GsaSentence& out, std::string_view field) {
    int32_t value;
    if (out.count >= 32 || !IntegerField(field, value)) return;
    const int16_t prn = ClampInt<int16_t>(value);
    if (prn != 0) out.prn[out.count++] = prn;
}

}  // namespace

GnssSystem SystemOfGpsNumber(int prn) {
    if (prn >= 33 && prn <= 64) return gnss::kSbas;
    if (prn >= 193 && prn <= 197) return gnss::kQzss;
    return gnss::kGps;
}

// $GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47
bool ParseGga(std::string_view sentence, GgaRecord& out) {
    out = {};
    FieldList f;
    const int n = SplitFields(sentence, f);
    if (n != 14 && n != 15) return false;
    if (!ParseUtcTime(f[0], out.hour, out.minute, out.second)) return false;
    const Coordinate lat = ParseCoordinateDms(f[1], FieldChar(f[2]));
    const Coordinate lon = ParseCoordinateDms(f[3], FieldChar(f[4]));
    out.latitude = lat.decimal;
    out.latitudeDegrees = lat.degrees;
    out.latitudeMinutes = lat.minutes;
    out.latitudeSeconds = lat.seconds;
    out.northSouth = FieldChar(f[2]);
    out.longitude = lon.decimal;
    out.longitudeDegrees = lon.degrees;
    out.longitudeMinutes = lon.minutes;
    out.longitudeSeconds = lon.seconds;
    out.eastWest = FieldChar(f[4]);
    if (!f[5].empty() && !IsInteger(f[5])) return false;
    out.fixQuality = IntegerOrZero(f[5]);
    // Some receivers count past 9 in one hexadecimal digit: "0A" is ten satellites.
    const std::string_view used = f[6];
    if (!used.empty() && used.find_first_not_of("0123456789") == std::string_view::npos)
        out.satellitesUsed = ClampInt<int16_t>(FieldInt(used));
    else if (used.size() >= 2 && used[1] >= 'A' && used[1] <= 'F')
        out.satellitesUsed = static_cast<int16_t>(used[1] - 'A' + 10);
    out.hdop = DecimalOrZero(f[7]);
    out.altitude = DecimalOrZero(f[8]);
    out.geoidSeparation = DecimalOrZero(f[10]);
    out.differentialAge = DecimalOrZero(f[12]);
    out.differentialStation = IntegerOrZero(f[13]);
    return true;
}

// $GPGLL,4916.45,N,12311.12,W,225444,A,A*5C
bool ParseGll(std::string_view sentence, GllRecord& out) {
    out = {};
    FieldList f;
    const int n = SplitFields(sentence, f);
    if (n != 6 && n != 7) return false;
    const DegreesMinutes lat = ParseCoordinateDm(f[0], FieldChar(f[1]));
    const DegreesMinutes lon = ParseCoordinateDm(f[2], FieldChar(f[3]));
    out.latitudeDegrees = ClampTo<int16_t>(lat.degrees);
    out.latitudeMinutes = lat.minutes;
    out.northSouth = FieldChar(f[1]);
    out.longitudeDegrees = lon.degrees;
    out.longitudeMinutes = lon.minutes;
    out.eastWest = FieldChar(f[3]);
    const std::string_view utcTime = f[4];  // at most 16 characters: the NUL stays
    std::memcpy(out.utcTime, utcTime.data(), utcTime.size());
    out.status = FieldChar(f[5]);
    if (n == 7) out.mode = FieldChar(f[6]);
    return true;
}

// $GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39
// NMEA 4.10 adds a system id: $GNGSA,A,3,13,16,21,15,10,29,27,20,,,,,1.05,0.64,0.83,1*03
bool ParseGsa(std::string_view sentence, GsaSentence& out) {
    out = {};
    if (!SystemOfTalker(sentence::kGsa, sentence, out.system)) return false;
    FieldList f;
    const int n = SplitFields(sentence, f);
    int lastSat = 0, dop = 0, systemId = -1;
    if (n == 18 && IsNmea410Gsa(f)) {
        lastSat = 13, dop = 14, systemId = 17;
    } else if (n == 17 || n == 18 || n == 20) {
        lastSat = n - 4, dop = n - 3;
    } else if (n == 38) {
        lastSat = 33, dop = 34, systemId = 37;
    } else {
        return false;
    }
    out.mode = FieldChar(f[0]);
    out.fixType = FieldChar(f[1]);
    for (int i = 2; i <= lastSat; ++i) AddPrn(out, f[i]);
    out.pdop = DecimalOrZero(f[dop]);
    out.hdop = DecimalOrZero(f[dop + 1]);
    out.vdop = DecimalOrZero(f[dop + 2]);
    if (out.system == gnss::kUnresolved && systemId >= 0) out.system = SystemOfNmeaId(f[systemId]);
    return true;
}

// $QZQSA,1,A,3,01,02,,,,,,,,,,,1.8,1.0,1.5*hh
bool ParseQsa(std::string_view sentence, GsaSentence& out) {
    out = {};
    out.isQsa = true;
    if (!SystemOfTalker(sentence::kQsa, sentence, out.system) || out.system == gnss::kUnresolved) return false;
    FieldList f;
    if (SplitFields(sentence, f) != 18) return false;
    out.leadingFlag = FieldChar(f[0]);
    out.mode = FieldChar(f[1]);
    out.fixType = FieldChar(f[2]);
    for (int i = 3; i <= 14; ++i) {
        int32_t prn;
        if (!IntegerField(f[i], prn)) continue;
        if (out.system == gnss::kQzss && !MapQzssPrn(prn, prn)) return false;
        if (prn != 0) out.prn[out.count++] = ClampInt<int16_t>(prn);
    }
    out.pdop = DecimalOrZero(f[15]);
    out.hdop = DecimalOrZero(f[16]);
    out.vdop = DecimalOrZero(f[17]);
    return true;
}

// $GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00*74
// NMEA 4.10 adds a signal id after the last satellite, which is ignored: the epoch
// logic merges a satellite's signals.
bool ParseGsv(std::string_view sentence, GsvRecord& out) {
    out = {};
    if (!SystemOfTalker(sentence::kGsv, sentence, out.system)) return false;
    FieldList f;
    const int n = SplitFields(sentence, f);
    if (n < 3 || n > 20 || (n % 4 != 3 && n % 4 != 0)) return false;
    const int sats = (n - 3) / 4;
    int32_t total, number, inView;
    if (!IntegerField(f[0], total) || !IntegerField(f[1], number) || !IntegerField(f[2], inView)) return false;
    if (total < 1 || total > 9 || number > total || inView > 4 * total || inView > 32) return false;
    out.totalSentences = static_cast<int16_t>(total);
    out.sentenceNumber = static_cast<int16_t>(number);
    out.satellitesInView = static_cast<int16_t>(inView);
    // The field after the satellites names the signal (hexadecimal, 1 to F).
    if (n % 4 == 0 && f[n - 1].size() == 1) {
        const char c = f[n - 1][0];
        out.signalId = static_cast<int16_t>(c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : 0);
    }
    out.lowestSnr = 100;
    for (int k = 0; k < sats; ++k) {
        // Receivers pad their last sentence with empty slots (",,,,"): no satellite.
        const std::string_view prnText = f[3 + 4 * k];
        if (prnText.empty()) continue;
        int32_t prn = 0;
        if (!IntegerField(prnText, prn)) prn = 0;
        if (out.system == gnss::kQzss) {
            if (!MapQzssPrn(prn, prn)) return false;
        } else if (prn <= 0) {
            continue;  // no satellite has the number 0
        }
        SatelliteEntry& s = out.satellites[out.count++];
        s.prn = ClampInt<uint16_t>(prn);
        s.elevation = ClampInt<int16_t>(FieldInt(f[4 + 4 * k]));
        s.azimuth = ClampInt<int16_t>(FieldInt(f[5 + 4 * k]));
        s.snr = SnrOf(f[6 + 4 * k]);
        s.system = out.system == gnss::kGps ? SystemOfGpsNumber(prn) : out.system;
        if (s.snr > 0) {
            ++out.trackedCount;
            out.highestSnr = std::max(out.highestSnr, s.snr);
            out.lowestSnr = std::min(out.lowestSnr, s.snr);
        }
    }
    if (out.trackedCount == 0) out.highestSnr = out.lowestSnr = 0;
    return true;
}

// $GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A
bool ParseRmc(std::string_view sentence, RmcRecord& out) {
    out = {};
    FieldList f;
    const int n = SplitFields(sentence, f);
    if (n < 11 || n > 13) return false;
    if (!ParseUtcTime(f[0], out.hour, out.minute, out.second)) return false;
    out.status = FieldChar(f[1]);
    const DegreesMinutes lat = ParseCoordinateDm(f[2], FieldChar(f[3]));
    const DegreesMinutes lon = ParseCoordinateDm(f[4], FieldChar(f[5]));
    out.latitudeDegrees = ClampTo<int16_t>(lat.degrees);
    out.latitudeMinutes = lat.minutes;
    out.northSouth = FieldChar(f[3]);
    out.longitudeDegrees = lon.degrees;
    out.longitudeMinutes = lon.minutes;
    out.eastWest = FieldChar(f[5]);
    out.speedKnots = DecimalOrZero(f[6]);
    out.course = DecimalOrZero(f[7]);
    double dateField;
    if (!DecimalField(f[8], dateField)) return false;
    const int64_t date = ClampTo<int64_t>(dateField);
    const int64_t day = date / 10000;
    out.day = ClampTo<uint16_t>(static_cast<double>(day));
    out.month = ClampTo<int16_t>(static_cast<double>((date - day * 10000) / 100));
    const int64_t yy = date % 100;
    out.year = static_cast<uint16_t>(yy + (yy > 50 ? 1900 : 2000));
    out.magneticVariation = DecimalOrZero(f[9]);
    out.variationDirection = FieldChar(f[10]);
    if (n >= 12) out.mode = FieldChar(f[11]);
    return true;
}

// $GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A*25
bool ParseVtg(std::string_view sentence, VtgRecord& out) {
    out = {};
    FieldList f;
    const int n = SplitFields(sentence, f);
    if (n != 8 && n != 9) return false;
    out.courseTrue = DecimalOrZero(f[0]);
    out.courseMagnetic = DecimalOrZero(f[2]);
    out.speedKnots = DecimalOrZero(f[4]);
    out.speedKmh = DecimalOrZero(f[6]);
    if (n == 9) out.mode = FieldChar(f[8]);
    return true;
}
