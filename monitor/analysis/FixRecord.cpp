#include "monitor/analysis/FixRecord.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include "monitor/link/EpochLogic.h"

namespace {

constexpr uint32_t kDayMs = 86'400'000;
constexpr uint32_t kHalfDayMs = kDayMs / 2;

uint32_t MsOfDay(int hour, int minute, float second) {
    const double ms = (hour * 3600.0 + minute * 60.0) * 1000.0 + std::round(second * 1000.0);
    return ms < 0 ? 0 : static_cast<uint32_t>(std::fmod(ms, static_cast<double>(kDayMs)));
}

bool HasDate(const RmcRecord& rmc) {
    return rmc.month >= 1 && rmc.month <= 12 && rmc.day >= 1 && rmc.day <= 31 && rmc.year > 0;
}

}  // namespace

FixRecord FixFromGga(const GgaRecord& gga) {
    FixRecord f{};
    f.latitude = gga.latitude;
    f.longitude = gga.longitude;
    f.altitude = gga.altitude;
    f.geoidSeparation = gga.geoidSeparation;
    f.hdop = gga.hdop;
    f.differentialAge = gga.differentialAge;
    f.timeMs = MsOfDay(gga.hour, gga.minute, gga.second);
    f.differentialStation = gga.differentialStation;
    f.fixQuality = static_cast<uint8_t>(std::clamp<int>(gga.fixQuality, 0, 255));
    f.satellitesUsed = static_cast<uint8_t>(std::clamp<int>(gga.satellitesUsed, 0, 255));
    f.northSouth = gga.northSouth;
    f.eastWest = gga.eastWest;
    return f;
}

track::Ecef FixEcef(const FixRecord& fix) {
    return track::ToEcef(fix.latitude * track::kDegToRad, fix.longitude * track::kDegToRad, fix.altitude);
}

track::Enu FixOffset(const track::Reference& reference, const FixRecord& fix) {
    return track::EnuFrom(reference, FixEcef(fix));
}

std::string TimeOfDay(const FixRecord& fix) {
    char text[16];
    const uint32_t s = fix.timeMs / 1000;
    std::snprintf(text, sizeof text, "%02u:%02u:%02u.%03u", s / 3600, s / 60 % 60, s % 60, fix.timeMs % 1000);
    return text;
}

std::optional<std::string> IsoTime(const FixRecord& fix) {
    if (fix.year == 0) return std::nullopt;
    char date[16];
    std::snprintf(date, sizeof date, "%04u-%02u-%02u", fix.year, fix.month, fix.day);
    return std::string(date) + "T" + TimeOfDay(fix) + "Z";
}

void FixCollector::AddFix(const GgaRecord& gga) {
    FixRecord fix = FixFromGga(gga);
    Date(fix);
    if (m_waitingRmc && MsOfDay(m_waitingRmc->hour, m_waitingRmc->minute, m_waitingRmc->second) == fix.timeMs)
        Merge(fix, *m_waitingRmc);
    m_waitingRmc.reset();
    m_fixes.push_back(fix);
}

bool FixCollector::AddEpoch(const EpochSummary& epoch) {
    if (!epoch.hasGga || !IsPositionFix(epoch.gga)) return false;
    AddFix(epoch.gga);
    FixRecord& fix = m_fixes.back();
    if (epoch.hasReport) {
        fix.fixType = epoch.fixType >= '1' && epoch.fixType <= '3' ? epoch.fixType : 0;
        fix.pdop = epoch.pdop;
        fix.vdop = epoch.vdop;
    }
    return true;
}

void FixCollector::AddRmc(const RmcRecord& rmc) {
    const uint32_t time = MsOfDay(rmc.hour, rmc.minute, rmc.second);
    if (HasDate(rmc)) {
        m_year = rmc.year;
        m_month = static_cast<uint8_t>(rmc.month);
        m_day = static_cast<uint8_t>(rmc.day);
        m_dateTimeMs = time;
    }
    if (!m_fixes.empty() && !m_fixes.back().hasRmc && m_fixes.back().timeMs == time) {
        Merge(m_fixes.back(), rmc);
        m_waitingRmc.reset();
    } else {
        m_waitingRmc = rmc;
    }
}

void FixCollector::Clear() {
    m_fixes.clear();
    m_waitingRmc.reset();
}

void FixCollector::Merge(FixRecord& fix, const RmcRecord& rmc) const {
    fix.hasRmc = true;
    fix.rmcStatus = rmc.status;
    fix.rmcMode = rmc.mode;
    fix.speedKnots = rmc.speedKnots;
    fix.course = rmc.course;
    fix.magneticVariation = rmc.magneticVariation;
    fix.variationDirection = rmc.variationDirection;
    if (HasDate(rmc)) {
        fix.year = rmc.year;
        fix.month = static_cast<uint8_t>(rmc.month);
        fix.day = static_cast<uint8_t>(rmc.day);
    }
}

void FixCollector::Date(FixRecord& fix) const {
    if (m_year == 0) return;
    using namespace std::chrono;
    const year_month_day given = year(m_year) / month(m_month) / day(m_day);
    if (!given.ok()) return;  // a date such as 31 February: no date rather than a wrong one
    sys_days date{given};
    if (fix.timeMs + kHalfDayMs < m_dateTimeMs) date += days(1);
    else if (fix.timeMs > m_dateTimeMs + kHalfDayMs) date -= days(1);
    const year_month_day ymd(date);
    fix.year = static_cast<uint16_t>(static_cast<int>(ymd.year()));
    fix.month = static_cast<uint8_t>(static_cast<unsigned>(ymd.month()));
    fix.day = static_cast<uint8_t>(static_cast<unsigned>(ymd.day()));
}
