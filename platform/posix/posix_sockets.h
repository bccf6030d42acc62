// The status channel's sockets on Linux (BSD sockets and getaddrinfo).
#pragma once

#include <memory>

#include "platform/sockets.h"

namespace tw::platform {

std::unique_ptr<Sockets> makePosixSockets();

}  // namespace tw::platform
