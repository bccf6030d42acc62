// Records what a test hands to the status channel: every send and page in
// call order, so report tests can compare whole texts and the hand-off
// order.
#pragma once

#include <string>
#include <vector>

#include "agent/tests/framework.h"

namespace tw::testing {

struct ReportRecorder {
    std::vector<std::string> calls;  // "send:<text>" and "page:<text>" as they happened

    Delivery delivery() {
        return {[this](const std::string& t) { calls.push_back("send:" + t); },
                [this](const std::string& t) { calls.push_back("page:" + t); }};
    }
    std::vector<std::string> sent() const { return texts("send:"); }
    std::vector<std::string> paged() const { return texts("page:"); }
    // "send" and "page" in call order.
    std::vector<std::string> order() const {
        std::vector<std::string> out;
        for (const std::string& c : calls) out.push_back(c.substr(0, 4));
        return out;
    }
    // The one text that was sent (empty when none or several were).
    std::string report() const {
        std::vector<std::string> s = sent();
        return s.size() == 1 ? s[0] : std::string();
    }

  private:
    std::vector<std::string> texts(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& c : calls)
            if (c.rfind(prefix, 0) == 0) out.push_back(c.substr(prefix.size()));
        return out;
    }
};

}  // namespace tw::testing
