// The server core of the WMI bridge, which `twwmi --serve` wraps: answers
// the bridge protocol's requests, read line by line from one file
// descriptor, with answers written to another, from this machine's WMI
// provider. Every bad request gets an error answer and the server goes on;
// it ends at the end of its input.
#pragma once

#include <cstddef>
#include <string>

#include "platform/bridge/wmi_bridge.h"
#include "platform/wmi_provider.h"

namespace tw::platform::bridge {

struct ServeLimits {
    size_t maxLine = kMaxLine;
    // A query's objects go in batches of at most this many objects, about
    // this many bytes, or what came within this time.
    size_t batchObjects = 500;
    size_t batchBytes = 64 * 1024;
    int batchMs = 100;
};

// Answers 0 at the end of the input, 1 when the answers cannot be written.
int serveBridge(int in, int out, platform::WmiProvider& provider, const std::string& machine,
                const ServeLimits& limits = {});

}  // namespace tw::platform::bridge
