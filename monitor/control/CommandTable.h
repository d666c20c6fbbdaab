// What the navigation command panel sends, for the three module families it knows:
// restarts, the constellation choice, and a command typed by hand. Plain bytes, ready
// for SendBytes; the panel and the command-line tools share them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class ModuleFamily { Zr, Mtk, Ubx };
enum class Restart { Cold, Warm, Hot };

using CommandBytes = std::vector<uint8_t>;

CommandBytes RestartCommand(ModuleFamily family, Restart restart);

struct ConstellationChoice {
    bool gps = false, glonass = false, beidou = false;
};

// The bytes to send, or the message that says why nothing is sent.
struct CommandOrRefusal {
    CommandBytes bytes;
    std::string refusal;
};

CommandOrRefusal ConstellationCommand(ModuleFamily family, ConstellationChoice choice);

// A command typed without "$" and checksum. Nothing at all for an empty text or one of
// the two prefilled entries ("PZRC", "PMTK").
CommandOrRefusal FreeCommand(std::string_view typed);
inline constexpr std::size_t kMaxFreeCommand = 250;

// The stored UBX messages, for a check of their checksums.
std::vector<CommandBytes> StoredUbxMessages();
