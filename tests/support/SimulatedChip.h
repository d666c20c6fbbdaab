// A simulated module with its chip on a pseudo-terminal, its flash in a scratch file.
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "sim/PtyLine.h"
#include "sim/Simulator.h"
#include "tests/support/TestSupport.h"

namespace testsupport {

inline constexpr uint32_t kSimulatedFlashSize = 2u << 20;

class SimulatedChip {
public:
    // `latencyMs`: what a USB adapter's latency timer holds each answer back.
    explicit SimulatedChip(sim::ChipFaults faults = {}, bool paced = false, int latencyMs = 0);
    ~SimulatedChip();
    SimulatedChip(const SimulatedChip&) = delete;
    SimulatedChip& operator=(const SimulatedChip&) = delete;

    const std::string& Path() const { return m_line.SlavePath(); }
    std::string Flash() const { return ReadFile(m_dir / "flash.bin"); }
    const ScratchDir& Dir() const { return m_dir; }
    // The fixture: the module taken out (silent, deaf) or put back, from power-on.
    void SetInserted(bool inserted) { m_module->SetInserted(inserted); }
    // A stable name for the device in the scratch folder, as udev gives an adapter; it
    // follows the device when the adapter is plugged in again. Its path.
    std::string MakeLink(const std::string& name);
    // The adapter pulled (the device and the link go) or plugged in again.
    void SetPlugged(bool plugged) { m_module->SetPlugged(plugged); }

private:
    ScratchDir m_dir;
    sim::PtyLine m_line;
    std::unique_ptr<sim::Simulator> m_module;
    std::thread m_thread;
};

// The protocol's fixed waits, twenty times shorter: the simulated chip answers at once.
void QuickWait(uint32_t ms);

}  // namespace testsupport
