// The running firmware's command side: the host's bytes cut into NMEA sentences and UBX
// frames, each answered in its own family's dialect:
//   ZR   "$PZRC030,<3 cold|2 warm|1 hot>,1"  "$PZRC115,<gps>,<glonass>,<beidou>,<galileo>"
//        "$PZRC149,1,<baud>" (GPD upload)     -> "$PZRC001,<nnn>,<status>"
//   MTK  "$PMTK101" hot, "$PMTK102" warm, "$PMTK103"/"$PMTK104" cold,
//        "$PMTK353,<gps>,<glonass>,<galileo>,<galileo full>,<beidou>" -> "$PMTK001,<nnn>,<flag>"
//   UBX  CFG-RST, CFG-GNSS, CFG-NMEA          -> ACK-ACK or ACK-NAK
// Statuses and flags: 0 invalid, 1 unsupported, 2 valid but failed, 3 succeeded.
// A restart takes the fix away for a time to first fix that depends on its kind.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/link/Rtcm3Framer.h"
#include "sim/GpdSession.h"
#include "sim/ReceiverOutput.h"

namespace sim {

// Time to first fix after each kind of restart, in seconds of simulated epochs. The
// last epoch before the 3D fix has a 2D one.
struct RestartDelays {
    double coldS = 30;
    double warmS = 15;
    double hotS = 2;
};

// What the firmware says of itself when asked ($PZRC460 and $PZRC462).
inline constexpr std::string_view kFirmwareVersion = "V1.2";
inline constexpr std::string_view kFirmwareRelease = "2026-11-30";

// RTK with corrections on the line: "Float" (GGA quality 5) this long after the first
// good RTCM 3 frame, then "Fixed" (4); back to a plain fix (1) when none came for a while.
struct RtkDelays {
    double floatAfterS = 2;
    double fixedAfterS = 5;
    double lostAfterS = 5;
};

enum class RestartKind : uint8_t { Hot, Warm, Cold };

class ModuleCommands {
public:
    ModuleCommands(RestartDelays delays, int epochsPerSecond, GpdFaults gpdFaults, std::string gpdOutPath);

    // Bytes from the host while the firmware runs; `nextEpoch` is the first epoch a
    // restart affects. Replies are appended to `out`.
    void Receive(const uint8_t* bytes, std::size_t count, int64_t nextEpoch, std::string& out);

    EpochConditions ConditionsAt(int64_t epoch) const;
    bool BinaryMode() const { return m_gpd.BinaryMode(); }
    GpdUpload Upload() const { return m_gpd.Upload(); }
    // RTCM 3 frames taken from the host, and those whose check failed.
    const rtcm::FramerCounts& Corrections() const { return m_rtcm.Counts(); }

    struct Sentence {
        std::string_view family;  // "PZRC" or "PMTK"
        std::string_view number;  // the three digits after it
        std::vector<std::string_view> fields;
    };
    using TextHandler = void (ModuleCommands::*)(const Sentence&, std::string&);
    using UbxHandler = bool (ModuleCommands::*)(const std::vector<uint8_t>& payload);

    // Rows of the command tables (ModuleCommands.cpp); a UBX handler says whether the
    // message is acknowledged.
    void OnZrRestart(const Sentence& s, std::string& out);
    void OnZrSystems(const Sentence& s, std::string& out);
    void OnZrQuery(const Sentence& s, std::string& out);
    void OnGpdSwitch(const Sentence& s, std::string& out);
    void OnMtkHot(const Sentence& s, std::string& out);
    void OnMtkWarm(const Sentence& s, std::string& out);
    void OnMtkCold(const Sentence& s, std::string& out);
    void OnMtkSystems(const Sentence& s, std::string& out);
    bool OnUbxRestart(const std::vector<uint8_t>& payload);
    bool OnUbxGnss(const std::vector<uint8_t>& payload);
    bool OnUbxNmea(const std::vector<uint8_t>& payload);

private:
    void FeedText(uint8_t b, std::string& out);
    void FeedUbx(uint8_t b, std::string& out);
    void OnLine(std::string_view line, std::string& out);
    void OnUbxFrame(std::string& out);

    void Restart(RestartKind kind);
    // GPS (with SBAS and QZSS), GLONASS, BeiDou, Galileo; false when the module cannot
    // track that choice.
    bool Select(bool gps, bool glonass, bool beidou, bool galileo);
    // Feeds a byte to the RTCM framer; true when it belongs to a frame, not to text.
    bool FeedRtcm(uint8_t b);
    int RtkQualityAt(int64_t epoch) const;

    RestartDelays m_delays;
    int m_epochsPerSecond;
    GpdSession m_gpd;
    EpochConditions m_settings;
    int64_t m_restartEpoch = 0;
    int64_t m_fixAfterEpochs = 0;  // 0: no restart under way
    int64_t m_nextEpoch = 0;

    std::string m_line;
    bool m_inLine = false;
    std::vector<uint8_t> m_ubx;
    std::size_t m_ubxNeed = 0;

    rtcm::Rtcm3Framer m_rtcm;
    RtkDelays m_rtk;
    int64_t m_correctionsSince = -1;  // epoch of the first frame of the present run; -1: none
    int64_t m_lastCorrection = -1;
};

}  // namespace sim
