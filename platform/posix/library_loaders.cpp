#include "platform/posix/library_loaders.h"

#include <dirent.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/posix/shared_library.h"

#ifndef TW_LIBCRYPTO_SONAME
#define TW_LIBCRYPTO_SONAME "libcrypto.so.3"
#endif

namespace tw::platform {

namespace {

// Loads lib on the first call and keeps it; a failure is tried again later,
// so a library installed while the agent runs is picked up.
template <class Lib, class Load>
const Lib* loadOnce(Load load) {
    static std::mutex mu;
    static std::optional<Lib> lib;
    std::lock_guard<std::mutex> g(mu);
    if (!lib) lib = load();
    return lib ? &*lib : nullptr;
}

}  // namespace

std::optional<CryptoLibrary> loadCryptoLibrary(const char* soname) {
    SharedLibrary so;
    if (!so.open(soname)) return std::nullopt;
    CryptoLibrary c;
    if (so.resolve("EVP_CIPHER_CTX_new", c.cipherCtxNew) &&
        so.resolve("EVP_CIPHER_CTX_free", c.cipherCtxFree) &&
        so.resolve("EVP_des_ede3_cbc", c.desEde3Cbc) && so.resolve("EVP_md5", c.md5) &&
        so.resolve("EVP_BytesToKey", c.bytesToKey) && so.resolve("EVP_CipherInit", c.cipherInit) &&
        so.resolve("EVP_CipherUpdate", c.cipherUpdate) &&
        so.resolve("EVP_CipherFinal", c.cipherFinal) && so.resolve("OPENSSL_cleanse", c.cleanse))
        return c;
    so.close();
    return std::nullopt;
}

const CryptoLibrary* cryptoLibrary() {
    return loadOnce<CryptoLibrary>([] { return loadCryptoLibrary(TW_LIBCRYPTO_SONAME); });
}

#ifdef TW_HAVE_SYSTEMD
std::optional<JournalLibrary> loadJournalLibrary(const char* soname) {
    SharedLibrary so;
    if (!so.open(soname)) return std::nullopt;
    JournalLibrary j;
    if (so.resolve("sd_journal_open", j.open) && so.resolve("sd_journal_close", j.close) &&
        so.resolve("sd_journal_seek_realtime_usec", j.seekRealtimeUsec) &&
        so.resolve("sd_journal_seek_tail", j.seekTail) &&
        so.resolve("sd_journal_previous_skip", j.previousSkip) &&
        so.resolve("sd_journal_previous", j.previous) && so.resolve("sd_journal_next", j.next) &&
        so.resolve("sd_journal_get_data", j.getData) &&
        so.resolve("sd_journal_get_realtime_usec", j.getRealtimeUsec))
        return j;
    so.close();
    return std::nullopt;
}

const JournalLibrary* journalLibrary() {
    return loadOnce<JournalLibrary>([] { return loadJournalLibrary("libsystemd.so.0"); });
}
#endif

std::vector<std::string> journalDirectories() {
    return {"/run/log/journal", "/var/log/journal"};
}

namespace {

// The names in dir but "." and ".."; nullopt when dir cannot be listed.
std::optional<std::vector<std::string>> entries(const std::string& dir, int& error) {
    DIR* d = opendir(dir.c_str());
    if (!d) {
        error = errno;
        return std::nullopt;
    }
    std::vector<std::string> names;
    while (dirent* e = readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.emplace_back(e->d_name);
    closedir(d);
    return names;
}

}  // namespace

bool journalHasFiles(const std::vector<std::string>& roots) {
    for (const auto& root : roots) {
        int error = 0;
        auto machines = entries(root, error);
        if (!machines) {
            if (error == ENOENT || error == ENOTDIR) continue;
            return true;
        }
        for (const auto& m : *machines) {
            auto files = entries(root + "/" + m, error);
            // Not a directory, unreadable, or holding anything: a journal may be there.
            if (!files || !files->empty()) return true;
        }
    }
    return false;
}

}  // namespace tw::platform
