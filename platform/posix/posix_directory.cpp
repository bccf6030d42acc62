#include "platform/posix/posix_directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

namespace tw::platform {

namespace {

class PosixDirectory final : public Directory {
  public:
    std::optional<std::vector<DirEntry>> list(const std::string& path) override {
        DIR* d = opendir(path.c_str());
        if (!d) return std::nullopt;
        std::vector<DirEntry> out;
        try {
            const int fd = dirfd(d);
            while (dirent* e = readdir(d)) {
                DirEntry entry;
                entry.name = e->d_name;
                entry.hidden = !entry.name.empty() && entry.name[0] == '.';
                struct stat st;
                // An entry that vanished since the listing is left with no
                // attribute set, which the reader skips like a device.
                if (fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                    entry.symlink = S_ISLNK(st.st_mode);
                    entry.directory = S_ISDIR(st.st_mode);
                    entry.regular = S_ISREG(st.st_mode);
                    entry.readOnly = (st.st_mode & S_IWUSR) == 0;
                }
                out.push_back(std::move(entry));
            }
        } catch (const std::bad_alloc&) {
            closedir(d);
            return std::nullopt;
        }
        closedir(d);
        return out;
    }

    PathKind kind(const std::string& path) override {
        struct stat st;
        if (stat(path.c_str(), &st) != 0) return PathKind::Missing;
        if (S_ISREG(st.st_mode)) return PathKind::Regular;
        if (S_ISDIR(st.st_mode)) return PathKind::Directory;
        return PathKind::Other;
    }

    FileRead readFile(const std::string& path, size_t maxBytes) override {
        FileRead r;
        // O_NONBLOCK: a pipe put in the file's place must not hang the reader.
        int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return r;
        struct stat st;
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return r;
        }
        if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
            ::close(fd);
            r.status = FileRead::Status::TooLarge;
            return r;
        }
        try {
            r.content.resize(static_cast<size_t>(st.st_size));
            size_t have = 0;
            while (true) {
                if (have == r.content.size()) {
                    // The file grew since fstat: keep reading, within the limit.
                    if (r.content.size() > maxBytes) {
                        ::close(fd);
                        r.content.clear();
                        r.status = FileRead::Status::TooLarge;
                        return r;
                    }
                    r.content.resize(r.content.size() + 4096);
                }
                ssize_t n = ::read(fd, r.content.data() + have, r.content.size() - have);
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) {
                    ::close(fd);
                    r.content.clear();
                    return r;
                }
                if (n == 0) break;
                have += static_cast<size_t>(n);
            }
            r.content.resize(have);
            if (have > maxBytes) {
                ::close(fd);
                r.content.clear();
                r.status = FileRead::Status::TooLarge;
                return r;
            }
        } catch (const std::bad_alloc&) {
            ::close(fd);
            r.content.clear();
            r.status = FileRead::Status::NoMemory;
            return r;
        }
        ::close(fd);
        r.status = FileRead::Status::Ok;
        return r;
    }

    bool removeFile(const std::string& path) override { return ::unlink(path.c_str()) == 0; }
};

}  // namespace

std::unique_ptr<Directory> makePosixDirectory() {
    return std::make_unique<PosixDirectory>();
}

}  // namespace tw::platform
