// The editor's file writer on Linux: open/write/close per call, and private
// files through mkstemp (mode 0600) in the target's directory and rename.
#pragma once

#include <memory>

#include "platform/files.h"

namespace tw::platform {

std::unique_ptr<FileWriter> makePosixFileWriter();

}  // namespace tw::platform
