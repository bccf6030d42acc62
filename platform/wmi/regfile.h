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
    // The value's data as read from the file (after "=", continuation lines
    // included); written back as it is, so that a value nobody changed keeps
    // its bytes. Empty for a value set since: that one is written afresh.
    std::string asRead = {};
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
// Whether the key normaliseKey gave `norm` has a subkey in the tree.
bool hasSubkeys(const RegTree& tree, const std::string& norm);

// Why the file cannot hold this key path or value name ("" when it can):
// no control character, no empty key name, no key that reads as a deletion.
std::string keyPathProblem(std::string_view path);
std::string valueNameProblem(std::string_view name);

// UTF-8 text <-> UTF-16LE, surrogate pairs included. The UTF-16 form ends in
// one zero unit; a zero inside the text is kept both ways. Bytes that are
// not UTF-8 travel as the lone surrogates U+DC80..U+DCFF and come back as
// the same bytes; any other unpaired surrogate reads as U+FFFD.
std::string utf16leFromBytes(std::string_view text);
std::string bytesFromUtf16le(std::string_view utf16);

}  // namespace tw::platform
