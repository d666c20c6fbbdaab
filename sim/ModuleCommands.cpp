#include "sim/ModuleCommands.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "sim/NmeaFormat.h"
#include "sim/UbxFormat.h"

namespace sim {
namespace {

constexpr uint8_t kInvalid = 0, kUnsupported = 1, kFailed = 2, kSucceeded = 3;
constexpr std::size_t kMaxLine = 260;  // "$" through LF, as the host's own limit

struct TextRow {
    std::string_view name;
    ModuleCommands::TextHandler handler;
};

constexpr TextRow kTextCommands[] = {
    {"PZRC030", &ModuleCommands::OnZrRestart},
    {"PZRC115", &ModuleCommands::OnZrSystems},
    {"PZRC149", &ModuleCommands::OnGpdSwitch},
    {"PZRC460", &ModuleCommands::OnZrQuery},  // firmware version
    {"PZRC462", &ModuleCommands::OnZrQuery},  // firmware release date
    {"PMTK101", &ModuleCommands::OnMtkHot},
    {"PMTK102", &ModuleCommands::OnMtkWarm},
    {"PMTK103", &ModuleCommands::OnMtkCold},
    {"PMTK104", &ModuleCommands::OnMtkCold},  // full cold start; the constellation choice is kept here
    {"PMTK353", &ModuleCommands::OnMtkSystems},
};

struct UbxRow {
    uint8_t cls, id;
    ModuleCommands::UbxHandler handler;
};

constexpr UbxRow kUbxCommands[] = {
    {ubx::kClassCfg, ubx::kIdCfgRst, &ModuleCommands::OnUbxRestart},
    {ubx::kClassCfg, ubx::kIdCfgGnss, &ModuleCommands::OnUbxGnss},
    {ubx::kClassCfg, ubx::kIdCfgNmea, &ModuleCommands::OnUbxNmea},
};

bool IsDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// "0" or "1"; anything else makes the command invalid.
bool Flag(std::string_view field, bool& out) {
    if (field != "0" && field != "1") return false;
    out = field == "1";
    return true;
}

std::string StatusReply(std::string_view family, std::string_view number, uint8_t status) {
    const std::string body = std::string(family == "PMTK" ? "PMTK001," : "PZRC001,") + std::string(number) + "," +
                             std::to_string(status);
    return NmeaSentence(body);
}

}  // namespace

ModuleCommands::ModuleCommands(RestartDelays delays, int epochsPerSecond, GpdFaults gpdFaults, std::string gpdOutPath)
    : m_delays(delays), m_epochsPerSecond(std::max(1, epochsPerSecond)), m_gpd(gpdFaults, std::move(gpdOutPath)) {}

void ModuleCommands::Receive(const uint8_t* bytes, std::size_t count, int64_t nextEpoch, std::string& out) {
    m_nextEpoch = nextEpoch;
    for (std::size_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        // In binary mode only packets count; the firmware reads no text until the
        // NMEA-mode packet.
        if (m_gpd.BinaryMode()) {
            m_gpd.Feed(b, out);
            continue;
        }
        if (FeedRtcm(b)) continue;
        FeedUbx(b, out);
        if (m_ubx.size() <= 1) FeedText(b, out);  // a UBX frame's bytes are not text
    }
}

// RTCM 3 corrections share the line with the host's commands; a frame's bytes (0xD3 and
// what follows it) are never text. A frame that fails its check is not used.
bool ModuleCommands::FeedRtcm(uint8_t b) {
    if (!m_rtcm.Holding() && b != rtcm::kPreamble) return false;
    m_rtcm.Feed({&b, 1}, [this](std::span<const uint8_t>, int) {
        const auto lost = static_cast<int64_t>(m_rtk.lostAfterS * m_epochsPerSecond);
        if (m_correctionsSince < 0 || m_nextEpoch - m_lastCorrection > lost) m_correctionsSince = m_nextEpoch;
        m_lastCorrection = m_nextEpoch;
    });
    return true;
}

int ModuleCommands::RtkQualityAt(int64_t epoch) const {
    const auto epochs = [this](double s) { return static_cast<int64_t>(s * m_epochsPerSecond); };
    if (m_correctionsSince < 0 || epoch - m_lastCorrection > epochs(m_rtk.lostAfterS)) return 0;
    const int64_t since = epoch - m_correctionsSince;
    if (since >= epochs(m_rtk.fixedAfterS)) return kGgaRtkFixed;
    if (since >= epochs(m_rtk.floatAfterS)) return kGgaRtkFloat;
    return 0;
}

EpochConditions ModuleCommands::ConditionsAt(int64_t epoch) const {
    EpochConditions c = m_settings;
    c.rtkQuality = RtkQualityAt(epoch);
    const int64_t since = epoch - m_restartEpoch;
    if (m_fixAfterEpochs > 0 && since >= 0 && since < m_fixAfterEpochs)
        c.stage = since == m_fixAfterEpochs - 1 && m_fixAfterEpochs >= 2 ? FixStage::TwoD : FixStage::Acquiring;
    return c;
}

void ModuleCommands::Restart(RestartKind kind) {
    const double seconds = kind == RestartKind::Cold ? m_delays.coldS : kind == RestartKind::Warm ? m_delays.warmS
                                                                                                  : m_delays.hotS;
    // At least one epoch without a fix, so that a host timing the first fix sees it go.
    m_fixAfterEpochs = std::max<int64_t>(1, std::llround(seconds * m_epochsPerSecond));
    m_restartEpoch = m_nextEpoch;
}

bool ModuleCommands::Select(bool gps, bool glonass, bool beidou, bool galileo) {
    const std::array<bool, 6> tracked{gps, gps, gps, glonass, beidou, galileo};  // Constellation's order
    auto on = [&](Constellation c) { return tracked[static_cast<std::size_t>(c)]; };
    const bool any = on(Constellation::Gps) || on(Constellation::Glonass) || on(Constellation::BeiDou) ||
                     on(Constellation::Galileo);
    // GLONASS and BeiDou share the module's second front end: one or the other.
    if (!any || (on(Constellation::Glonass) && on(Constellation::BeiDou))) return false;
    m_settings.tracked = tracked;
    return true;
}

// --- text commands ---------------------------------------------------------------

void ModuleCommands::FeedText(uint8_t b, std::string& out) {
    if (b == '$') {
        m_line = "$";
        m_inLine = true;
        return;
    }
    if (!m_inLine) return;
    if (b == '\n') {
        m_inLine = false;
        OnLine(m_line, out);
        return;
    }
    if (m_line.size() >= kMaxLine) {
        m_inLine = false;
        return;
    }
    m_line += static_cast<char>(b);
}

// "$PZRC030,3,1*hh\r": a command of a family this module knows gets a status reply: 0
// for a wrong checksum, 1 for a number it does not know.
void ModuleCommands::OnLine(std::string_view line, std::string& out) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const auto star = line.find('*');
    if (star == std::string_view::npos || line.size() != star + 3) return;
    const std::string_view body = line.substr(1, star - 1);
    const std::string_view name = body.substr(0, body.find(','));
    if (name.size() != 7 || (name.substr(0, 4) != "PZRC" && name.substr(0, 4) != "PMTK") || !IsDigits(name.substr(4)))
        return;  // another family's sentence, or the boot entry "$PZRC75"
    Sentence s{name.substr(0, 4), name.substr(4), {}};
    char* end = nullptr;
    const std::string hex(line.substr(star + 1));
    const unsigned long sum = std::strtoul(hex.c_str(), &end, 16);
    if (end != hex.c_str() + 2 || sum != NmeaChecksum(body)) {
        out += StatusReply(s.family, s.number, kInvalid);
        return;
    }
    for (std::size_t at = name.size(); at < body.size();) {
        const auto next = body.find(',', at + 1);
        const std::size_t length = next == std::string_view::npos ? std::string_view::npos : next - at - 1;
        s.fields.push_back(body.substr(at + 1, length));
        at = next == std::string_view::npos ? body.size() : next;
    }
    for (const TextRow& row : kTextCommands)
        if (row.name == name) return (this->*row.handler)(s, out);
    out += StatusReply(s.family, s.number, kUnsupported);
}

void ModuleCommands::OnZrRestart(const Sentence& s, std::string& out) {
    static constexpr RestartKind kByCode[] = {RestartKind::Hot, RestartKind::Warm, RestartKind::Cold};  // 1, 2, 3
    const int code = s.fields.empty() ? 0 : std::atoi(std::string(s.fields[0]).c_str());
    if (code < 1 || code > 3 || !IsDigits(s.fields[0])) return void(out += StatusReply(s.family, s.number, kInvalid));
    out += StatusReply(s.family, s.number, kSucceeded);
    Restart(kByCode[code - 1]);
}

void ModuleCommands::OnZrSystems(const Sentence& s, std::string& out) {
    bool gps = false, glonass = false, beidou = false, galileo = false;
    if (s.fields.size() != 4 || !Flag(s.fields[0], gps) || !Flag(s.fields[1], glonass) || !Flag(s.fields[2], beidou) ||
        !Flag(s.fields[3], galileo))
        return void(out += StatusReply(s.family, s.number, kInvalid));
    out += StatusReply(s.family, s.number, Select(gps, glonass, beidou, galileo) ? kSucceeded : kFailed);
}

// A query is answered by the next number up, its text in the first field.
void ModuleCommands::OnZrQuery(const Sentence& s, std::string& out) {
    if (!s.fields.empty()) return void(out += StatusReply(s.family, s.number, kInvalid));
    const bool version = s.number == "460";
    out += NmeaSentence(version ? "PZRC461," + std::string(kFirmwareVersion) : "PZRC463," + std::string(kFirmwareRelease));
}

void ModuleCommands::OnGpdSwitch(const Sentence& s, std::string& out) {
    std::string fields;
    for (std::size_t i = 0; i < s.fields.size(); ++i) fields += (i ? "," : "") + std::string(s.fields[i]);
    m_gpd.OnSwitchCommand(fields, out);
}

void ModuleCommands::OnMtkHot(const Sentence& s, std::string& out) {
    out += StatusReply(s.family, s.number, kSucceeded);
    Restart(RestartKind::Hot);
}

void ModuleCommands::OnMtkWarm(const Sentence& s, std::string& out) {
    out += StatusReply(s.family, s.number, kSucceeded);
    Restart(RestartKind::Warm);
}

void ModuleCommands::OnMtkCold(const Sentence& s, std::string& out) {
    out += StatusReply(s.family, s.number, kSucceeded);
    Restart(RestartKind::Cold);
}

// "$PMTK353,1,1,0,0,0": GPS, GLONASS, Galileo, Galileo full mode, BeiDou.
void ModuleCommands::OnMtkSystems(const Sentence& s, std::string& out) {
    bool gps = false, glonass = false, galileo = false, galileoFull = false, beidou = false;
    if (s.fields.size() != 5 || !Flag(s.fields[0], gps) || !Flag(s.fields[1], glonass) ||
        !Flag(s.fields[2], galileo) || !Flag(s.fields[3], galileoFull) || !Flag(s.fields[4], beidou))
        return void(out += StatusReply(s.family, s.number, kInvalid));
    out += StatusReply(s.family, s.number, Select(gps, glonass, beidou, galileo || galileoFull) ? kSucceeded : kFailed);
}

// --- UBX -------------------------------------------------------------------------

void ModuleCommands::FeedUbx(uint8_t b, std::string& out) {
    if (m_ubx.empty()) {
        if (b == ubx::kSync1) m_ubx.push_back(b);
        return;
    }
    if (m_ubx.size() == 1 && b != ubx::kSync2) {
        m_ubx.clear();
        if (b == ubx::kSync1) m_ubx.push_back(b);
        return;
    }
    m_ubx.push_back(b);
    if (m_ubx.size() == ubx::kHeaderBytes) {
        const std::size_t length = m_ubx[4] | m_ubx[5] << 8;
        if (length > ubx::kMaxPayload) return m_ubx.clear();
        m_ubxNeed = ubx::kHeaderBytes + length + 2;
    }
    if (m_ubx.size() >= ubx::kHeaderBytes && m_ubx.size() == m_ubxNeed) {
        OnUbxFrame(out);
        m_ubx.clear();
    }
}

// A frame whose checksum is wrong is refused with ACK-NAK naming its class and id, as is
// a configuration message this module does not know or cannot carry out.
void ModuleCommands::OnUbxFrame(std::string& out) {
    const uint8_t cls = m_ubx[2], id = m_ubx[3];
    const std::size_t length = m_ubxNeed - ubx::kHeaderBytes - 2;
    const auto [a, b] = ubx::Fletcher(m_ubx.data() + 2, length + 4);
    const bool intact = a == m_ubx[m_ubxNeed - 2] && b == m_ubx[m_ubxNeed - 1];
    const auto start = m_ubx.begin() + ubx::kHeaderBytes;
    const std::vector<uint8_t> payload(start, start + static_cast<std::ptrdiff_t>(length));
    for (const UbxRow& row : kUbxCommands)
        if (row.cls == cls && row.id == id) {
            out += ubx::Acknowledge(cls, id, intact && (this->*row.handler)(payload));
            return;
        }
    if (cls == ubx::kClassCfg || !intact) out += ubx::Acknowledge(cls, id, false);
}

// CFG-RST: navBbrMask 0 keeps everything (hot); without the almanac bit it is warm;
// with it, cold.
bool ModuleCommands::OnUbxRestart(const std::vector<uint8_t>& p) {
    if (p.size() != 4) return false;
    const uint16_t mask = static_cast<uint16_t>(p[0] | p[1] << 8);
    Restart(mask == 0 ? RestartKind::Hot : (mask & ubx::kBbrAlmanac) ? RestartKind::Cold : RestartKind::Warm);
    return true;
}

// CFG-GNSS: version, hardware channels, channels to use, block count, then 8-byte
// blocks (gnssId, reserved, maximum channels, 0, flags with bit 0 enable). Systems
// not named keep their setting. GPS, GLONASS and BeiDou at once are more than the
// module tracks.
bool ModuleCommands::OnUbxGnss(const std::vector<uint8_t>& p) {
    if (p.size() < 4 || p.size() != 4 + 8u * p[3]) return false;
    std::array<bool, 6> tracked = m_settings.tracked;
    for (std::size_t at = 4; at < p.size(); at += 8) {
        const int system = ubx::ConstellationOfGnssId(p[at]);
        if (system >= 0) tracked[static_cast<std::size_t>(system)] = (p[at + 4] & 0x01) != 0;
    }
    auto on = [&](Constellation c) { return tracked[static_cast<std::size_t>(c)]; };
    if (on(Constellation::Gps) && on(Constellation::Glonass) && on(Constellation::BeiDou)) return false;
    const bool any = on(Constellation::Gps) || on(Constellation::Glonass) || on(Constellation::BeiDou) ||
                     on(Constellation::Galileo);
    if (!any) return false;
    m_settings.tracked = tracked;
    return true;
}

// CFG-NMEA: byte 1 is the NMEA version; 0x41 adds the system id to each GSA.
bool ModuleCommands::OnUbxNmea(const std::vector<uint8_t>& p) {
    if (p.size() < 4) return false;
    m_settings.nmea41 = p[1] >= ubx::kNmeaVersion41;
    return true;
}

}  // namespace sim
