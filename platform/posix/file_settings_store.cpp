#include "platform/posix/file_settings_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <mutex>
#include <optional>

#include "platform/posix/monotonic.h"
#include "platform/wmi/regfile.h"

namespace tw::platform {

std::string defaultRegistryPath() {
    if (const char* p = std::getenv("TWNT_REGISTRY"); p && *p) return p;
    if (geteuid() == 0) return "/var/lib/twnt/registry.reg";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/state/twnt/registry.reg";
}

namespace {

bool mkdirs(const std::string& dir) {
    if (dir.empty()) return true;
    struct stat st;
    if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !mkdirs(dir.substr(0, slash))) return false;
    return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string dirOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The most a settings file may hold; anything larger is not one of ours.
constexpr off_t kMaxSettingsFile = 16 * 1024 * 1024;

// Reads the whole file; false with why set when it is missing, not a
// regular file, larger than the cap or unreadable.
bool readAll(const std::string& path, std::string& out, bool& missing, std::string& why) {
    missing = false;
    // Non-blocking, so that a FIFO put in its place cannot hold the reader.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        missing = errno == ENOENT;
        why = std::strerror(errno);
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        why = std::strerror(errno);
        ::close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode) || st.st_size > kMaxSettingsFile) {
        why = !S_ISREG(st.st_mode) ? "not a regular file"
                                   : "larger than " + std::to_string(kMaxSettingsFile) + " bytes";
        ::close(fd);
        return false;
    }
    out.clear();
    char buf[65536];
    while (true) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            why = std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        out.append(buf, static_cast<size_t>(n));
        // It grew while being read.
        if (out.size() > static_cast<size_t>(kMaxSettingsFile)) {
            why = "larger than " + std::to_string(kMaxSettingsFile) + " bytes";
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    return true;
}

// Holds the writers' lock file shared while a reader reads, so that no
// writer of ours is half-way through; a lock file that does not exist means
// no writer has run. A writer that holds it too long is not waited for.
class SharedReadLock {
  public:
    explicit SharedReadLock(const std::string& lockPath) {
        fd_ = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        if (fd_ < 0) return;
        for (int tries = 0; tries < 250; ++tries) {
            if (flock(fd_, LOCK_SH | LOCK_NB) == 0) return;
            if (errno != EWOULDBLOCK && errno != EINTR) break;
            struct timespec ts {
                0, 20 * 1000 * 1000
            };
            nanosleep(&ts, nullptr);
        }
        ::close(fd_);
        fd_ = -1;
    }
    ~SharedReadLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    SharedReadLock(const SharedReadLock&) = delete;
    SharedReadLock& operator=(const SharedReadLock&) = delete;

  private:
    int fd_ = -1;
};

// Tells whether the settings file may have changed since the last look,
// without a walk of its path: the agent reads each of its settings once a
// cycle, and a file-system lookup per setting was a tenth of a cycle's cost.
// Watches the file's folder (writers replace the file by a rename). Changes
// that the kernel does not report (another host writing over a network
// file system, a link from another folder) are still found by looking at
// the file itself at least every kTrustMs.
class ChangeWatch {
  public:
    static constexpr int64_t kTrustMs = 1000;

    explicit ChangeWatch(std::string path)
        : dir_(dirOf(path)), name_(path.substr(path.find_last_of('/') + 1)) {}
    ~ChangeWatch() { reset(); }
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // Starts watching when it can (the folder may not exist yet); call before
    // the file is looked at, so that no change falls between the two.
    void arm() {
        if (fd_ >= 0) return;
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ < 0) return;
        const uint32_t mask = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVED_FROM | IN_MOVED_TO |
                              IN_CREATE | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
        if (inotify_add_watch(fd_, dir_.c_str(), mask) < 0) reset();
    }

    enum class Seen { Nothing, Change, Unknown };
    // What was reported since the last call: Unknown when not watching.
    Seen poll() {
        if (fd_ < 0) return Seen::Unknown;
        return drain() ? Seen::Change : Seen::Nothing;
    }
    // Whether the file itself was looked at less than kTrustMs ago.
    bool fresh() const { return nowMs() - lookedAt_ < kTrustMs; }
    void lookedAt() { lookedAt_ = nowMs(); }

  private:
    // Reads every pending event; true when one may concern the file.
    bool drain() {
        alignas(inotify_event) char buf[4096];
        bool changed = false;
        while (true) {
            ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (n < 0 && errno != EAGAIN) {
                    reset();
                    return true;
                }
                return changed;
            }
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
                if (e->mask & (IN_Q_OVERFLOW | IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
                    reset();  // the folder itself went away or events were lost
                    return true;
                }
                if (e->len == 0 || name_ == e->name) changed = true;
            }
        }
    }

    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    const std::string dir_, name_;
    int fd_ = -1;
    int64_t lookedAt_ = 0;
};

class FileSettingsStore final : public SettingsStore {
  public:
    explicit FileSettingsStore(std::string path) : path_(std::move(path)), watch_(path_) {}

    bool healthy() override {
        std::lock_guard<std::mutex> g(mu_);
        return refresh();
    }

    bool keyExists(const std::string& key) override {
        std::lock_guard<std::mutex> g(mu_);
        if (!refresh()) return false;
        return tree_.count(normaliseKey(key)) != 0;
    }

    std::optional<RegValue> getValue(const std::string& key, const std::string& name) override {
        std::lock_guard<std::mutex> g(mu_);
        if (!refresh()) return std::nullopt;
        auto it = tree_.find(normaliseKey(key));
        if (it == tree_.end()) {
            error_ = "key not found";
            return std::nullopt;
        }
        std::string uname = normaliseKey(name);
        for (const auto& v : it->second.values)
            if (normaliseKey(v.name) == uname) return v.value;
        error_ = "value not found";
        return std::nullopt;
    }

    bool setValue(const std::string& key, const std::string& name, const RegValue& value) override {
        if (!holdable(key, name)) return false;
        // A value the file already holds is not written again, so a save of
        // every setting costs one rewrite (and flush) per change, not per setting.
        auto old = getValue(key, name);
        if (old && sameValue(*old, value)) return true;
        return modify([&](RegTree& tree) {
            RegFileKey& k = ensureKey(tree, key);
            std::string uname = normaliseKey(name);
            for (auto& v : k.values) {
                if (normaliseKey(v.name) == uname) {
                    v.value = value;
                    v.asRead.clear();
                    return true;
                }
            }
            k.values.push_back({name, value});
            return true;
        });
    }

    bool setValues(const std::vector<ValueWrite>& writes,
                   std::vector<std::optional<RegValue>>* before) override {
        for (const ValueWrite& w : writes)
            if (!holdable(w.key, w.name)) return false;
        // Values the file already holds cost no rewrite: a repeated copy of
        // the same settings leaves the file as it is.
        if (!healthy()) return false;
        std::vector<std::optional<RegValue>> now;
        bool same = true;
        for (const ValueWrite& w : writes) {
            now.push_back(getValue(w.key, w.name));
            same = same && now.back() && sameValue(*now.back(), w.value);
        }
        if (same) {
            if (before) *before = std::move(now);
            return true;
        }
        return modify([&](RegTree& tree) {
            if (before) before->clear();
            for (const ValueWrite& w : writes) {
                RegFileKey& k = ensureKey(tree, w.key);
                const std::string uname = normaliseKey(w.name);
                auto v = std::find_if(k.values.begin(), k.values.end(), [&](const RegFileValue& x) {
                    return normaliseKey(x.name) == uname;
                });
                if (before)
                    before->push_back(v == k.values.end() ? std::nullopt : std::optional(v->value));
                if (v == k.values.end()) {
                    k.values.push_back({w.name, w.value});
                } else {
                    v->value = w.value;
                    v->asRead.clear();
                }
            }
            return true;
        });
    }

    bool createKey(const std::string& key) override {
        if (!holdable(key, "")) return false;
        if (keyExists(key)) return true;
        return modify([&](RegTree& tree) {
            ensureKey(tree, key);
            return true;
        });
    }

    bool deleteKey(const std::string& key) override {
        return modify([&](RegTree& tree) {
            std::string norm = normaliseKey(key);
            auto it = tree.find(norm);
            if (it == tree.end()) {
                error_ = "key not found";
                return false;
            }
            if (hasSubkeys(tree, norm)) {
                error_ = "key has subkeys";
                return false;
            }
            tree.erase(it);
            return true;
        });
    }

    bool deleteValue(const std::string& key, const std::string& name) override {
        return modify([&](RegTree& tree) {
            auto it = tree.find(normaliseKey(key));
            if (it == tree.end()) {
                error_ = "key not found";
                return false;
            }
            auto& values = it->second.values;
            std::string uname = normaliseKey(name);
            for (auto v = values.begin(); v != values.end(); ++v) {
                if (normaliseKey(v->name) == uname) {
                    values.erase(v);
                    return true;
                }
            }
            error_ = "value not found";
            return false;
        });
    }

    std::optional<std::vector<std::string>> subkeys(const std::string& key) override {
        std::lock_guard<std::mutex> g(mu_);
        if (!refresh()) return std::nullopt;
        std::string norm = normaliseKey(key);
        if (!tree_.count(norm)) {
            error_ = "key not found";
            return std::nullopt;
        }
        std::vector<std::string> names;
        std::string prefix = norm + "\\";
        for (auto it = tree_.lower_bound(prefix); it != tree_.end(); ++it) {
            if (it->first.compare(0, prefix.size(), prefix) != 0) break;
            if (it->first.find('\\', prefix.size()) != std::string::npos) continue;
            const std::string& path = it->second.path;
            names.push_back(path.substr(path.find_last_of('\\') + 1));
        }
        return names;
    }

    std::string lastError() const override {
        std::lock_guard<std::mutex> g(mu_);
        return error_;
    }

  private:
    static bool sameValue(const RegValue& a, const RegValue& b) {
        return a.type == b.type && a.data == b.data && a.dword == b.dword;
    }

    // Whether the file can hold the names; error_ says why not.
    bool holdable(const std::string& key, const std::string& name) {
        std::string why = keyPathProblem(key);
        if (why.empty()) why = valueNameProblem(name);
        if (why.empty()) return true;
        std::lock_guard<std::mutex> g(mu_);
        error_ = why;
        return false;
    }

    struct Stamp {
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = -1;
        timespec mtime{};
        bool exists = false;
        bool operator==(const Stamp& o) const {
            return dev == o.dev && ino == o.ino && size == o.size && exists == o.exists &&
                   mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
        }
    };

    Stamp stampNow() {
        Stamp s;
        struct stat st;
        if (stat(path_.c_str(), &st) == 0) {
            s.exists = true;
            s.dev = st.st_dev;
            s.ino = st.st_ino;
            s.size = st.st_size;
            s.mtime = st.st_mtim;
        }
        return s;
    }

    // Whether the parse in hand still stands for the file.
    bool unchanged() {
        const ChangeWatch::Seen seen = watch_.poll();
        if (seen == ChangeWatch::Seen::Nothing && watch_.fresh()) return true;
        // A reported change is read again even when the file's size and
        // time look the same (a rewrite within one tick of its clock).
        const bool same = stampNow() == stamp_;
        watch_.lookedAt();
        return same && seen != ChangeWatch::Seen::Change;
    }

    // Brings tree_ up to date with the file; false when it cannot be read or
    // parsed. Only what a successful read produced is kept between calls: a
    // file that could not be read is tried again at the next call (its
    // permissions may have been mended without touching the file).
    bool refresh(bool force = false) {
        if (!force && loaded_ && !readFailed_ && unchanged()) {
            if (!parseOk_) error_ = parseError_;
            return parseOk_;
        }
        watch_.arm();
        watch_.poll();  // the file is read afresh below
        // Writers hold this lock exclusively; modify() calls in with it held.
        std::optional<SharedReadLock> shared;
        if (!force) shared.emplace(path_ + ".lock");
        Stamp now = stampNow();
        watch_.lookedAt();
        loaded_ = true;
        readFailed_ = false;
        stamp_ = now;
        tree_.clear();
        if (!now.exists) {
            parseOk_ = true;
            return true;
        }
        std::string text, why;
        bool missing = false;
        if (!readAll(path_, text, missing, why)) {
            if (missing) {
                stamp_.exists = false;
                parseOk_ = true;
                return true;
            }
            readFailed_ = true;
            parseOk_ = false;
            parseError_ = path_ + ": cannot be read: " + why;
            error_ = parseError_;
            return false;
        }
        RegParseError perr;
        auto tree = parseRegFile(text, &perr);
        if (!tree) {
            parseOk_ = false;
            parseError_ = path_ + ":" + std::to_string(perr.line) + ": " + perr.what;
            error_ = parseError_;
            return false;
        }
        tree_ = std::move(*tree);
        parseOk_ = true;
        return true;
    }

    bool modify(const std::function<bool(RegTree&)>& change) {
        std::lock_guard<std::mutex> g(mu_);
        const std::string dir = dirOf(path_);
        if (!mkdirs(dir)) {
            error_ = dir + ": cannot create folder: " + std::strerror(errno);
            return false;
        }
        const std::string lockPath = path_ + ".lock";
        int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (lockFd < 0) {
            error_ = lockPath + ": " + std::strerror(errno);
            return false;
        }
        while (flock(lockFd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                error_ = lockPath + ": cannot lock: " + std::strerror(errno);
                ::close(lockFd);
                return false;
            }
        }
        bool ok = modifyLocked(change);
        flock(lockFd, LOCK_UN);
        ::close(lockFd);
        return ok;
    }

    bool modifyLocked(const std::function<bool(RegTree&)>& change) {
        // Another process may have written since our last read: re-read under the lock.
        if (!refresh(true)) {
            error_ = parseError_ + " (refusing to change the file)";
            return false;
        }
        if (std::string why = notWritable(); !why.empty()) {
            error_ = path_ + ": " + why;
            return false;
        }
        RegTree copy = tree_;
        if (!change(copy)) return false;
        const std::string text = writeRegFile(copy);
        // What the readers would refuse is never put in place.
        if (text.size() > static_cast<size_t>(kMaxSettingsFile)) {
            error_ = path_ + ": the change would make the file larger than " +
                     std::to_string(kMaxSettingsFile) + " bytes";
            return false;
        }
        RegParseError perr;
        auto back = parseRegFile(text, &perr);
        if (!back || !sameTree(*back, copy)) {
            error_ = path_ + ": the change would not read back" +
                     (back ? std::string(" as written")
                           : ": line " + std::to_string(perr.line) + ": " + perr.what);
            return false;
        }
        const std::string tmp = path_ + ".tmp." + std::to_string(getpid());
        int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0) {
            error_ = tmp + ": " + std::strerror(errno);
            return false;
        }
        size_t done = 0;
        while (done < text.size()) {
            ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                error_ = tmp + ": " + std::strerror(errno);
                ::close(fd);
                ::unlink(tmp.c_str());
                return false;
            }
            done += static_cast<size_t>(n);
        }
        if (fsync(fd) != 0 || ::close(fd) != 0) {
            error_ = tmp + ": " + std::strerror(errno);
            ::unlink(tmp.c_str());
            return false;
        }
        if (::rename(tmp.c_str(), path_.c_str()) != 0) {
            error_ = path_ + ": " + std::strerror(errno);
            ::unlink(tmp.c_str());
            return false;
        }
        tree_ = std::move(copy);
        stamp_ = stampNow();
        return true;
    }

    // Why this process may not replace the file ("" when it may, or when
    // there is none yet). Decided by the file's mode rather than by what the
    // kernel would let root do: a read-only settings file is meant to stay.
    std::string notWritable() const {
        struct stat st;
        if (stat(path_.c_str(), &st) != 0) return {};
        const bool writable =
            geteuid() == 0
                ? (st.st_mode & (st.st_uid == 0 ? S_IWUSR : S_IWUSR | S_IWGRP | S_IWOTH)) != 0
                : faccessat(AT_FDCWD, path_.c_str(), W_OK, AT_EACCESS) == 0;
        return writable ? "" : "the settings file is not writable (refusing to replace it)";
    }

    // Whether the two hold the same keys and values (a writer puts a key's
    // default value first, so the order of values may differ).
    static bool sameTree(const RegTree& a, const RegTree& b) {
        if (a.size() != b.size()) return false;
        for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
            const auto &x = i->second.values, &y = j->second.values;
            if (i->first != j->first || x.size() != y.size()) return false;
            for (const RegFileValue& v : x) {
                auto same = [&](const RegFileValue& w) {
                    return w.name == v.name && w.value.type == v.value.type &&
                           w.value.data == v.value.data && w.value.dword == v.value.dword;
                };
                if (std::find_if(y.begin(), y.end(), same) == y.end()) return false;
            }
        }
        return true;
    }

    const std::string path_;
    ChangeWatch watch_;
    mutable std::mutex mu_;
    RegTree tree_;
    Stamp stamp_;
    bool loaded_ = false;
    bool readFailed_ = false;
    bool parseOk_ = true;
    std::string parseError_;
    std::string error_;
};

}  // namespace

std::unique_ptr<SettingsStore> makeFileSettingsStore(const std::string& path) {
    return std::make_unique<FileSettingsStore>(path);
}

}  // namespace tw::platform
