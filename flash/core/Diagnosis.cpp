#include "flash/core/Diagnosis.h"

#include <cerrno>
#include <cstdio>
#include <iterator>

namespace {

// A step's words; "%A" stands for the module's answer ("0x3C", or "nothing"), "%P" for
// the packet's number.
struct StepWords {
    int step;
    const char* text;
};

using namespace loader;

constexpr StepWords kBaudWords[] = {
    {baud::kBadIndex, "the baud rate asked for is not in the loader's table"},
    {baud::kCommandNotSent, "the baud switch command could not be sent"},
    {baud::kNoCommandAck, "the module did not answer the baud switch command"},
    {baud::kWrongCommandAck, "the module refused the baud switch (answer %A)"},
    {baud::kRateNotSet, "the port would not take the new rate"},
    {baud::kLineCheckFailed, "the line check at the new rate failed (last answer %A)"},
    {baud::kAckNotSent, "the acknowledge at the new rate could not be sent"},
    {baud::kWrongAckEcho, "the module echoed the acknowledge wrongly (answer %A)"},
    {baud::kNoAckEcho, "the module did not echo the acknowledge at the new rate"},
    {baud::kCheckNotSent, "a check value could not be sent"},
    {baud::kWrongCheckEcho, "the module echoed a check value wrongly (answer %A)"},
    {baud::kNoCheckEcho, "the module did not echo a check value"},
};

constexpr StepWords kRangeWords[] = {
    {range::kHeadNotSent, "the flash range command could not be sent"},
    {range::kStartNotSent, "the range's start address could not be sent"},
    {range::kEndNotSent, "the range's end address could not be sent"},
    {range::kNoAck, "the module did not answer the flash range"},
    {range::kWrongAck, "the module refused the flash range (answer %A)"},
    {range::kNoWaitFactor, "the module did not send its wait factor after the flash range"},
};

constexpr StepWords kWriteWords[] = {
    {write::kNoImage, "no image to write"},
    {write::kBadImage, "the image is not valid"},
    {write::kHeaderNotSent, "the write command could not be sent"},
    {write::kNoHeaderAck, "the module did not acknowledge the write command"},
    {write::kWrongHeaderAck, "the module refused the write command (answer %A)"},
    {write::kNoSecondAck, "the module did not send its second acknowledge of the write command"},
    {write::kWrongSecondAck, "the module refused the write command with its second answer (%A)"},
    {write::kNoPacketAnswer, "the module did not answer packet %P"},
    {write::kAbortedA, "the module's loader aborted the stream (cause 0x05) at packet %P"},
    {write::kAbortedB, "the module's loader aborted the stream (cause 0x06) at packet %P"},
    {write::kAbortedC, "the module's loader aborted the stream (cause 0x07) at packet %P"},
    {write::kGiveUpNotSent, "the repeat of packet %P could not be announced"},
    {write::kNoRepeatAck, "the module did not acknowledge the repeat of packet %P"},
    {write::kWrongRepeatAck, "the module refused the repeat of packet %P (answer %A)"},
    {write::kResumeNotSent, "the repeat of packet %P could not be started"},
    {write::kNoClosingAck, "the module did not acknowledge the end of the stream"},
    {write::kWrongClosingAck, "the module answered the end of the stream with %A"},
    {write::kNoFinalAck, "the module did not confirm the flash written"},
    {write::kGaveUp, "the module gave up writing the flash at the end of the stream"},
    {write::kWrongFinalAck, "the module confirmed the flash wrongly (answer %A)"},
    {write::kTooManyRepeats, "packet %P was answered wrongly too often"},
};

constexpr StepWords kFinishWords[] = {
    {finish::kNotSent, "the closing command could not be sent"},
    {finish::kNoAnswer, "the module did not answer the closing command"},
    {finish::kNotClosed, "the module answered the closing command with %A"},
};

constexpr StepWords kReadyWords[] = {
    {ready::kSilent, "the loader did not announce itself after the jump"},
    {ready::kWrongLead, "the loader announced itself with %A instead of 0xB0"},
    {ready::kWrongReady, "the loader's ready signal was wrong"},
    {ready::kRefused, "the loader refused to start (answer 0x1C)"},
};

std::string AnswerText(int answer) {
    if (answer < 0) return "nothing";
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(answer & 0xFF));
    return text;
}

std::string Fill(const char* pattern, const LoaderTrace& trace) {
    std::string text = pattern;
    for (std::size_t at; (at = text.find("%A")) != std::string::npos;) text.replace(at, 2, AnswerText(trace.answer));
    for (std::size_t at; (at = text.find("%P")) != std::string::npos;) text.replace(at, 2, std::to_string(trace.packet));
    return text;
}

template <std::size_t N>
std::string Lookup(const StepWords (&table)[N], int step, const LoaderTrace& trace) {
    for (const StepWords& w : table)
        if (w.step == step) return Fill(w.text, trace);
    return "step " + std::to_string(step) + " failed";
}

}  // namespace

std::string StepFailureText(burn::Stage stage, int step, const LoaderTrace& trace, uint32_t imageSize) {
    switch (stage) {
        case burn::Stage::kLoaderReady: return Lookup(kReadyWords, step, trace);
        case burn::Stage::kBaud: return "baud switch: " + Lookup(kBaudWords, step, trace);
        case burn::Stage::kRange: return Lookup(kRangeWords, step, trace);
        case burn::Stage::kFinish: return Lookup(kFinishWords, step, trace);
        case burn::Stage::kWrite: {
            std::string text = Lookup(kWriteWords, step, trace);
            // The packet's place in the image tells whether the flash's end is near.
            if (step >= write::kNoPacketAnswer && step <= write::kTooManyRepeats && step != write::kGaveUp &&
                imageSize > 0)
                text += ", after " + std::to_string(trace.bytesDone) + " of " + std::to_string(imageSize) + " bytes";
            return text;
        }
        default: return "step " + std::to_string(step) + " failed";
    }
}

bool AdapterRemovedError(int error) { return error == ENODEV || error == ENXIO || error == EIO; }

std::string RateText(uint32_t rateUsed, uint32_t rateAsked, int baudStep, const LoaderTrace& trace) {
    if (rateUsed == 0) return {};
    std::string text = "written at " + std::to_string(rateUsed) + " baud";
    if (rateUsed == rateAsked) return text;
    if (baudStep == baud::kWrongCommandAck) return text + ": the module refused " + std::to_string(rateAsked);
    return text + ": " + std::to_string(rateAsked) + " failed (" + Lookup(kBaudWords, baudStep, trace) + ")";
}
