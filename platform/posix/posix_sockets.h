// This host's sockets on Linux (BSD sockets and getaddrinfo): the status
// channel's, and the display server's (makeServerSockets).
#pragma once

#include <memory>

#include "platform/sockets.h"

namespace tw::platform {

std::unique_ptr<Sockets> makePosixSockets();

}  // namespace tw::platform
