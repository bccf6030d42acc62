// Storage: the mounted file systems as drives (the mount table, /sys for
// removable devices, statvfs bounded in time) and the swap areas as paging
// files.
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include "platform/posix/linux_sources.h"
#include "platform/posix/live_wmi.h"

namespace tw::platform::livewmi {

namespace {

constexpr int kStatvfsMs = 3000;

struct Fs {
    uint64_t size = 0, free = 0;
};

// statvfs, bounded: a dead network server must not hold the cycle. A call
// that overruns is left to finish on its own thread.
std::optional<Fs> boundedStatvfs(const std::string& path, bool bounded) {
    auto work = [](const std::string& p) -> std::optional<Fs> {
        struct statvfs v {};
        if (statvfs(p.c_str(), &v) != 0) return std::nullopt;
        return Fs{static_cast<uint64_t>(v.f_blocks) * v.f_frsize,
                  static_cast<uint64_t>(v.f_bavail) * v.f_frsize};
    };
    if (!bounded) return work(path);
    struct Shared {
        std::mutex mu;
        std::condition_variable cv;
        bool done = false;
        std::optional<Fs> result;
    };
    auto sh = std::make_shared<Shared>();
    std::thread([sh, path, work] {
        auto r = work(path);
        std::lock_guard<std::mutex> g(sh->mu);
        sh->result = r;
        sh->done = true;
        sh->cv.notify_all();
    }).detach();
    std::unique_lock<std::mutex> g(sh->mu);
    if (!sh->cv.wait_for(g, std::chrono::milliseconds(kStatvfsMs), [&] { return sh->done; }))
        return std::nullopt;
    return sh->result;
}

const char* driveDescription(int type) {
    switch (type) {
        case 2:
            return "Removable Disk";
        case 3:
            return "Local Fixed Disk";
        case 4:
            return "Network Connection";
        case 5:
            return "CD-ROM Disc";
        case 6:
            return "RAM Disk";
        default:
            return "";
    }
}

}  // namespace

static std::optional<WmiTable> buildLogicalDisk(const LiveClass& cls, Context& c,
                                                std::string& err) {
    const std::string mountsPath = c.roots.mounts.empty() ? c.proc("self/mounts") : c.roots.mounts;
    auto text = readFile(mountsPath);
    if (!text) {
        err = "cannot read " + mountsPath;
        return std::nullopt;
    }
    auto mounts = linuxsrc::parseMounts(*text);
    // "/" first as C:, then the mount table's order; a file system mounted
    // again elsewhere (bind mounts) and mounts over files are not drives.
    std::stable_partition(mounts.begin(), mounts.end(),
                          [](const linuxsrc::MountEntry& m) { return m.target == "/"; });
    WmiTable t = cls.table();
    std::set<dev_t> seen;
    std::set<std::string> targets;
    char letter = 'C';
    for (const auto& m : mounts) {
        if (letter > 'Z') break;
        bool removable = false;
        std::string dev = linuxsrc::blockDeviceOf(m.source);
        if (!dev.empty()) {
            std::string flag = firstLine(readFile(c.sys("class/block/" + dev + "/removable")));
            if (flag.empty())
                flag = firstLine(readFile(c.sys("class/block/" + dev + "/../removable")));
            removable = flag == "1";
        }
        int type = linuxsrc::driveTypeOf(m, removable);
        if (m.target == "/" && type == 0) type = 3;  // the root is a disk whatever backs it
        if (type == 0 || targets.count(m.target)) continue;
        struct stat st {};
        if (stat(m.target.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        if (type != 4 && !seen.insert(st.st_dev).second) continue;
        auto fs = boundedStatvfs(m.target, type == 4);
        if (!fs) continue;
        targets.insert(m.target);
        const std::string name = std::string(1, letter++) + ":";
        WmiRowValues& r = t.addRow();
        t.set(r, "DeviceID", str(name));
        t.set(r, "Name", str(name));
        t.set(r, "Caption", str(name));
        t.set(r, "Description", str(driveDescription(type)));
        t.set(r, "DriveType", i32(type));
        t.set(r, "FileSystem", str(m.fstype));
        t.set(r, "FreeSpace", num(fs->free));
        t.set(r, "Size", num(fs->size));
        t.set(r, "VolumeName", str(m.target));
        t.set(r, "ProviderName", type == 4 ? str(m.source) : WmiValue::null());
    }
    return t;
}

LiveClass logicalDiskClass() {
    return liveClass("Win32_LogicalDisk",
                     {"DeviceID", "Name", "Caption", "Description", "DriveType", "FileSystem",
                      "FreeSpace", "Size", "VolumeName", "ProviderName"},
                     ignoringQuery(buildLogicalDisk));
}

static std::optional<WmiTable> buildPageFileUsage(const LiveClass& cls, Context& c,
                                                  std::string& err) {
    auto text = readFile(c.proc("swaps"));
    if (!text) {
        err = "cannot read " + c.proc("swaps");
        return std::nullopt;
    }
    WmiTable t = cls.table();
    for (const auto& s : linuxsrc::parseSwaps(*text)) {
        WmiRowValues& r = t.addRow();
        t.set(r, "Name", str(s.name));
        t.set(r, "Caption", str(s.name));
        t.set(r, "Description", str(s.name));
        t.set(r, "AllocatedBaseSize", i32(static_cast<int64_t>(s.sizeKb / 1024)));
        t.set(r, "CurrentUsage", i32(static_cast<int64_t>(s.usedKb / 1024)));
        t.set(r, "PeakUsage", i32(static_cast<int64_t>(s.usedKb / 1024)));
        t.set(r, "TempPageFile", boolean(false));
        t.set(r, "InstallDate", WmiValue::null());
        t.set(r, "Status", WmiValue::null());
    }
    return t;
}

LiveClass pageFileUsageClass() {
    return liveClass("Win32_PageFileUsage",
                     {"Name", "Caption", "Description", "AllocatedBaseSize", "CurrentUsage",
                      "PeakUsage", "TempPageFile", "InstallDate", "Status"},
                     ignoringQuery(buildPageFileUsage));
}

}  // namespace tw::platform::livewmi
