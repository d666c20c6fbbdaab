#include "tests/support/SimulatedChip.h"

#include <gtest/gtest.h>

#include "flash/core/FlashPort.h"

namespace testsupport {

SimulatedChip::SimulatedChip(sim::ChipFaults faults, bool paced, int latencyMs) {
    std::string error;
    EXPECT_TRUE(m_line.Open(error)) << error;
    sim::SimulatorOptions options;
    options.paced = paced;
    options.adapterLatencyMs = latencyMs;
    options.receiver.epochsPerSecond = 10;
    options.faults = faults;
    options.flashFile = m_dir / "flash.bin";
    options.flashSize = kSimulatedFlashSize;
    m_module = std::make_unique<sim::Simulator>(m_line, options);
    m_thread = std::thread([this] {
        std::string e;
        m_module->Run(e);
    });
}

SimulatedChip::~SimulatedChip() {
    m_module->Stop();
    m_thread.join();
}

std::string SimulatedChip::MakeLink(const std::string& name) {
    std::string error;
    EXPECT_TRUE(m_line.MakeLink(m_dir / name, error)) << error;
    return m_dir / name;
}

void QuickWait(uint32_t ms) { SleepMs(ms / 20); }

}  // namespace testsupport
