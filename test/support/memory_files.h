// The file writer of the logic tests: files in memory by path, with a switch
// that makes every write to a path fail, and a record of which call wrote
// each file.
#pragma once

#include <map>
#include <set>
#include <string>

#include "platform/files.h"

namespace tw::testing {

class MemoryFiles : public platform::FileWriter {
  public:
    enum class How { Create, New, Append, Private };

    bool create(const std::string& path, std::string_view content) override {
        if (failing.count(path)) return false;
        files[path] = std::string(content);
        how[path] = How::Create;
        return true;
    }
    NewFile createNew(const std::string& path, std::string_view content,
                      std::string& why) override {
        if (files.count(path)) return NewFile::Exists;
        if (failing.count(path)) {
            why = "No space left on device";
            return NewFile::Failed;
        }
        files[path] = std::string(content);
        how[path] = How::New;
        return NewFile::Written;
    }
    bool append(const std::string& path, std::string_view content) override {
        if (failing.count(path)) return false;
        files[path] += content;
        if (!how.count(path)) how[path] = How::Append;
        return true;
    }
    bool writePrivate(const std::string& path, std::string_view content) override {
        if (failing.count(path)) return false;
        files[path] = std::string(content);
        how[path] = How::Private;
        return true;
    }

    std::map<std::string, std::string> files;
    std::map<std::string, How> how;
    std::set<std::string> failing;
};

}  // namespace tw::testing
