#include "platform/posix/posix_launcher.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <new>

extern char** environ;

namespace tw::platform {

std::optional<std::vector<std::string>> splitArguments(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
            ++i;
            continue;
        }
        inWord = true;
        if (c == '\'') {
            size_t close = text.find('\'', i + 1);
            if (close == std::string_view::npos) return std::nullopt;
            word.append(text.substr(i + 1, close - i - 1));
            i = close + 1;
        } else if (c == '"') {
            ++i;
            bool closed = false;
            while (i < n) {
                char d = text[i];
                if (d == '"') {
                    closed = true;
                    ++i;
                    break;
                }
                if (d == '\\' && i + 1 < n &&
                    (text[i + 1] == '$' || text[i + 1] == '`' || text[i + 1] == '"' ||
                     text[i + 1] == '\\' || text[i + 1] == '\n')) {
                    if (text[i + 1] != '\n') word.push_back(text[i + 1]);
                    i += 2;
                    continue;
                }
                word.push_back(d);
                ++i;
            }
            if (!closed) return std::nullopt;
        } else if (c == '\\') {
            if (i + 1 >= n) return std::nullopt;
            if (text[i + 1] != '\n') word.push_back(text[i + 1]);
            i += 2;
        } else {
            word.push_back(c);
            ++i;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

namespace {

int launchCode(int err) {
    switch (err) {
        case ENOENT:
            return kLaunchFileNotFound;
        case ENOTDIR:
        case ELOOP:
        case ENAMETOOLONG:
            return kLaunchPathNotFound;
        case EACCES:
        case EPERM:
            return kLaunchAccessDenied;
        case ENOMEM:
        case EAGAIN:
            return kLaunchOutOfMemory;
        case ENOEXEC:
        case E2BIG:
            return kLaunchBadFormat;
        default:
            return kLaunchFailed;
    }
}

class PosixLauncher final : public Launcher {
  public:
    ~PosixLauncher() override { reap(); }

    int launch(const std::string& program, const std::string& arguments) override {
        reap();
        try {
            auto words = splitArguments(arguments);
            if (!words) return kLaunchBadFormat;
            std::vector<std::string> args;
            args.reserve(words->size() + 1);
            args.push_back(program);
            for (auto& w : *words) args.push_back(std::move(w));
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            return spawn(program, argv);
        } catch (const std::bad_alloc&) {
            return kLaunchOutOfMemory;
        }
    }

    void reap() override {
        std::lock_guard<std::mutex> g(mu_);
        for (size_t i = 0; i < children_.size();) {
            int status = 0;
            pid_t r = waitpid(children_[i], &status, WNOHANG);
            // Ended (or no longer ours to wait for): forget it.
            if (r == children_[i] || (r < 0 && errno == ECHILD)) {
                children_[i] = children_.back();
                children_.pop_back();
            } else {
                ++i;
            }
        }
    }

  private:
    int spawn(const std::string& program, std::vector<char*>& argv) {
        posix_spawn_file_actions_t fa;
        posix_spawnattr_t attr;
        if (posix_spawn_file_actions_init(&fa) != 0) return kLaunchOutOfMemory;
        if (posix_spawnattr_init(&attr) != 0) {
            posix_spawn_file_actions_destroy(&fa);
            return kLaunchOutOfMemory;
        }
        // Hidden: no console input or output.
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
        // The agent's log, sockets and settings file are not the program's.
        posix_spawn_file_actions_addclosefrom_np(&fa, 3);
#endif
        // The program starts with ordinary signal handling (the agent ignores
        // SIGPIPE, which would otherwise be inherited) and in a process group
        // of its own, so a Ctrl-C meant for the agent's console spares it.
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (int s : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD}) sigaddset(&defaults, s);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setpgroup(&attr, 0);
        posix_spawnattr_setflags(&attr,
                                 static_cast<short>(POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                    POSIX_SPAWN_SETPGROUP));
        pid_t pid = -1;
        int rc = posix_spawn(&pid, program.c_str(), &fa, &attr, argv.data(), environ);
        posix_spawnattr_destroy(&attr);
        posix_spawn_file_actions_destroy(&fa);
        if (rc != 0) return launchCode(rc);
        std::lock_guard<std::mutex> g(mu_);
        children_.push_back(pid);
        return kLaunchStarted;
    }

    std::mutex mu_;
    std::vector<pid_t> children_;
};

}  // namespace

std::unique_ptr<Launcher> makePosixLauncher() {
    return std::make_unique<PosixLauncher>();
}

}  // namespace tw::platform
