#include "platform/posix/shared_library.h"

#include <dlfcn.h>

namespace tw::platform {

bool SharedLibrary::open(const char* soname) {
    close();
    handle_ = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    return handle_ != nullptr;
}

void SharedLibrary::close() {
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
}

void* SharedLibrary::symbol(const char* name) const {
    return handle_ ? dlsym(handle_, name) : nullptr;
}

}  // namespace tw::platform
