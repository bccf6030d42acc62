// External programs on Windows: the shell's open operation, hidden, not
// waited for. The shell hands back no process, so there is nothing to reap.

// The system headers come after windows.h.
// clang-format off
#include "platform/win32/win32.h"
#include <objbase.h>
#include <shellapi.h>
// clang-format on

namespace tw::platform::win32 {

namespace {

class Win32Launcher final : public Launcher {
  public:
    int launch(const std::string& program, const std::string& arguments) override {
        // The shell may use COM for what it starts; each external program's
        // thread gets an apartment for the call.
        HRESULT co = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        HINSTANCE h =
            ShellExecuteA(nullptr, nullptr, program.c_str(),
                          arguments.empty() ? nullptr : arguments.c_str(), nullptr, SW_HIDE);
        if (SUCCEEDED(co)) CoUninitialize();
        return static_cast<int>(reinterpret_cast<INT_PTR>(h));
    }

    void reap() override {}
};

}  // namespace

std::unique_ptr<Launcher> makeLauncher() {
    return std::make_unique<Win32Launcher>();
}

}  // namespace tw::platform::win32
