// Files and directories on Linux: opendir/readdir with lstat-style
// attributes taken relative to the open directory, O_NOFOLLOW reads, unlink.
#pragma once

#include <memory>

#include "platform/directory.h"

namespace tw::platform {

std::unique_ptr<Directory> makePosixDirectory();

}  // namespace tw::platform
