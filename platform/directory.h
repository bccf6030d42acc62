// Files and directories as the external programs and the plugin reader need
// them: what a path names, a directory's entries with their attributes, and
// reading and deleting one work file. Nothing here follows a symbolic link
// inside a listed directory.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tw::platform {

struct DirEntry {
    std::string name;
    bool directory = false;  // a directory (never a link to one)
    bool regular = false;    // a plain file; false for links, devices, pipes and sockets
    bool symlink = false;    // a symbolic link, reported as itself
    bool readOnly = false;   // the owner may not write it
    bool hidden = false;     // the name begins with "."
};

// What a path names, links followed.
enum class PathKind { Missing, Regular, Directory, Other };

struct FileRead {
    enum class Status { Ok, CannotOpen, TooLarge, NoMemory };
    Status status = Status::CannotOpen;
    std::string content;  // the bytes as stored, when Ok
};

class Directory {
  public:
    virtual ~Directory() = default;
    // Every entry ("." and ".." included) in the order the system returns
    // them; nullopt when the path cannot be opened as a directory.
    virtual std::optional<std::vector<DirEntry>> list(const std::string& path) = 0;
    virtual PathKind kind(const std::string& path) = 0;
    // The whole content of a regular file, opened without following a link.
    // A file of more than maxBytes is not read (TooLarge); NoMemory when no
    // buffer could be had for it.
    virtual FileRead readFile(const std::string& path, size_t maxBytes) = 0;
    // Deletes a file (a link itself, never its target); false when it cannot.
    virtual bool removeFile(const std::string& path) = 0;
};

}  // namespace tw::platform
