#include "monitor/link/LineReturn.h"

LineReturn::LineReturn(std::string device, const std::string& byIdDir)
    : m_device(std::move(device)), m_stableName(serial::StableNameOf(m_device, byIdDir)) {}

std::string LineReturn::WhereNow() const {
    if (!m_stableName.empty()) return serial::DeviceBehind(m_stableName);
    return serial::DeviceBehind(m_device).empty() ? std::string() : m_device;
}
