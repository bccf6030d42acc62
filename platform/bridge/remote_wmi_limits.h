// The time limits of a remote WMI connection: what its provider is made
// with and what its bridge command is held to.
#pragma once

namespace tw::platform {

struct RemoteWmiLimits {
    int helloMs = 10000;    // the command's hello
    int requestMs = 30000;  // each answer; for a query, each batch of objects
    int closeMs = 1000;     // a closed connection's command may end by itself, then it is killed
};

}  // namespace tw::platform
