// What the NMEA info window shows, as plain text: twenty named rows filled from the
// records, and the raw list of one epoch's sentences, restarted at each GGA.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "monitor/link/ReceiverState.h"

namespace nmeainfo {

inline constexpr int kNamedRows = 20;
inline constexpr int kFirstRawRow = 20, kRowCount = 40;
inline constexpr std::size_t kMaxListedLength = 80;

const char* RowName(int row);

// Row number and the text of its DATA column, in the order the rows are written.
using Rows = std::vector<std::pair<int, std::string>>;
// Latitude, longitude and altitude are empty without a fix or without coordinates.
Rows FromGga(const GgaRecord& gga);
Rows FromUsed(const UsedSatelliteSet& used);
Rows FromView(const SatelliteViewSet& view);
Rows FromRmc(const RmcRecord& rmc);
Rows FromVtg(const VtgRecord& vtg);

// The names shared with the Fix mode window: "SPS", "3D", ...; the number itself for a
// quality without a name, empty for an unknown fix type.
std::string FixQualityName(int quality);
std::string FixTypeName(char fixType);
// "G4 G5 R65 " : each used satellite's constellation letter and number.
std::string UsedSatellitesText(const UsedSatelliteSet& used);

// The raw list: from the first GGA on, one epoch's sentences in rows 20-39.
class RawList {
public:
    struct Step {
        std::vector<int> blank;  // rows whose NAME and DATA become empty
        int row = -1;            // where the sentence goes, or -1: not listed
    };
    Step Add(std::string_view sentence);
    void Clear() { m_on = false; }

private:
    bool m_on = false;
    int m_next = kFirstRawRow;
};

}  // namespace nmeainfo
