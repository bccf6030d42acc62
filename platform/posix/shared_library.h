// Libraries the agent needs only for some settings (libcrypto with a
// KeyCode, libsystemd for the journal) are loaded when first used, by their
// soname, so that the system's shared copy (and its security updates) is the
// one used, and an agent that never needs them never maps them.
#pragma once

namespace tw::platform {

class SharedLibrary {
  public:
    // Loads the library by soname; false when it cannot be loaded.
    bool open(const char* soname);
    // Unloads it again (after a failed resolve).
    void close();

    // Points fn at the library's function name; false when it has none.
    template <class F>
    bool resolve(const char* name, F& fn) const {
        void* p = symbol(name);
        fn = reinterpret_cast<F>(p);
        return p != nullptr;
    }

  private:
    void* symbol(const char* name) const;
    void* handle_ = nullptr;
};

}  // namespace tw::platform
