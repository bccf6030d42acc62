// Opens the diagnostic log on a temporary file for one test and hands back
// what was written (with the on-disk CR LF translation undone).
#pragma once

#include <string>

#include "base/twlog.h"
#include "test/support/temp_dir.h"

namespace tw::testing {

class LogCapture {
  public:
    LogCapture() { DiagLog::instance().open(dir_.file("TW.LOG")); }
    ~LogCapture() { DiagLog::instance().close(); }
    // The file as on disk.
    std::string raw() const { return readFile(dir_.file("TW.LOG")); }
    // The text as the formats wrote it (each on-disk CR LF back to LF).
    std::string text() const {
        std::string r = raw(), out;
        for (size_t i = 0; i < r.size(); ++i) {
            if (r[i] == '\r' && i + 1 < r.size() && r[i + 1] == '\n') continue;
            out.push_back(r[i]);
        }
        return out;
    }

  private:
    TempDir dir_;
};

}  // namespace tw::testing
