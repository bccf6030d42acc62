// Captures the diagnostic log for one test: opens it in a file named after
// the running test and answers what was written, with the log's LF -> CR LF
// translation undone, so expectations read like the format strings.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "agent/core/twlog.h"

namespace tw::testing_support {

class LogCapture {
  public:
    LogCapture() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ =
            ::testing::TempDir() + "twlog_" + info->test_suite_name() + "_" + info->name() + ".log";
        EXPECT_TRUE(DiagLog::instance().open(path_));
    }
    ~LogCapture() {
        DiagLog::instance().close();
        std::remove(path_.c_str());
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::string text() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        const std::string raw = ss.str();
        std::string out;
        for (size_t i = 0; i < raw.size(); ++i)
            if (!(raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')) out += raw[i];
        return out;
    }

  private:
    std::string path_;
};

}  // namespace tw::testing_support
