// Process-level services on Windows: GetLastError and FormatMessage, the
// program's path, the environment, the named mutex TWNTMutex, the console,
// and the stop event that a service stop or Ctrl-C sets.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <vector>

#include "platform/win32/win32.h"

#include <aclapi.h>
#include <sddl.h>

namespace tw::platform::win32 {

HANDLE stopEvent() {
    // Manual reset: once a stop is requested every later sleep ends at once.
    static HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return event;
}

std::string systemErrorText(DWORD code) {
    char* text = nullptr;
    DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string out;
    if (n && text) out.assign(text, n);
    if (text) LocalFree(text);
    // The system's texts end in CR LF.
    if (out.size() >= 2 && out.compare(out.size() - 2, 2, "\r\n") == 0) out.resize(out.size() - 2);
    return out;
}

namespace {

// TWNTMutex: a named kernel mutex, so that the cycle, the plugin thread and
// the external programs' threads exclude each other. Owned by its creator.
class NamedMutex final : public CycleMutex {
  public:
    explicit NamedMutex(const std::string& name) {
        h_ = CreateMutexA(nullptr, TRUE, name.c_str());
        // A mutex of that name already exists (another agent holds it): the
        // creation does not make us its owner, so wait for it as the owner
        // the caller expects to be.
        if (h_ && GetLastError() == ERROR_ALREADY_EXISTS) lock();
    }
    ~NamedMutex() override {
        if (h_) CloseHandle(h_);
    }
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // An abandoned mutex (its owner died) is ours all the same.
    void lock() override {
        if (h_) WaitForSingleObject(h_, INFINITE);
    }
    void unlock() override {
        if (h_) ReleaseMutex(h_);
    }

  private:
    HANDLE h_ = nullptr;
};

// Only the file's owner, SYSTEM and the Administrators, nothing inherited
// from a shared TEMP folder: the log holds every message in clear.
constexpr const char* kPrivateFileSddl = "D:P(A;;FA;;;OW)(A;;FA;;;SY)(A;;FA;;;BA)";

std::FILE* openPrivateFile(const std::string& path, std::string& why) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorA(kPrivateFileSddl, SDDL_REVISION_1, &sd,
                                                         nullptr);
    SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
    // A reparse point (symbolic link, junction) at the name is opened as
    // itself, not followed, so that it can be recognised and refused.
    HANDLE h =
        CreateFileA(path.c_str(), GENERIC_WRITE | WRITE_DAC, FILE_SHARE_READ, sd ? &sa : nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    DWORD err = GetLastError();
    if (h == INVALID_HANDLE_VALUE) {
        if (sd) LocalFree(sd);
        why = systemErrorText(err);
        if (why.empty()) why = "error " + std::to_string(err);
        return nullptr;
    }
    const bool existed = err == ERROR_ALREADY_EXISTS;
    BY_HANDLE_FILE_INFORMATION info{};
    const char* refused = nullptr;
    if (!GetFileInformationByHandle(h, &info))
        refused = "its kind cannot be read";
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        refused = "a symbolic link or reparse point, not followed";
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        refused = "not a regular file";
    else if (info.nNumberOfLinks > 1)
        refused = "a file with more than one name (hard link)";
    else if (GetFileType(h) != FILE_TYPE_DISK)
        refused = "not a regular file";
    // A file that was already there keeps the permissions it was made with
    // unless they are replaced.
    if (!refused && existed) {
        BOOL present = FALSE, defaulted = FALSE;
        PACL dacl = nullptr;
        if (!sd || !GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) ||
            SetSecurityInfo(h, SE_FILE_OBJECT,
                            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, dacl, nullptr) != ERROR_SUCCESS)
            refused = "its permissions cannot be made private";
    }
    if (sd) LocalFree(sd);
    if (!refused && !SetEndOfFile(h)) refused = "it cannot be emptied";
    if (refused) {
        why = refused;
        CloseHandle(h);
        return nullptr;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY | _O_WRONLY);
    if (fd < 0) {
        CloseHandle(h);
        why = "no file descriptor";
        return nullptr;
    }
    std::FILE* f = _fdopen(fd, "wb");
    if (!f) {
        _close(fd);
        why = "no stream";
    }
    return f;
}

BOOL WINAPI onConsoleControl(DWORD type) {
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            SetEvent(stopEvent());
            return TRUE;
        default:
            return FALSE;
    }
}

class Win32System final : public System {
  public:
    Win32System() {
        stopEvent();
        // The agent's texts carry their own CR LF: no second CR from text mode,
        // so the output is the same bytes as on Linux.
        // (A service has no standard output at all.)
        for (FILE* f : {stdout, stderr})
            if (_fileno(f) >= 0) _setmode(_fileno(f), _O_BINARY);
        // Ctrl-C, Ctrl-Break and closing the console end an -app run cleanly
        // while the process still has its console.
        SetConsoleCtrlHandler(onConsoleControl, TRUE);
    }

    uint32_t lastErrorCode() override { return GetLastError(); }

    std::string errorText(uint32_t code) override { return systemErrorText(code); }

    std::optional<std::string> programPath() override {
        std::vector<char> buf(MAX_PATH + 1);
        while (true) {
            DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
            if (n == 0) return std::nullopt;
            if (n < buf.size()) return std::string(buf.data(), n);
            if (buf.size() >= 32768) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return std::nullopt;
            }
            buf.resize(buf.size() * 2);
        }
    }

    std::optional<std::string> getenv(const std::string& name) override {
        std::vector<char> buf(260);
        while (true) {
            SetLastError(ERROR_SUCCESS);
            DWORD n =
                GetEnvironmentVariableA(name.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
            if (n == 0) {
                if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
                return std::string();
            }
            if (n < buf.size()) return std::string(buf.data(), n);
            buf.resize(n);
        }
    }

    std::string tempFallback(int index) override { return index == 0 ? "C:\\TEMP" : "D:\\TEMP"; }

    char pathSeparator() override { return '\\'; }

    std::unique_ptr<CycleMutex> createCycleMutex(const std::string& name) override {
        return std::make_unique<NamedMutex>(name);
    }

    std::FILE* createPrivateFile(const std::string& path, std::string& why) override {
        return openPrivateFile(path, why);
    }

    void releaseConsole() override { FreeConsole(); }

    bool stopRequested() override { return WaitForSingleObject(stopEvent(), 0) == WAIT_OBJECT_0; }

    void requestStop() override { SetEvent(stopEvent()); }

    [[noreturn]] void exitProcess(int status) override {
        std::fflush(nullptr);
        ExitProcess(static_cast<UINT>(status));
    }
};

}  // namespace

std::unique_ptr<System> makeSystem() {
    return std::make_unique<Win32System>();
}

}  // namespace tw::platform::win32

namespace tw::platform {

std::unique_ptr<System> makeHostSystem() {
    return win32::makeSystem();
}

}  // namespace tw::platform
