// The optional libraries, loaded by soname when first needed: libcrypto for
// the message envelope, libsystemd for reading the journal.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/crypto_library.h"

#ifdef TW_HAVE_SYSTEMD
#include <systemd/sd-journal.h>
#endif

namespace tw::platform {

// libcrypto's functions from the library of that soname; nullopt when it
// cannot be loaded or lacks one of them.
std::optional<CryptoLibrary> loadCryptoLibrary(const char* soname);

#ifdef TW_HAVE_SYSTEMD
struct JournalLibrary {
    decltype(&::sd_journal_open) open = nullptr;
    decltype(&::sd_journal_close) close = nullptr;
    decltype(&::sd_journal_seek_realtime_usec) seekRealtimeUsec = nullptr;
    decltype(&::sd_journal_seek_tail) seekTail = nullptr;
    decltype(&::sd_journal_previous_skip) previousSkip = nullptr;
    decltype(&::sd_journal_previous) previous = nullptr;
    decltype(&::sd_journal_next) next = nullptr;
    decltype(&::sd_journal_get_data) getData = nullptr;
    decltype(&::sd_journal_get_realtime_usec) getRealtimeUsec = nullptr;
};

std::optional<JournalLibrary> loadJournalLibrary(const char* soname);

// The system's libsystemd, loaded on the first call (a failed load is tried
// again at the next call); nullptr when it cannot be loaded.
const JournalLibrary* journalLibrary();
#endif

// The directories the local journal keeps its files in.
std::vector<std::string> journalDirectories();

// Whether any of the journal directories (each holding one directory per
// machine) may hold a journal file. A journal without files has no records,
// so its reader need not be loaded. A directory that cannot be listed
// counts as holding files.
bool journalHasFiles(const std::vector<std::string>& roots);

}  // namespace tw::platform
