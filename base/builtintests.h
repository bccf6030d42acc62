// The agent's ten built-in tests, declared once: the word that names a test
// in the Tests setting, in its status messages and in the mode lookup; the
// mode the Tests default gives it; whether its mode may be T (its report
// then carries performance data); and the settings only it reads, whose
// fields the configuration editor enables with the test.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace tw {

struct BuiltinTest {
    const char* word;
    char install;             // the mode of the Tests default
    bool trend;               // the mode T may be set
    const char* settings[2];  // the settings only this test reads; nullptr: none
};

inline constexpr BuiltinTest kProcsTest{"procs", 'P', false, {"Procs", nullptr}};
inline constexpr BuiltinTest kMsgsTest{"msgs", 'P', false, {"MsgLevels", "IgnoreMsgs"}};
inline constexpr BuiltinTest kCpuTest{"cpu", 'P', true, {nullptr, nullptr}};
inline constexpr BuiltinTest kDiskTest{"disk", 'P', true, {"DiskList", nullptr}};
inline constexpr BuiltinTest kNetprotlTest{"netprotl", 'P', false, {nullptr, nullptr}};
inline constexpr BuiltinTest kMemTest{"mem", 'P', true, {nullptr, nullptr}};
inline constexpr BuiltinTest kPagefileTest{"pagefile", 'P', false, {nullptr, nullptr}};
inline constexpr BuiltinTest kSvcsTest{"svcs", 'P', false, {"Services", nullptr}};
inline constexpr BuiltinTest kNetdataTest{"netdata", 'D', true, {"NetworkInterfaces", nullptr}};
inline constexpr BuiltinTest kWmiTest{"wmitest", 'D', true, {"WMITests", nullptr}};

// In the order of the Tests default.
inline constexpr const BuiltinTest* kBuiltinTests[10] = {
    &kProcsTest, &kMsgsTest,     &kCpuTest,  &kDiskTest,    &kNetprotlTest,
    &kMemTest,   &kPagefileTest, &kSvcsTest, &kNetdataTest, &kWmiTest,
};

namespace builtin_detail {

// "word:M" for each test, separated by one blank, and the closing NUL.
consteval size_t defaultTestsSize() {
    size_t n = 0;
    for (const BuiltinTest* t : kBuiltinTests) n += std::string_view(t->word).size() + 3;
    return n;
}

consteval std::array<char, defaultTestsSize()> defaultTests() {
    std::array<char, defaultTestsSize()> out{};
    size_t at = 0;
    for (const BuiltinTest* t : kBuiltinTests) {
        if (at > 0) out[at++] = ' ';
        for (char c : std::string_view(t->word)) out[at++] = c;
        out[at++] = ':';
        out[at++] = t->install;
    }
    out[at] = '\0';
    return out;
}

inline constexpr std::array<char, defaultTestsSize()> kDefaultTests = defaultTests();

}  // namespace builtin_detail

// The Tests default: every test with its install mode, e.g. "procs:P msgs:P ...".
inline constexpr const char* kDefaultTestsText = builtin_detail::kDefaultTests.data();

// The test named by a word (exactly as written), nullptr for none.
constexpr const BuiltinTest* builtintest(std::string_view word) {
    for (const BuiltinTest* t : kBuiltinTests)
        if (word == t->word) return t;
    return nullptr;
}

}  // namespace tw
