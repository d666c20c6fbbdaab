// What the navigation command panel sends, for the three module families it knows:
// restarts, the constellation choice, and a command typed by hand. Plain bytes, ready
// for SendBytes; the panel and the command-line tools share them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class ModuleFamily { Zr, Mtk, Ubx };
enum class Restart { Cold, Warm, Hot };

using CommandBytes = std::vector<uint8_t>;

struct ConstellationChoice {
    bool gps = false, glonass = false, beidou = false;
    bool galileo = false;  // MTK and UBX modules only: the ZR command has no field for it
};

// The bytes to send, or the message that says why nothing is sent.
struct CommandOrRefusal {
    CommandBytes bytes;
    std::string refusal;
    std::string note;  // sent, but not quite as typed: why ("typed checksum *00 is wrong: sent with *1F")
};

// A module family, one row: its name (the panel's choice, zrctl's word) and how its
// commands are made. A new family is a row here and its two makers.
struct ModuleFamilyRow {
    ModuleFamily family;
    const char* name;
    CommandBytes (*restart)(Restart restart);
    // Called with at least one system chosen.
    CommandOrRefusal (*constellations)(ConstellationChoice choice);
};

// In the order of the panel's buttons.
std::span<const ModuleFamilyRow> ModuleFamilies();
const ModuleFamilyRow& FamilyRow(ModuleFamily family);
std::optional<ModuleFamily> FamilyNamed(std::string_view name);
std::string FamilyNames(const char* separator);  // "ZR|MTK|UBX" with "|"

CommandBytes RestartCommand(ModuleFamily family, Restart restart);
CommandOrRefusal ConstellationCommand(ModuleFamily family, ConstellationChoice choice);

// A command typed without "$" and checksum, or copied whole from a log: a leading "$"
// and a "*hh" at the end are taken off, and the checksum is always made afresh; a typed
// one that differs is told in `note`. Nothing at all for an empty text or one of the two
// prefilled entries ("PZRC", "PMTK").
CommandOrRefusal FreeCommand(std::string_view typed);
inline constexpr std::size_t kMaxFreeCommand = 250;

// The stored UBX messages, for a check of their checksums.
std::vector<CommandBytes> StoredUbxMessages();
