#include "monitor/control/CommandTable.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <iterator>
#include <span>

#include "monitor/link/Framing.h"

namespace {

CommandBytes Framed(std::string_view body) {
    std::array<char, 256> out{};
    const std::size_t n = BuildNmeaSentence(body, out);
    return CommandBytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n));
}

// UBX-CFG-RST: navBbrMask 0xB9FF cold, 0x0001 warm, 0x0000 hot; resetMode 0x02.
constexpr uint8_t kUbxCold[] = {0xB5, 0x62, 0x06, 0x04, 0x04, 0x00, 0xFF, 0xB9, 0x02, 0x00, 0xC8, 0x8F};
constexpr uint8_t kUbxWarm[] = {0xB5, 0x62, 0x06, 0x04, 0x04, 0x00, 0x01, 0x00, 0x02, 0x00, 0x11, 0x6C};
constexpr uint8_t kUbxHot[] = {0xB5, 0x62, 0x06, 0x04, 0x04, 0x00, 0x00, 0x00, 0x02, 0x00, 0x10, 0x68};

// UBX-CFG-NMEA: NMEA version 4.1, flags 0x02, version 1.
constexpr uint8_t kUbxCfgNmea[] = {0xB5, 0x62, 0x06, 0x17, 0x14, 0x00, 0x00, 0x41, 0x00, 0x02,
                                   0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00,
                                   0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x75, 0x57};

// One row of UBX-CFG-GNSS: which of the five blocks are enabled, its stored checksum,
// and whether CFG-NMEA follows. The GPS and BeiDou row keeps SBAS off: its checksum
// FD 25 is that message's (with SBAS on it would be FE 41, and a module drops a UBX
// message whose checksum is wrong).
struct GnssRow {
    bool gps, glonass, beidou;  // the check boxes
    bool enabled[5];            // GPS, SBAS, BeiDou, QZSS, GLONASS
    uint8_t checksum[2];
    bool thenNmea;
};

constexpr GnssRow kGnssRows[] = {
    {true, false, false, {true, true, false, true, false}, {0xFE, 0x39}, false},
    {false, false, true, {false, false, true, false, false}, {0xFC, 0x01}, true},
    {false, true, false, {false, false, false, false, true}, {0xFC, 0xF1}, false},
    {true, false, true, {true, false, true, false, false}, {0xFD, 0x25}, true},
    {true, true, false, {true, true, false, true, true}, {0xFF, 0x3D}, false},
    {false, true, true, {false, false, true, false, true}, {0xFD, 0x05}, true},
};

// gnssId, reserved and maximum tracking channels of each block.
constexpr uint8_t kGnssBlocks[5][3] = {{0x00, 0x08, 0x10}, {0x01, 0x01, 0x03}, {0x03, 0x08, 0x10},
                                       {0x05, 0x00, 0x03}, {0x06, 0x08, 0x0E}};

CommandBytes CfgGnss(const GnssRow& row) {
    CommandBytes m = {0xB5, 0x62, 0x06, 0x3E, 0x2C, 0x00, 0x00, 0x00, 0x20, 0x05};
    for (int i = 0; i < 5; ++i) {
        m.insert(m.end(), {kGnssBlocks[i][0], kGnssBlocks[i][1], kGnssBlocks[i][2], 0x00});
        m.insert(m.end(), {static_cast<uint8_t>(row.enabled[i] ? 0x01 : 0x00), 0x00, 0x01, 0x01});
    }
    m.insert(m.end(), {row.checksum[0], row.checksum[1]});
    return m;
}

CommandBytes ZrRestart(Restart restart) {
    static constexpr const char* kBodies[] = {"PZRC030,3,1", "PZRC030,2,1", "PZRC030,1,1"};
    return Framed(kBodies[static_cast<std::size_t>(restart)]);
}

CommandBytes MtkRestart(Restart restart) {
    static constexpr const char* kBodies[] = {"PMTK103", "PMTK102", "PMTK101"};
    return Framed(kBodies[static_cast<std::size_t>(restart)]);
}

CommandBytes UbxRestart(Restart restart) {
    const std::span<const uint8_t> ubx = restart == Restart::Cold   ? std::span<const uint8_t>(kUbxCold)
                                         : restart == Restart::Warm ? std::span<const uint8_t>(kUbxWarm)
                                                                    : std::span<const uint8_t>(kUbxHot);
    return CommandBytes(ubx.begin(), ubx.end());
}

constexpr const char* kNoGlonassWithBeidou = "BeiDou and Glonass cannot be selected at the sametime!";

CommandOrRefusal ZrConstellations(ConstellationChoice c) {
    if (c.galileo) return {{}, "ZR modules take no Galileo choice: its field is not in their command", {}};
    if (c.glonass && c.beidou) return {{}, kNoGlonassWithBeidou, {}};
    char body[64];
    std::snprintf(body, sizeof body, "PZRC115,%d,%d,%d,%d", c.gps, c.glonass, c.beidou, 0);
    return {Framed(body), {}, {}};
}

CommandOrRefusal MtkConstellations(ConstellationChoice c) {
    if (c.glonass && c.beidou) return {{}, kNoGlonassWithBeidou, {}};
    char body[64];
    std::snprintf(body, sizeof body, "PMTK353,%d,%d,%d,%d,%d", c.gps, c.glonass, c.galileo, 0, c.beidou);
    return {Framed(body), {}, {}};
}

// CFG-GNSS for a choice with Galileo, which the stored rows do not list: six blocks, GPS
// bringing SBAS and QZSS along as in the rows (not beside BeiDou), its checksum made here.
// Galileo in NMEA wants version 4.1: CFG-NMEA follows.
CommandBytes CfgGnssWithGalileo(ConstellationChoice c) {
    struct Block {
        uint8_t id, reserved, maximum;
        bool enabled;
    };
    const bool gpsCompanions = c.gps && !c.beidou;
    const Block blocks[] = {{0x00, 0x08, 0x10, c.gps},          {0x01, 0x01, 0x03, gpsCompanions},
                            {0x02, 0x04, 0x08, true},           {0x03, 0x08, 0x10, c.beidou},
                            {0x05, 0x00, 0x03, gpsCompanions},  {0x06, 0x08, 0x0E, c.glonass}};
    constexpr auto kCount = static_cast<uint8_t>(std::size(blocks));
    CommandBytes m = {0xB5, 0x62, 0x06, 0x3E, static_cast<uint8_t>(4 + 8 * kCount), 0x00, 0x00, 0x00, 0x20, kCount};
    for (const Block& b : blocks) {
        m.insert(m.end(), {b.id, b.reserved, b.maximum, 0x00});
        m.insert(m.end(), {static_cast<uint8_t>(b.enabled ? 0x01 : 0x00), 0x00, 0x01, 0x01});
    }
    uint8_t a, b;
    UbxChecksum(m.data() + 2, m.size() - 2, a, b);
    m.insert(m.end(), {a, b});
    m.insert(m.end(), std::begin(kUbxCfgNmea), std::end(kUbxCfgNmea));
    return m;
}

CommandOrRefusal UbxConstellations(ConstellationChoice c) {
    if (c.gps && c.glonass && c.beidou) return {{}, "GPS, BeiDou and Glonass cannot be selected at the sametime!", {}};
    if (c.galileo) return {CfgGnssWithGalileo(c), {}, {}};
    for (const GnssRow& row : kGnssRows) {
        if (row.gps != c.gps || row.glonass != c.glonass || row.beidou != c.beidou) continue;
        CommandBytes bytes = CfgGnss(row);
        if (row.thenNmea) bytes.insert(bytes.end(), std::begin(kUbxCfgNmea), std::end(kUbxCfgNmea));
        return {bytes, {}, {}};
    }
    return {{}, "Select GNSS mode before set!", {}};
}

}  // namespace

std::span<const ModuleFamilyRow> ModuleFamilies() {
    static constexpr ModuleFamilyRow kRows[] = {
        {ModuleFamily::Zr, "ZR", ZrRestart, ZrConstellations},
        {ModuleFamily::Mtk, "MTK", MtkRestart, MtkConstellations},
        {ModuleFamily::Ubx, "UBX", UbxRestart, UbxConstellations},
    };
    return kRows;
}

const ModuleFamilyRow& FamilyRow(ModuleFamily family) {
    for (const ModuleFamilyRow& row : ModuleFamilies())
        if (row.family == family) return row;
    return ModuleFamilies().front();
}

std::optional<ModuleFamily> FamilyNamed(std::string_view name) {
    for (const ModuleFamilyRow& row : ModuleFamilies())
        if (name == row.name) return row.family;
    return std::nullopt;
}

std::string FamilyNames(const char* separator) {
    std::string names;
    for (const ModuleFamilyRow& row : ModuleFamilies()) names += (names.empty() ? "" : separator) + std::string(row.name);
    return names;
}

CommandBytes RestartCommand(ModuleFamily family, Restart restart) { return FamilyRow(family).restart(restart); }

CommandOrRefusal ConstellationCommand(ModuleFamily family, ConstellationChoice c) {
    if (!c.gps && !c.glonass && !c.beidou && !c.galileo) return {{}, "Select GNSS mode before set!", {}};
    return FamilyRow(family).constellations(c);
}

CommandOrRefusal FreeCommand(std::string_view typed) {
    if (typed.starts_with('$')) typed.remove_prefix(1);  // "$PMTK220,1000*1F" pasted from a log
    const auto star = typed.find('*');
    const std::string_view body = typed.substr(0, star);
    if (body.empty() || body == "PZRC" || body == "PMTK") return {};
    if (typed.size() > kMaxFreeCommand) return {{}, "Input chars much than " + std::to_string(kMaxFreeCommand), {}};
    CommandOrRefusal c{Framed(body), {}, {}};
    if (star != std::string_view::npos) {
        // "$", the body, "*hh" CR LF: the checksum sent is the three bytes before CR LF.
        const std::string sent(c.bytes.end() - 5, c.bytes.end() - 2);
        const std::string_view given = typed.substr(star);
        const auto sameDigit = [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; };
        if (!std::equal(given.begin(), given.end(), sent.begin(), sent.end(), sameDigit))
            c.note = "typed checksum " + std::string(given) + " is wrong: sent with " + sent;
    }
    return c;
}

std::vector<CommandBytes> StoredUbxMessages() {
    std::vector<CommandBytes> all = {CommandBytes(std::begin(kUbxCold), std::end(kUbxCold)),
                                     CommandBytes(std::begin(kUbxWarm), std::end(kUbxWarm)),
                                     CommandBytes(std::begin(kUbxHot), std::end(kUbxHot)),
                                     CommandBytes(std::begin(kUbxCfgNmea), std::end(kUbxCfgNmea))};
    for (const GnssRow& row : kGnssRows) all.push_back(CfgGnss(row));
    return all;
}
