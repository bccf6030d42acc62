#include "platform/posix/posix_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace tw::platform {

namespace {

bool writeAll(int fd, std::string_view content) {
    size_t done = 0;
    while (done < content.size()) {
        ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The editor's log lies in whatever folder it was started from, which
// another user may write: a link planted there is not followed, a FIFO not
// waited on, and anything but a regular file of this user's own is refused.
// An existing file is emptied (truncate) only once it passed.
bool writeWith(const std::string& path, int flags, std::string_view content) {
    int fd = ::open(
        path.c_str(),
        (flags & ~O_TRUNC) | O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY,
        0666);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        ((flags & O_TRUNC) && ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        return false;
    }
    bool ok = writeAll(fd, content);
    if (::close(fd) != 0) ok = false;
    return ok;
}

class PosixFileWriter final : public FileWriter {
  public:
    bool create(const std::string& path, std::string_view content) override {
        return writeWith(path, O_TRUNC, content);
    }

    NewFile createNew(const std::string& path, std::string_view content,
                      std::string& why) override {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno == EEXIST) return NewFile::Exists;
        bool ok = fd >= 0 && writeAll(fd, content);
        if (!ok) why = std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return ok ? NewFile::Written : NewFile::Failed;
    }

    bool append(const std::string& path, std::string_view content) override {
        return writeWith(path, O_APPEND, content);
    }

    bool writePrivate(const std::string& path, std::string_view content) override {
        if (path.empty() || path.back() == '/') return false;
        // The temporary name sits beside the target so that the rename stays
        // within one file system; mkstemp creates it exclusively, mode 0600.
        std::string tmpl = path + ".XXXXXX";
        std::vector<char> name(tmpl.begin(), tmpl.end());
        name.push_back('\0');
        int fd = ::mkstemp(name.data());
        if (fd < 0) return false;
        const std::string tmp(name.data());
        bool ok = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && writeAll(fd, content) && ::fsync(fd) == 0;
        if (::close(fd) != 0) ok = false;
        if (ok) ok = ::rename(tmp.c_str(), path.c_str()) == 0;
        if (!ok) ::unlink(tmp.c_str());
        return ok;
    }
};

}  // namespace

std::unique_ptr<FileWriter> makePosixFileWriter() {
    return std::make_unique<PosixFileWriter>();
}

std::unique_ptr<FileWriter> makeHostFileWriter() {
    return makePosixFileWriter();
}

}  // namespace tw::platform
