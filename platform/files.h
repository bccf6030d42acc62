// Writing whole files as the editor needs them: a file created anew, a line
// appended to a file (opened and closed per call, so the file is complete at
// any moment), and a private file written atomically. Paths are the
// platform's own; contents are written byte for byte (no line-end mapping).
#pragma once

#include <string>
#include <string_view>

namespace tw::platform {

class FileWriter {
  public:
    virtual ~FileWriter() = default;
    // Creates the file anew (an existing one is emptied) with the content;
    // false when it cannot be created or written.
    virtual bool create(const std::string& path, std::string_view content) = 0;
    // Appends the content, creating the file when it is missing.
    virtual bool append(const std::string& path, std::string_view content) = 0;
    // Replaces the file with the content, readable and writable by the owner
    // only: written to a new temporary file in the same directory, flushed,
    // then renamed over the path. A symbolic link at the path is replaced,
    // never written through. On failure nothing at the path changes.
    virtual bool writePrivate(const std::string& path, std::string_view content) = 0;
};

}  // namespace tw::platform
