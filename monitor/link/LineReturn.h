// Where a lost line's device is looked for again. A USB serial adapter pulled and put
// back may get another number (ttyUSB0 becomes ttyUSB1), and another adapter may take
// the old one; udev's stable name follows the adapter itself. So the stable name found
// at connect decides when there is one, and the same path otherwise.
#pragma once

#include <string>

#include "platform/serial/PortList.h"

class LineReturn {
public:
    explicit LineReturn(std::string device, const std::string& byIdDir = serial::kSerialByIdDir);

    const std::string& Device() const { return m_device; }
    const std::string& StableName() const { return m_stableName; }  // empty: none found
    // The path to open now: the device behind the stable name, or the same path; empty
    // while the device is not there.
    std::string WhereNow() const;

private:
    std::string m_device;
    std::string m_stableName;
};
