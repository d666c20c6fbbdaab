// The host side of the RAM loader's protocol: ready sequence, baud switch, flash range,
// the checksummed packet stream, and the closing command.
#pragma once

#include <cstdint>

#include "BootRom.h"
#include "FlashImage.h"
#include "FlashPort.h"

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


int WaitLoaderReady(FlashPort& port, LoaderInfo& info);
int SwitchBaud(FlashPort& port, uint8_t index, uint8_t checkRepeats);
int SetFlashRange(FlashPort& port, FlashImage& image);
int WriteFlash(FlashPort& port, FlashImage* image, uint32_t steps, StartCallback start, void* startContext,
               ProgressCallback progress, void* progressContext);
// The four-port form also waits for the loader's closing acknowledge.
int FinishLoader(FlashPort& port, bool waitForClose);
