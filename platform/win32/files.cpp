// The editor's file writer on Windows: CreateFile per call, and private
// files created with a DACL that grants the owner alone, written beside the
// target and moved over it (a link at the target is replaced, not followed).

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

// clang-format off
#include "platform/win32/win32.h"
#include <sddl.h>
// clang-format on

namespace tw::platform::win32 {

namespace {

bool writeAll(HANDLE h, std::string_view content) {
    size_t done = 0;
    while (done < content.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1u << 20));
        DWORD n = 0;
        if (!WriteFile(h, content.data() + done, chunk, &n, nullptr) || n == 0) return false;
        done += n;
    }
    return true;
}

bool writeWith(const std::string& path, DWORD access, DWORD disposition, std::string_view content) {
    HANDLE h = CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = writeAll(h, content);
    if (!CloseHandle(h)) ok = false;
    return ok;
}

class Win32FileWriter final : public FileWriter {
  public:
    bool create(const std::string& path, std::string_view content) override {
        return writeWith(path, GENERIC_WRITE, CREATE_ALWAYS, content);
    }

    // Through the C library, whose reasons twrecv has always given.
    NewFile createNew(const std::string& path, std::string_view content,
                      std::string& why) override {
        int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                       _S_IREAD | _S_IWRITE);
        if (fd < 0 && errno == EEXIST) return NewFile::Exists;
        bool ok = fd >= 0;
        for (size_t done = 0; ok && done < content.size();) {
            int n =
                _write(fd, content.data() + done,
                       static_cast<unsigned>(std::min<size_t>(content.size() - done, 1u << 30)));
            ok = n > 0;
            if (ok) done += static_cast<size_t>(n);
        }
        if (!ok) why = std::strerror(errno);
        if (fd >= 0) _close(fd);
        return ok ? NewFile::Written : NewFile::Failed;
    }

    bool append(const std::string& path, std::string_view content) override {
        return writeWith(path, FILE_APPEND_DATA, OPEN_ALWAYS, content);
    }

    bool writePrivate(const std::string& path, std::string_view content) override {
        if (path.empty() || path.back() == '\\' || path.back() == '/') return false;
        PSECURITY_DESCRIPTOR sd = nullptr;
        // Protected DACL: full access for the owner, nobody else.
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;FA;;;OW)",
                                                                  SDDL_REVISION_1, &sd, nullptr))
            return false;
        SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
        HANDLE h = INVALID_HANDLE_VALUE;
        std::string tmp;
        for (unsigned i = 0; i < 100 && h == INVALID_HANDLE_VALUE; ++i) {
            char suffix[32];
            std::snprintf(suffix, sizeof suffix, ".%lu.%u", GetCurrentProcessId(), i);
            tmp = path + suffix;
            h = CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, &sa, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
            if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
        }
        LocalFree(sd);
        if (h == INVALID_HANDLE_VALUE) return false;
        bool ok = writeAll(h, content) && FlushFileBuffers(h);
        if (!CloseHandle(h)) ok = false;
        if (ok)
            ok = MoveFileExA(tmp.c_str(), path.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        if (!ok) DeleteFileA(tmp.c_str());
        return ok;
    }
};

}  // namespace

std::unique_ptr<FileWriter> makeFileWriter() {
    return std::make_unique<Win32FileWriter>();
}

}  // namespace tw::platform::win32

namespace tw::platform {

std::unique_ptr<FileWriter> makeHostFileWriter() {
    return win32::makeFileWriter();
}

}  // namespace tw::platform
