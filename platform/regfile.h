// The registry-export text format ("Windows Registry Editor Version 5.00"):
// parse into keys and values, and write back. Used by the file-backed
// settings store; pure text in, text out.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/settings_store.h"

namespace tw::platform {

struct RegFileValue {
    std::string name;  // "" is the default value (@)
    RegValue value;
};

struct RegFileKey {
    std::string path;  // as first written, Wow6432Node folded away
    std::vector<RegFileValue> values;
};

// Keys by their normalised path (upper-case, Wow6432Node folded).
using RegTree = std::map<std::string, RegFileKey>;

// Normalises a key path for lookup: upper-cased ASCII, no trailing
// backslash, "HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432NODE\" folded to
// "HKEY_LOCAL_MACHINE\SOFTWARE\".
std::string normaliseKey(std::string_view path);
// The same folding, keeping the writer's case.
std::string foldKeyPath(std::string_view path);

struct RegParseError {
    int line = 0;
    std::string what;
};

// Parses a whole file. Every key's ancestors are present in the result.
std::optional<RegTree> parseRegFile(std::string_view text, RegParseError* error);
std::string writeRegFile(const RegTree& tree);

// Adds a key and its missing ancestors; answers the key.
RegFileKey& ensureKey(RegTree& tree, const std::string& path);

// Text <-> UTF-16LE with one byte per code unit (Latin-1), as the agent's
// narrow texts travel. The UTF-16 form ends in one zero unit; a zero inside
// the text is kept both ways.
std::string utf16leFromBytes(std::string_view text);
std::string bytesFromUtf16le(std::string_view utf16);

}  // namespace tw::platform
