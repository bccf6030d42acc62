// What twnt.exe carries for Windows: the event source's message table
// (identifier 256 shows its one text unchanged) and the export of the
// agent's inet_pton under its decorated name.
#include <gtest/gtest.h>

#include "platform/win32/win32.h"

namespace tw::platform::win32 {
namespace {

const std::string kTwnt = std::string(TW_BINARY_DIR) + "/twnt.exe";

TEST(Win32EventLog, MessageTableOfTheProgramShowsTheTextUnchanged) {
    HMODULE m = LoadLibraryExA(kTwnt.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(m, nullptr) << kTwnt;
    const char* args[] = {"Started Tallwatch Professional Edition Client 5.01"};
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                 FORMAT_MESSAGE_ARGUMENT_ARRAY,
                             m, 256, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                             reinterpret_cast<char*>(&text), 0,
                             reinterpret_cast<va_list*>(const_cast<char**>(args)));
    ASSERT_GT(n, 0u);
    EXPECT_EQ(std::string(text, n), std::string(args[0]) + "\r\n");
    LocalFree(text);
    // No other identifier has a message of its own.
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             m, 1, 0, reinterpret_cast<char*>(&text), 0, nullptr),
              0u);
    FreeLibrary(m);
}

TEST(Win32EventLog, ReportingUnderTheSourceSucceeds) {
    auto log = makeEventLog();
    EXPECT_TRUE(log->report("TallwatchClient", EventType::Information, 256, {"test entry"}));
    EXPECT_TRUE(log->report("TallwatchClient", EventType::Error, 0, {"first", "second"}));
}

TEST(Win32Exports, InetPtonIsExportedAsItsDecoratedName) {
    HMODULE m = LoadLibraryExA(kTwnt.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(m, nullptr) << kTwnt;
    using Fn = int(__stdcall*)(int, const char*, void*);
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m, "_inet_pton@12")));
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(GetProcAddress(m, "inet_pton"), nullptr);
    unsigned char out[16] = {};
    EXPECT_EQ(fn(2, "10.1.2.3", out), 1);
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(out[3], 3);
    EXPECT_EQ(fn(2, "10.1.2", out), 0);
    EXPECT_EQ(fn(7, "10.1.2.3", out), -1);
    FreeLibrary(m);
}

}  // namespace
}  // namespace tw::platform::win32
