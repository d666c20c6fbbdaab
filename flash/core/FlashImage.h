// What a programming run writes: the image for the flash and the loader for the chip's
// RAM. Shared by the loader protocol and the procedure.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

namespace burn {
// Flash addresses are 27 bits wide: an image must end below 128 MiB.
inline constexpr uint64_t kFlashRangeBytes = uint64_t{1} << 27;
inline constexpr uint32_t kMinImageBytes = 4;  // the loader's header carries the first four
}  // namespace burn

struct FlashImage {
    std::string name;
    uint32_t startAddress = 0;
    uint32_t endAddress = 0;
    std::string path;
    std::time_t modificationTime = 0;
    std::shared_ptr<const uint8_t[]> data;
    uint32_t size = 0;
    uint8_t waitFactor = 0;
    uint32_t packetSize = 1024;
    uint8_t modeByte = 1;

    // A one-byte file is not valid (its end address equals its start); neither is one
    // shorter than the loader's header, nor one whose end the flash range cannot address.
    bool IsValid() const {
        return !path.empty() && data && size >= burn::kMinImageBytes && endAddress != startAddress &&
               endAddress != 0 && endAddress < burn::kFlashRangeBytes && endAddress >= startAddress;
    }
};

struct LoaderRecord {
    std::string name = "BE";
    uint32_t loadAddress = 0;
    std::shared_ptr<const uint8_t[]> data;
    uint32_t size = 0;
    bool IsValid() const { return !name.empty() && data && size; }
};
