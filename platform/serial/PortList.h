// The serial ports of this machine, by device path.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace serial {

// Natural order: digit runs compare by value, so ttyS2 comes before ttyS10.
bool NaturalLess(std::string_view a, std::string_view b);

// Device paths of the real serial ports (on Linux ttys backed by a device, UARTs that are
// not just unpopulated 8250 slots; on Windows the COM ports the system lists under
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, sysClassTty unused), then the extra paths the
// caller names that are not already in the list, all in natural order.
std::vector<std::string> ListPorts(const std::vector<std::string>& extraPaths = {},
                                   const std::string& sysClassTty = "/sys/class/tty");

// Short name of a device for file names and captions: "/dev/ttyUSB0" gives "ttyUSB0",
// "/dev/pts/3" gives "pts-3", a path outside /dev gives its last component.
std::string DeviceShortName(std::string_view path);

// Where udev names each USB serial adapter for good: a link per adapter, named by its
// maker, model and serial number, to whichever ttyUSBn or ttyACMn it got this time.
inline constexpr const char* kSerialByIdDir = "/dev/serial/by-id";

// The link in `byIdDir` that leads to the same device as `device` (itself a device or a
// link); empty when none does or the folder is missing. A pulled adapter that comes
// back under another number is found again by this name.
std::string StableNameOf(const std::string& device, const std::string& byIdDir = kSerialByIdDir);

// The device `path` leads to now, links followed; empty while nothing is there.
std::string DeviceBehind(const std::string& path);

// For a device the user may not open: which group owns it and how to join that group;
// empty when the device's group cannot be told (always on Windows, where a COM port has
// no group: a refusal there means another program holds it).
std::string PermissionHint(const std::string& path);

}  // namespace serial
