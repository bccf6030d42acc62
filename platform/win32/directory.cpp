// Work-file directories on Windows: FindFirstFile on the directory's path
// for the listing (with the read-only, hidden and system attributes), the
// run-time library's file status for what a path names, and files read
// without following a reparse point (a link).

#include <algorithm>
#include <new>

// The system headers come after windows.h.
// clang-format off
#include "platform/win32/win32.h"
#include <sys/stat.h>
// clang-format on

namespace tw::platform::win32 {

namespace {

class Win32Directory final : public Directory {
  public:
    std::optional<std::vector<DirEntry>> list(const std::string& path) override {
        // Listed by its path: the process's current directory stays where it
        // is, as the external programs' relative paths depend on it.
        std::string pattern = path;
        if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/' &&
            pattern.back() != ':')
            pattern += '\\';
        pattern += '*';
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) {
            // A drive's empty root has not even "." and "..".
            const DWORD error = GetLastError();
            const DWORD attributes = GetFileAttributesA(path.c_str());
            if (error == ERROR_FILE_NOT_FOUND && attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_DIRECTORY))
                return std::vector<DirEntry>{};
            return std::nullopt;
        }
        std::vector<DirEntry> out;
        try {
            do {
                DirEntry e;
                e.name = fd.cFileName;
                DWORD a = fd.dwFileAttributes;
                e.symlink = (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
                e.directory = !e.symlink && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
                e.regular = !e.symlink && !e.directory && (a & FILE_ATTRIBUTE_DEVICE) == 0;
                e.readOnly = (a & FILE_ATTRIBUTE_READONLY) != 0;
                // System files are left alone like hidden ones.
                e.hidden = (a & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
                out.push_back(std::move(e));
            } while (FindNextFileA(h, &fd));
        } catch (const std::bad_alloc&) {
            FindClose(h);
            return std::nullopt;
        }
        FindClose(h);
        return out;
    }

    PathKind kind(const std::string& path) override {
        struct _stat64 st;
        if (_stat64(path.c_str(), &st) != 0) return PathKind::Missing;
        if (st.st_mode & _S_IFREG) return PathKind::Regular;
        if (st.st_mode & _S_IFDIR) return PathKind::Directory;
        return PathKind::Other;
    }

    FileRead readFile(const std::string& path, size_t maxBytes) override {
        FileRead r;
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE) return r;
        BY_HANDLE_FILE_INFORMATION info;
        if (!GetFileInformationByHandle(h, &info) ||
            (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                                      FILE_ATTRIBUTE_DEVICE)) != 0 ||
            GetFileType(h) != FILE_TYPE_DISK) {
            CloseHandle(h);
            return r;
        }
        unsigned long long size =
            (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        if (size > maxBytes) {
            CloseHandle(h);
            r.status = FileRead::Status::TooLarge;
            return r;
        }
        try {
            r.content.resize(static_cast<size_t>(size));
            size_t have = 0;
            while (true) {
                if (have == r.content.size()) {
                    // The file grew since it was measured: read on, within the limit.
                    if (r.content.size() > maxBytes) {
                        CloseHandle(h);
                        r.content.clear();
                        r.status = FileRead::Status::TooLarge;
                        return r;
                    }
                    r.content.resize(r.content.size() + 4096);
                }
                DWORD want = static_cast<DWORD>(std::min<size_t>(r.content.size() - have, 1 << 30));
                DWORD got = 0;
                if (!ReadFile(h, r.content.data() + have, want, &got, nullptr)) {
                    CloseHandle(h);
                    r.content.clear();
                    return r;
                }
                if (got == 0) break;
                have += got;
            }
            r.content.resize(have);
            if (have > maxBytes) {
                CloseHandle(h);
                r.content.clear();
                r.status = FileRead::Status::TooLarge;
                return r;
            }
        } catch (const std::bad_alloc&) {
            CloseHandle(h);
            r.content.clear();
            r.status = FileRead::Status::NoMemory;
            return r;
        }
        CloseHandle(h);
        r.status = FileRead::Status::Ok;
        return r;
    }

    bool removeFile(const std::string& path) override { return DeleteFileA(path.c_str()) != 0; }
};

}  // namespace

std::unique_ptr<Directory> makeDirectory() {
    return std::make_unique<Win32Directory>();
}

}  // namespace tw::platform::win32
