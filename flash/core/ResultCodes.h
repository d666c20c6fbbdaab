// The result of a programming run: one code, 0 for success, written in hexadecimal in
// the messages ("Error=b0006": scripts read it), and what each code means to the person
// at the fixture. The dialogs, the command-line tool and the run records all take their
// texts from here.
#pragma once

#include <cstdint>
#include <string>

namespace burn {
inline constexpr uint32_t kSuccess = 0, kJobIncomplete = 2, kNoPort = 3, kTimeoutsNotSet = 7,
                          kBaudUnreadable = 11, kBaudNotRestored = 12, kRangeRefused = 13, kWriteFailed = 14,
                          kLoaderInvalid = 0x504, kImageInvalid = 0x505, kNoMemory = 0x20006;
// The loader's start, as the procedure passes them on.
inline constexpr uint32_t kLoaderSilent = 8, kLoaderWrongLead = 9, kLoaderWrongReady = 10, kLoaderRefused = 16;
inline constexpr uint32_t kStageFlag = 6;  // ORed into the boot ROM stage codes
inline constexpr uint32_t kHandshakeCode = 0xB0006, kLoadCode = 0xA0006, kJumpCode = 0xC0006;
// The user stopped the run: a code of its own, so that it is never taken for a fault.
inline constexpr uint32_t kStopped = 0x100;
}  // namespace burn

// "Burn Flash Img Success !", "Stopped" or "Burn Flash Img Fail ! Error=b0006".
std::string ResultText(uint32_t code);
// What went wrong, in words ("no answer to the boot ROM handshake: is the module powered
// and wired?"); empty for success.
std::string ResultMeaning(uint32_t code);
// The result text followed, for a failure, by its meaning on the same line.
std::string ResultLine(uint32_t code);
// The same with the run's own words for the failing step in place of the code's meaning
// ("Burn Flash Img Fail ! Error=e (the module's loader aborted the stream (cause 0x05) at
// packet 255, ...)"); ResultLine(code) when there are none.
std::string ResultLine(uint32_t code, const std::string& failure);
