// Files and folders, for the editor's remote pickers: CIM_DataFile lists
// the programs an administrator may run as an external check (the
// executable regular files of the program folders), Win32_Directory the
// folders near the root (where a log folder lives). Windows lists every file
// and folder of the machine; here both lists are bounded, so that a query
// never walks a whole file system: a few levels deep, at most kMaxRows rows,
// at most kWalkMs of walking (what was found by then is the answer), and no
// symbolic link is followed out of the folder it lies in.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "platform/posix/live_wmi.h"

namespace tw::platform::livewmi {

namespace {

constexpr size_t kMaxRows = 10000;
constexpr int kWalkMs = 3000;
// Levels below a program folder whose programs are listed (/opt/tool/bin/x).
constexpr int kProgramDepth = 3;
// Levels below the root whose folders are listed (/var/spool/twnt).
constexpr int kFolderDepth = 3;
// The kernel's and the devices' trees, which hold no log folder or program.
constexpr const char* kSkippedTop[] = {"proc", "sys", "dev", "run"};

// What one walk found, shared with the thread that walks: a walk that runs
// out of time goes on alone until it looks at `stop`, and its later finds
// are dropped.
struct WalkState {
    std::mutex mu;
    std::condition_variable cv;
    std::vector<std::string> names;
    bool done = false;
    std::atomic<bool> stop{false};

    // False once the walk should end (full, or out of time).
    bool add(std::string name) {
        std::lock_guard<std::mutex> g(mu);
        if (stop || names.size() >= kMaxRows) return false;
        names.push_back(std::move(name));
        return names.size() < kMaxRows;
    }
    bool stopped() const { return stop; }
};

// A path of the listed tree on the host: the tree's root (a test tree, or
// "/") followed by the path as the listing shows it.
std::string onHost(const std::string& root, const std::string& shown) {
    if (root.empty() || root == "/") return shown;
    return (root.back() == '/' ? root.substr(0, root.size() - 1) : root) + shown;
}

std::string childOf(const std::string& dir, const std::string& name) {
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

// The names of a folder, sorted (so that a bounded listing is the same from
// one query to the next); empty when it cannot be read.
std::vector<std::string> entriesOf(const std::string& path, const WalkState& st) {
    std::vector<std::string> out;
    DIR* d = opendir(path.c_str());
    if (!d) return out;
    while (const dirent* e = readdir(d)) {
        if (st.stopped()) break;
        const std::string n = e->d_name;
        if (n != "." && n != "..") out.push_back(n);
    }
    closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

std::optional<std::string> realPath(const std::string& path) {
    char buf[PATH_MAX];
    if (!::realpath(path.c_str(), buf)) return std::nullopt;
    return std::string(buf);
}

bool executable(const struct stat& st) {
    return S_ISREG(st.st_mode) && (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
}

using Inode = std::pair<dev_t, ino_t>;

// The folders under the root, breadth first, kFolderDepth levels deep.
void walkFolders(const std::string& root, WalkState& st) {
    if (!st.add("/")) return;
    std::deque<std::pair<std::string, int>> todo{{"/", 0}};
    while (!todo.empty() && !st.stopped()) {
        auto [dir, depth] = todo.front();
        todo.pop_front();
        for (const std::string& n : entriesOf(onHost(root, dir), st)) {
            if (depth == 0 && std::find(std::begin(kSkippedTop), std::end(kSkippedTop), n) !=
                                  std::end(kSkippedTop))
                continue;
            const std::string shown = childOf(dir, n);
            struct stat s {};
            // A link to a folder is not entered: it may lead anywhere.
            if (lstat(onHost(root, shown).c_str(), &s) != 0 || !S_ISDIR(s.st_mode)) continue;
            if (!st.add(shown)) return;
            if (depth + 1 < kFolderDepth) todo.emplace_back(shown, depth + 1);
        }
    }
}

// The program folders: the absolute folders of the search path, then /opt
// and /usr/local.
std::vector<std::string> programFolders(const std::string& searchPath) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= searchPath.size()) {
        size_t end = searchPath.find(':', start);
        if (end == std::string::npos) end = searchPath.size();
        std::string dir = searchPath.substr(start, end - start);
        // A relative entry names the current folder of whoever asks.
        while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        if (!dir.empty() && dir[0] == '/') out.push_back(dir);
        start = end + 1;
    }
    out.push_back("/opt");
    out.push_back("/usr/local");
    return out;
}

// The executable regular files of the program folders and of their
// folders kProgramDepth levels deep; a folder reached twice (/bin as a link
// to /usr/bin) is listed once. A symbolic link counts when it leads to a
// program inside the program folder it lies in.
void walkPrograms(const std::string& root, const std::string& searchPath, WalkState& st) {
    std::set<Inode> seen;
    for (const std::string& top : programFolders(searchPath)) {
        struct stat ts {};
        // The program folder itself may be a link (/bin): it is named by the
        // search path, not found in a folder.
        if (stat(onHost(root, top).c_str(), &ts) != 0 || !S_ISDIR(ts.st_mode)) continue;
        if (!seen.insert({ts.st_dev, ts.st_ino}).second) continue;
        const std::optional<std::string> realTop = realPath(onHost(root, top));
        if (!realTop) continue;
        std::deque<std::pair<std::string, int>> todo{{top, 0}};
        while (!todo.empty()) {
            if (st.stopped()) return;
            auto [dir, depth] = todo.front();
            todo.pop_front();
            for (const std::string& n : entriesOf(onHost(root, dir), st)) {
                const std::string shown = childOf(dir, n);
                const std::string host = onHost(root, shown);
                struct stat s {};
                if (lstat(host.c_str(), &s) != 0) continue;
                if (S_ISDIR(s.st_mode)) {
                    if (depth + 1 < kProgramDepth && seen.insert({s.st_dev, s.st_ino}).second)
                        todo.emplace_back(shown, depth + 1);
                    continue;
                }
                if (S_ISLNK(s.st_mode)) {
                    const std::optional<std::string> to = realPath(host);
                    if (!to || to->rfind(*realTop + "/", 0) != 0 || stat(to->c_str(), &s) != 0)
                        continue;
                }
                if (executable(s) && !st.add(shown)) return;
            }
        }
    }
}

// Runs a walk within kWalkMs: the names found by then. A walk that hangs
// (a dead network file system) is left to end on its own.
std::vector<std::string> boundedWalk(std::function<void(WalkState&)> walk) {
    auto st = std::make_shared<WalkState>();
    std::thread([st, walk = std::move(walk)] {
        walk(*st);
        std::lock_guard<std::mutex> g(st->mu);
        st->done = true;
        st->cv.notify_all();
    }).detach();
    std::unique_lock<std::mutex> g(st->mu);
    st->cv.wait_for(g, std::chrono::milliseconds(kWalkMs), [&] { return st->done; });
    st->stop = true;
    return st->names;
}

// The columns both classes share, as WMI fills them: the full path, the
// name without its extension, the extension without its dot, the drive
// (none on this system: every path starts at "/") and the folder with its
// closing separator.
void setPathColumns(WmiTable& t, WmiRowValues& r, const std::string& name) {
    const size_t slash = name.rfind('/');
    const std::string base = name.substr(slash + 1);
    const size_t dot = base.rfind('.');
    t.set(r, "Name", str(name));
    t.set(r, "FileName", str(dot == std::string::npos ? base : base.substr(0, dot)));
    t.set(r, "Extension", str(dot == std::string::npos ? std::string() : base.substr(dot + 1)));
    t.set(r, "Drive", str(""));
    t.set(r, "Path", str(name == "/" ? "/" : name.substr(0, slash + 1)));
}

WmiTable pathTable(const LiveClass& cls, const std::vector<std::string>& names) {
    WmiTable t = cls.table();
    for (const std::string& n : names) setPathColumns(t, t.addRow(), n);
    return t;
}

std::string filesRoot(const Context& c) {
    return c.roots.files.empty() ? std::string("/") : c.roots.files;
}

}  // namespace

static std::optional<WmiTable> buildDataFile(const LiveClass& cls, Context& c, std::string&) {
    std::string searchPath = c.roots.programPath;
    if (searchPath.empty()) {
        const char* p = std::getenv("PATH");
        searchPath = p ? p : "";
    }
    const std::string root = filesRoot(c);
    return pathTable(cls, boundedWalk([root, searchPath](WalkState& st) {
                         walkPrograms(root, searchPath, st);
                     }));
}

static std::optional<WmiTable> buildDirectory(const LiveClass& cls, Context& c, std::string&) {
    const std::string root = filesRoot(c);
    return pathTable(cls, boundedWalk([root](WalkState& st) { walkFolders(root, st); }));
}

LiveClass dataFileClass() {
    return liveClass("CIM_DataFile", {"Name", "FileName", "Extension", "Drive", "Path"},
                     ignoringQuery(buildDataFile));
}

LiveClass directoryClass() {
    return liveClass("Win32_Directory", {"Name", "FileName", "Extension", "Drive", "Path"},
                     ignoringQuery(buildDirectory));
}

}  // namespace tw::platform::livewmi
