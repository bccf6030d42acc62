// Records what a test hands to the status channel: every send and page in
// call order, so report tests can compare whole texts and the hand-off
// order.
#pragma once

#include <string>
#include <vector>

#include "agent/tests/framework.h"

namespace tw::testing {

struct ReportRecorder {
    std::vector<std::string> sent, paged;
    std::vector<std::string> order;  // "send" and "page" as they happened

    Delivery delivery() {
        return {[this](const std::string& t) {
                    sent.push_back(t);
                    order.push_back("send");
                },
                [this](const std::string& t) {
                    paged.push_back(t);
                    order.push_back("page");
                }};
    }
};

}  // namespace tw::testing
