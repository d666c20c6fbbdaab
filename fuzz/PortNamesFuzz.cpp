// Device names come from the command line and from /sys: natural ordering and short
// names must hold for any bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/serial/PortList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = size ? data[0] % (size + 1) : 0;
    const std::string_view a = all.substr(0, cut), b = all.substr(cut);
    // A strict weak order: never both ways, and irreflexive.
    if (serial::NaturalLess(a, b) && serial::NaturalLess(b, a)) __builtin_trap();
    if (serial::NaturalLess(a, a)) __builtin_trap();
    (void)serial::DeviceShortName(all);
    return 0;
}
