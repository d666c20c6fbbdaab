// The helpers on Windows: scratch directories and files; no pseudo-terminals there.
#include <windows.h>

#include <filesystem>
#include <random>
#include <stdexcept>

#include "tests/support/TestSupport.h"

namespace testsupport {

ScratchDir::ScratchDir() {
    namespace fs = std::filesystem;
    std::random_device seed;
    std::mt19937 gen(seed() ^ GetCurrentProcessId());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path dir = fs::temp_directory_path() / ("skyledger-test-" + std::to_string(gen()));
        std::error_code ec;
        if (fs::create_directory(dir, ec)) {
            m_path = dir.generic_string();
            return;
        }
    }
    throw std::runtime_error("no scratch directory");
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace testsupport
