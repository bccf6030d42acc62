// Whether the Windows under a test is 64-bit: always for a 64-bit test
// program, for a 32-bit one when it runs under WoW64. The product's programs
// are 32-bit; the checks also run a 64-bit build of them.
#pragma once

#include <windows.h>

namespace tw::testing {

inline bool on64BitWindows() {
    if (sizeof(void*) == 8) return true;
    BOOL wow = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow) && wow;
}

}  // namespace tw::testing
