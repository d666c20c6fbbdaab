// One fix as the accuracy figures and the exports need it, built from the parsed GGA
// with what the epoch's RMC and satellite report add (date, speed, course, fix type,
// DOPs). A day at 1 Hz is 86,400 of them, so the record keeps the sentences' values in
// 80 bytes rather than the records themselves (about 190).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "monitor/analysis/Geodesy.h"
#include "monitor/link/ReceiverState.h"

struct FixRecord {
    double latitude, longitude;       // signed decimal degrees (GGA)
    float altitude, geoidSeparation;  // metres (GGA)
    float hdop, differentialAge;      // (GGA)
    float pdop, vdop;                 // the epoch's satellite report; 0 without one
    float speedKnots, course, magneticVariation;  // RMC; 0 without one
    uint32_t timeMs;                  // of the UTC day (GGA)
    uint16_t year;                    // 0: no date known (no RMC with one yet)
    uint8_t month, day;
    int16_t differentialStation;      // (GGA)
    uint8_t fixQuality, satellitesUsed;  // (GGA; more than 255 satellites read as 255)
    char northSouth, eastWest;        // as the GGA had them
    char fixType;                     // the report's '1' to '3'; 0 without one
    char rmcStatus, rmcMode, variationDirection;  // 0 without an RMC of the fix's time
    bool hasRmc;
};
static_assert(sizeof(FixRecord) <= 80, "a day of fixes at 1 Hz is 86,400 of them");

// The fix of this GGA alone.
FixRecord FixFromGga(const GgaRecord& gga);
// Where the fix is, for the geodesy: the GGA altitude as height (see ToEcef).
track::Ecef FixEcef(const FixRecord& fix);
track::Enu FixOffset(const track::Reference& reference, const FixRecord& fix);
// "2026-12-08T10:15:30.250Z", or nothing when the fix has no date.
std::optional<std::string> IsoTime(const FixRecord& fix);
// "10:15:30.250".
std::string TimeOfDay(const FixRecord& fix);

// The fixes of a stream in order, one per epoch. A fix is added with its epoch's summary
// (its GGA, fix type and DOPs); the epoch's RMC joins it whenever it comes (an RMC before
// its GGA waits for it). A fix takes the date of the latest RMC that had one, moved on by
// a day when its time is more than 12 hours before that RMC's (the GGA after midnight,
// the RMC still of the day before), and back by one in the opposite case; until an RMC
// with a date has come, fixes have none.
class FixCollector {
public:
    // False, and nothing added, for an epoch without a GGA that gives a position.
    bool AddEpoch(const EpochSummary& epoch);
    void AddFix(const GgaRecord& gga);
    void AddRmc(const RmcRecord& rmc);
    void Clear();

    const std::vector<FixRecord>& Fixes() const { return m_fixes; }

private:
    void Merge(FixRecord& fix, const RmcRecord& rmc) const;
    void Date(FixRecord& fix) const;

    std::vector<FixRecord> m_fixes;
    std::optional<RmcRecord> m_waitingRmc;  // an RMC whose GGA has not come yet
    uint32_t m_dateTimeMs = 0;              // the time of the RMC the date is from
    uint16_t m_year = 0;
    uint8_t m_month = 0, m_day = 0;
};
