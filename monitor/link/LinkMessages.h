// What the link thread tells the windows: a message number (the user-message base
// 1024 plus k, one range per window type) and a copy of the data it refers to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <variant>

#include "monitor/link/ConsoleFeed.h"
#include "monitor/link/ReceiverState.h"
#include "monitor/link/SatelliteTable.h"

namespace msg {
inline constexpr int kGga = 1025, kUsedSatellites = 1026, kSatellitesInView = 1027, kRmc = 1029,
                     kVtg = 1030, kRawSentence = 1031;
inline constexpr int kSignalUsed = 1045, kSignalInView = 1046;
inline constexpr int kSkyInView = 1065, kSkyUsed = 1066;
inline constexpr int kFixModeEpoch = 1087;
inline constexpr int kVelocityVtg = 1105;
inline constexpr int kFixReport = 1125, kReplyDecoded = 1126, kNaviCmdGga = 1127;
inline constexpr int kTrackRmc = 1137, kTrackEpoch = 1138;
inline constexpr int kSatelliteTable = 1152;
inline constexpr int kConsoleLines = 1161;
// Every window message, clear messages included, lies in this range.
inline constexpr int kFirstMessage = 1025, kLastMessage = 1169;
}  // namespace msg

// The seven home windows, then the windows opened on demand.
enum class WindowType { NmeaInfo, Signal, SkyView, FixMode, Velocity, NavigationCommand, Track, SatelliteTable, Console, None };
inline constexpr std::size_t kWindowTypeCount = static_cast<std::size_t>(WindowType::None);

// A window type as the link knows it: the range of its messages, the message that
// empties it, and its name in the tools' output.
struct LinkWindowRow {
    WindowType type;
    int first, last;   // its messages
    int clearMessage;  // sent by Connect and "Clean All"
    const char* name;
};

// One row per window type, in the order of the type.
std::span<const LinkWindowRow, kWindowTypeCount> LinkWindowRows();
const LinkWindowRow& LinkWindowOf(WindowType type);  // not None

// The window a message number belongs to.
WindowType TargetOf(int message);
const char* WindowName(WindowType window);

// A standard sentence as it went into the text log: its offset and length there, and
// the text itself ("$" through CR).
struct RawSentence {
    uint16_t start;
    uint16_t length;
    char text[kMaxSentenceText + 1];
};

// A "$PZRCnnn" reply as the decoder put it: its lines, each ended by CR LF, or nothing
// for a reply the decoder does not know (or when the link has no decoder).
struct DecodedReply {
    std::string text;
};

using LinkPayload = std::variant<std::monostate, GgaRecord, RmcRecord, VtgRecord, UsedSatelliteSet,
                                 SatelliteViewSet, RawSentence, DecodedReply, EpochSummary, SatelliteTable,
                                 ConsoleBatch>;

struct LinkMessage {
    int number;
    LinkPayload payload;
};

// Receives every window message, in the link thread. The monitor posts them on to its
// views; tests and tools look at them directly. The message is the dispatcher's own and
// is reused for the next one: a sink that keeps it keeps a copy.
class ILinkSink {
public:
    virtual ~ILinkSink() = default;
    virtual void Post(const LinkMessage& message) = 0;
    // Every binary packet the framer cut, as it came (for tools that show the framing).
    virtual void Binary(std::span<const uint8_t> /*packet*/) {}
};
