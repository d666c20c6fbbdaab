// A failed run in words: which step of which stage failed and what the module sent with
// it ("the module's loader aborted the stream (cause 0x05) at packet 255"). One table a
// stage, one row a step, so the dialogs, the command-line tool and the records say the
// same.
#pragma once

#include <cstdint>
#include <string>

#include "flash/core/Loader.h"

namespace burn {
// The stages a failure is placed in.
enum class Stage { kNone, kPort, kBootRom, kLoaderReady, kBaud, kRange, kWrite, kFinish };
}  // namespace burn

// The words for `step` of `stage`, with the module's answer and the packet from `trace`
// where the step has them; the image's size for the write stage.
std::string StepFailureText(burn::Stage stage, int step, const LoaderTrace& trace, uint32_t imageSize);

// Whether a line's error code (errno) means the adapter is gone: ENODEV, ENXIO, EIO.
bool AdapterRemovedError(int error);
inline constexpr const char* kAdapterRemoved = "the adapter was removed";

// "written at 115200 baud: the module refused 921600"; for a switch that failed another
// way, its step in words instead of the refusal; "written at 921600 baud" after a switch.
std::string RateText(uint32_t rateUsed, uint32_t rateAsked, int baudStep, const LoaderTrace& trace);
