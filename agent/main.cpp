// twnt: the Tallwatch monitoring agent.
#include <string>
#include <vector>

#include "agent/core/entry.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    auto host = tw::platform::makeHostPlatform();
    std::vector<std::string> args(argv + 1, argv + argc);
    return tw::twntentry(args, host->get());
}
