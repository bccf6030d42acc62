// An in-memory directory for the external-program and plugin tests: one
// listable folder with entries in a chosen order and attributes, paths that
// exist for the program search, and failure switches. Thread-safe, so the
// plugin thread and the test can use it together.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/directory.h"

namespace tw::testing {

class FakeDirectory : public platform::Directory {
  public:
    struct Entry {
        std::string name;
        std::string content;
        bool directory = false;
        bool regular = true;
        bool symlink = false;
        bool readOnly = false;
    };

    explicit FakeDirectory(std::string root = "/spool/Work") : root_(std::move(root)) {}
    const std::string& root() const { return root_; }
    std::string path(const std::string& name) const { return root_ + "/" + name; }

    // A plain, writable work file at the end of the listing order.
    void add(const std::string& name, const std::string& content) {
        Entry e;
        e.name = name;
        e.content = content;
        addEntry(e);
    }
    void addEntry(const Entry& e) {
        std::lock_guard<std::mutex> g(mu_);
        entries_.push_back(e);
    }
    // What kind() answers for a path (anything else is Missing).
    void setKind(const std::string& path, platform::PathKind k) {
        std::lock_guard<std::mutex> g(mu_);
        kinds_[path] = k;
    }
    bool has(const std::string& name) {
        std::lock_guard<std::mutex> g(mu_);
        for (auto& e : entries_)
            if (e.name == name) return true;
        return false;
    }

    std::optional<std::vector<platform::DirEntry>> list(const std::string& p) override {
        std::lock_guard<std::mutex> g(mu_);
        ++lists_;
        listed.push_back(p);
        if (failList || p != root_) return std::nullopt;
        std::vector<platform::DirEntry> out;
        for (const char* dot : {".", ".."}) {
            platform::DirEntry d;
            d.name = dot;
            d.directory = d.hidden = true;
            out.push_back(d);
        }
        for (auto& e : entries_) {
            platform::DirEntry d;
            d.name = e.name;
            d.directory = e.directory;
            d.regular = e.regular && !e.directory && !e.symlink;
            d.symlink = e.symlink;
            d.readOnly = e.readOnly;
            d.hidden = !e.name.empty() && e.name[0] == '.';
            out.push_back(d);
        }
        return out;
    }

    platform::PathKind kind(const std::string& p) override {
        std::lock_guard<std::mutex> g(mu_);
        kindQueries.push_back(p);
        auto it = kinds_.find(p);
        return it == kinds_.end() ? platform::PathKind::Missing : it->second;
    }

    platform::FileRead readFile(const std::string& p, size_t maxBytes) override {
        std::lock_guard<std::mutex> g(mu_);
        reads.push_back(p);
        platform::FileRead r;
        if (noMemory.count(p)) {
            r.status = platform::FileRead::Status::NoMemory;
            return r;
        }
        if (failRead.count(p)) return r;
        for (auto& e : entries_) {
            if (path(e.name) != p || e.directory || e.symlink) continue;
            if (e.content.size() > maxBytes) {
                r.status = platform::FileRead::Status::TooLarge;
                return r;
            }
            r.status = platform::FileRead::Status::Ok;
            r.content = e.content;
            return r;
        }
        return r;
    }

    bool removeFile(const std::string& p) override {
        std::lock_guard<std::mutex> g(mu_);
        if (failRemove) return false;
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (path(it->name) == p) {
                removed.push_back(p);
                entries_.erase(it);
                return true;
            }
        }
        return false;
    }

    int lists() {
        std::lock_guard<std::mutex> g(mu_);
        return lists_;
    }

    // Failure switches and records (read them when no thread runs).
    bool failList = false;
    bool failRemove = false;
    std::set<std::string> failRead;  // paths whose open fails
    std::set<std::string> noMemory;  // paths for which no buffer can be had
    std::vector<std::string> listed, reads, removed, kindQueries;

  private:
    std::mutex mu_;
    std::string root_;
    std::vector<Entry> entries_;
    std::map<std::string, platform::PathKind> kinds_;
    int lists_ = 0;
};

}  // namespace tw::testing
