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

// Another program that has a device open: a terminal left open on a port, which holds
// it without locking it and takes the module's answers away.
struct PortHolder {
    int pid = 0;
    std::string name;  // the program's name, as the system keeps it ("screen")
};

// The other processes (this one left out) with `device` open, links followed: on Linux
// from the descriptor links under /proc; those of other users are not seen. Always
// empty on Windows, where a port held elsewhere does not open at all.
std::vector<PortHolder> PortHolders(const std::string& device, const std::string& proc = "/proc");

// "the port is in use by screen (pid 4242)", or "... by screen (pid 4242), minicom (pid 77)";
// empty for none.
std::string PortHoldersText(const std::vector<PortHolder>& holders);

}  // namespace serial
