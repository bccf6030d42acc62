// Writing whole files as the editor and twrecv need them: a file created
// anew, a file created only where none is, a line appended to a file
// (opened and closed per call, so the file is complete at any moment), and a
// private file written atomically. Paths are the platform's own; contents
// are written byte for byte (no line-end mapping).
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace tw::platform {

class FileWriter {
  public:
    virtual ~FileWriter() = default;
    // Creates the file anew (an existing one is emptied) with the content;
    // false when it cannot be created or written.
    virtual bool create(const std::string& path, std::string_view content) = 0;
    enum class NewFile { Written, Exists, Failed };
    // Creates the file with the content only when nothing is at the path
    // (tested and created in one step, so that two writers never share a
    // file). Failed: not created, or not wholly written; why holds the C
    // library's reason.
    virtual NewFile createNew(const std::string& path, std::string_view content,
                              std::string& why) = 0;
    // Appends the content, creating the file when it is missing.
    virtual bool append(const std::string& path, std::string_view content) = 0;
    // Replaces the file with the content, readable and writable by the owner
    // only: written to a new temporary file in the same directory, flushed,
    // then renamed over the path. A symbolic link at the path is replaced,
    // never written through. On failure nothing at the path changes.
    virtual bool writePrivate(const std::string& path, std::string_view content) = 0;
};

// This host's file writer, for a program that needs no more of the
// platform (twrecv).
std::unique_ptr<FileWriter> makeHostFileWriter();

}  // namespace tw::platform
