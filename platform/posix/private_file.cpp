#include "platform/posix/private_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tw::platform {

std::FILE* createPrivateFile(const std::string& path, std::string& why) {
    // Not truncated yet: what sits at the name is checked first. Non-blocking
    // so that a FIFO cannot hold the caller.
    int fd = ::open(path.c_str(),
                    O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0600);
    if (fd < 0) {
        // A FIFO without a reader answers ENXIO to a non-blocking writer.
        why = errno == ELOOP   ? "a symbolic link, not followed"
              : errno == ENXIO ? "not a regular file"
                               : std::strerror(errno);
        return nullptr;
    }
    auto refuse = [&](std::string text) -> std::FILE* {
        why = std::move(text);
        ::close(fd);
        return nullptr;
    };
    struct stat st;
    if (fstat(fd, &st) != 0) return refuse(std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return refuse("not a regular file");
    // A second name would let whoever made it read what is written here.
    if (st.st_nlink != 1) return refuse("a file with more than one name (hard link)");
    if (st.st_uid != geteuid()) return refuse("a file of another user");
    if (fchmod(fd, 0600) != 0 || ftruncate(fd, 0) != 0) return refuse(std::strerror(errno));
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* f = fdopen(fd, "wb");
    if (!f) return refuse(std::strerror(errno));
    return f;
}

}  // namespace tw::platform
