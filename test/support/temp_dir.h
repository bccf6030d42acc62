// Files for tests: a temporary directory that goes with everything in it,
// whole-file reads and writes, and a shell command's output.
#pragma once

#include <string>

namespace tw::testing {

// A fresh temporary directory, removed with everything in it when destroyed.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

std::string readFile(const std::string& path);
// Runs a shell command; answers its standard output.
std::string commandOutput(const std::string& command);
void writeFile(const std::string& path, const std::string& content);

}  // namespace tw::testing
