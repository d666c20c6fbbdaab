// The host side of the RAM loader's protocol: ready sequence, baud switch, flash range,
// the checksummed packet stream, and the closing command.
#pragma once

#include <cstdint>

#include "flash/core/BootRom.h"
#include "flash/core/FlashImage.h"
#include "flash/core/FlashPort.h"

namespace loader {
inline constexpr uint8_t kAck = 0x6B, kReady = 0xB0, kRefused = 0x1C, kPacketOk = 0xB9, kGiveUp = 0xB6,
                         kAbortA = 0x05, kAbortB = 0x06, kAbortC = 0x07, kClosed = 0xA0;
inline constexpr uint8_t kSwitchBaud = 0xE1, kFlashRange = 0xE2, kWriteFlash = 0xE3, kFinish = 0xE5;
}  // namespace loader

// Indexed 1 to 14; 0 is unused.
inline constexpr uint32_t LoaderBaudTable[15] = {0,     921600, 460800, 230400, 115200, 57600, 38400, 19200,
                                                 14400, 9600,   4800,   2400,   1200,   300,   110};

struct LoaderInfo {
    uint8_t bytes[12];
};

class IRunLog;

// What the loader stage saw, so that a failure names the module's answer and the packet,
// and the run's log gets its steps. Optional everywhere: null keeps nothing.
struct LoaderTrace {
    int answer = -1;          // the last byte the module sent; -1 before any
    uint32_t packet = 0;      // packets the module accepted: the failing one's number from 0
    uint32_t bytesDone = 0;   // image bytes the module accepted
    uint32_t repeats = 0;     // packets sent again after a bad answer
    IRunLog* log = nullptr;   // packets every kLogEveryPackets and each repeat
    static constexpr uint32_t kLogEveryPackets = 64;
};

// Each operation returns 0, or the number of its first failing step as named here.

// No answer, a wrong first byte, a wrong ready signal, or a refusal; the procedure passes
// these on as its own results.
namespace loader::ready {
inline constexpr int kSilent = 8, kWrongLead = 9, kWrongReady = 10, kRefused = 16;
}
int WaitLoaderReady(FlashPort& port, LoaderInfo& info, LoaderTrace* trace = nullptr);

// The command and its acknowledge, the new rate, the line check at that rate, the
// acknowledge echoed, then the check values echoed `checkRepeats` times.
namespace loader::baud {
inline constexpr int kBadIndex = 1, kCommandNotSent = 2, kNoCommandAck = 3, kWrongCommandAck = 4, kRateNotSet = 5,
                     kLineCheckFailed = 7, kAckNotSent = 8, kWrongAckEcho = 9, kNoAckEcho = 10,
                     kCheckNotSent = 11, kWrongCheckEcho = 12, kNoCheckEcho = 13;
}
int SwitchBaud(FlashPort& port, uint8_t index, uint8_t checkRepeats, LoaderTrace* trace = nullptr);

// Command and mode byte, start and end address, the acknowledge, the wait factor.
namespace loader::range {
inline constexpr int kHeadNotSent = 2, kStartNotSent = 3, kEndNotSent = 4, kNoAck = 5, kWrongAck = 6,
                     kNoWaitFactor = 7;
}
int SetFlashRange(FlashPort& port, FlashImage& image, LoaderTrace* trace = nullptr);

// The image, the header and its two acknowledges; each packet's answer (or one of the
// module's aborts) and its repeats; the two closing acknowledges, or the module gives up.
namespace loader::write {
inline constexpr int kNoImage = 1, kBadImage = 2, kHeaderNotSent = 3, kNoHeaderAck = 4, kWrongHeaderAck = 5,
                     kNoSecondAck = 6, kWrongSecondAck = 7, kNoPacketAnswer = 8, kAbortedA = 9, kAbortedB = 10,
                     kAbortedC = 11, kGiveUpNotSent = 12, kNoRepeatAck = 13, kWrongRepeatAck = 14,
                     kResumeNotSent = 15, kNoClosingAck = 16, kWrongClosingAck = 17, kNoFinalAck = 18, kGaveUp = 19,
                     kWrongFinalAck = 20, kTooManyRepeats = 21;
}
int WriteFlash(FlashPort& port, FlashImage* image, uint32_t steps, StartCallback start, void* startContext,
               ProgressCallback progress, void* progressContext, LoaderTrace* trace = nullptr);

namespace loader::finish {
inline constexpr int kNotSent = 1, kNoAnswer = 2, kNotClosed = 3;
}
// The closing command, then the loader's closing acknowledge. Only that answer shows the
// command was heard at the loader's rate: a drained write has left the PC, not always
// the adapter (a USB bridge or a pseudo-terminal cannot tell), so the host's rate may go
// back only after it. The four-port form pauses 100 ms first and tolerates 120 empty
// reads; the single-port form reads once, within the port's read time-out.
int FinishLoader(FlashPort& port, bool fourPort, LoaderTrace* trace = nullptr);
