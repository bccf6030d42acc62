// twsetting: the agent's settings from a shell, changed under the settings
// file's lock.
#include <iostream>
#include <string>
#include <vector>

#include "platform/posix/file_settings_store.h"
#include "platform/posix/posix_files.h"
#include "tools/twsetting/twsetting.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string path = tw::setting::storepath(args);
    if (path.empty()) path = tw::platform::defaultRegistryPath();
    auto store = tw::platform::makeFileSettingsStore(path);
    auto files = tw::platform::makePosixFileWriter();
    return tw::setting::twsetting(args, *store, {std::cin, std::cout, std::cerr, *files});
}
