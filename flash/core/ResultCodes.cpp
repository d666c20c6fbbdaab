#include "flash/core/ResultCodes.h"

#include <cstdio>

namespace {

struct Meaning {
    uint32_t code;
    const char* text;
};

constexpr Meaning kMeanings[] = {
    {burn::kJobIncomplete, "the run was not set up completely"},
    {burn::kNoPort, "no port to flash through"},
    {burn::kTimeoutsNotSet, "the port's time-outs could not be set"},
    {burn::kLoaderSilent, "the loader did not start: nothing came back after the jump"},
    {burn::kLoaderWrongLead, "the loader did not start: it answered with a wrong first byte"},
    {burn::kLoaderWrongReady, "the loader did not start: its ready signal was wrong"},
    {burn::kLoaderRefused, "the loader refused to start"},
    {burn::kBaudUnreadable, "the port's baud rate could not be read"},
    {burn::kBaudNotRestored, "the port's baud rate could not be set back"},
    {burn::kRangeRefused, "the loader refused the flash range"},
    {burn::kWriteFailed, "writing the flash failed"},
    {burn::kLoaderInvalid, "the loader image is not valid"},
    {burn::kImageInvalid, "the image is not valid: empty, shorter than 4 bytes or beyond the flash range"},
    {burn::kNoMemory, "not enough memory to start the boot ROM stage"},
    {burn::kHandshakeCode, "no answer to the boot ROM handshake: is the module powered and wired?"},
    {burn::kLoadCode, "loading the loader into the module's RAM failed"},
    {burn::kJumpCode, "the module did not start the loader"},
    // The module stays in its loader, where the next run's handshake finds no boot ROM.
    {burn::kStopped, "stopped by the user: power-cycle the module before the next burn"},
};

}  // namespace

std::string ResultText(uint32_t code) {
    if (code == burn::kSuccess) return "Burn Flash Img Success !";
    if (code == burn::kStopped) return "Stopped";
    char text[64];
    std::snprintf(text, sizeof text, "Burn Flash Img Fail ! Error=%x", code);
    return text;
}

std::string ResultMeaning(uint32_t code) {
    if (code == burn::kSuccess) return {};
    for (const Meaning& m : kMeanings)
        if (m.code == code) return m.text;
    return "an unknown failure";
}

std::string ResultLine(uint32_t code) {
    if (code == burn::kSuccess || code == burn::kStopped) return ResultText(code);
    return ResultText(code) + " (" + ResultMeaning(code) + ")";
}

std::string ResultLine(uint32_t code, const std::string& failure) {
    if (code == burn::kSuccess || failure.empty()) return ResultLine(code);
    return ResultText(code) + " (" + failure + ")";
}
