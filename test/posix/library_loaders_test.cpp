#include "platform/posix/library_loaders.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "agent/transport/crypto.h"
#include "test/support/fake_platform.h"

namespace tw::platform {
namespace {

TEST(LibraryLoaders, CryptoLoadsBySonameAndEncryptsAsTheLinkedFormDoes) {
    auto lib = loadCryptoLibrary(TW_LIBCRYPTO_SONAME);
    ASSERT_TRUE(lib);
    std::string loaded, shared;
    ASSERT_GT(encryptmessage(&*lib, "status host.cpu green", loaded, "secret-0"), 0u);
    ASSERT_GT(encryptmessage(cryptoLibrary(), "status host.cpu green", shared, "secret-0"), 0u);
    EXPECT_EQ(loaded, shared);
    EXPECT_EQ(cryptoLibrary(), cryptoLibrary()) << "loaded once";
}

TEST(LibraryLoaders, MissingLibraryOrMissingFunctionLoadsNothing) {
    EXPECT_FALSE(loadCryptoLibrary("libtw-no-such-library.so.1"));
    // libc is there but has none of the cipher functions.
    EXPECT_FALSE(loadCryptoLibrary("libc.so.6"));
#ifdef TW_HAVE_SYSTEMD
    EXPECT_FALSE(loadJournalLibrary("libtw-no-such-library.so.1"));
    EXPECT_FALSE(loadJournalLibrary("libc.so.6"));
#endif
}

#ifdef TW_HAVE_SYSTEMD
TEST(LibraryLoaders, JournalLoadsBySonameAndReadsThisHostsJournal) {
    auto lib = loadJournalLibrary("libsystemd.so.0");
    ASSERT_TRUE(lib);
    sd_journal* j = nullptr;
    ASSERT_GE(lib->open(&j, SD_JOURNAL_LOCAL_ONLY), 0);
    EXPECT_GE(lib->seekTail(j), 0);
    EXPECT_GE(lib->previous(j), 0);
    lib->close(j);
    EXPECT_EQ(journalLibrary(), journalLibrary()) << "loaded once";
}
#endif

// Without the cipher library a message is not encrypted and nothing of it is
// handed back to be sent: the guard against sending in clear.
TEST(LibraryLoaders, WithoutCryptoLibraryNoEnvelopeAndNoClearText) {
    std::string envelope = "left over";
    EXPECT_EQ(encryptmessage(nullptr, "status host.cpu red", envelope, "secret-0"), 0u);
    EXPECT_TRUE(envelope.empty());
}

TEST(LibraryLoaders, JournalFilesDecideWhetherTheReaderIsNeeded) {
    namespace fs = std::filesystem;
    struct Case {
        const char* name;
        std::vector<std::string> dirs;   // made under the root
        std::vector<std::string> files;  // made under the root
        bool hasFiles;
    };
    const Case cases[] = {
        {"no journal directory", {}, {}, false},
        {"empty journal directory", {"var"}, {}, false},
        {"empty machine directory", {"var/0123abcd"}, {}, false},
        {"a journal file", {"var/0123abcd"}, {"var/0123abcd/system.journal"}, true},
        {"an archived journal file in the volatile one",
         {"var/0123abcd", "run/0123abcd"},
         {"run/0123abcd/system@1.journal~"},
         true},
        {"a stray file beside the machines", {"var"}, {"var/odd"}, true},
    };
    for (const Case& c : cases) {
        testing::TempDir root;
        for (const auto& d : c.dirs) fs::create_directories(root.file(d));
        for (const auto& f : c.files) testing::writeFile(root.file(f), "LPKSHHRH");
        EXPECT_EQ(journalHasFiles({root.file("run"), root.file("var")}), c.hasFiles) << c.name;
    }
    // A journal directory that is a plain file holds no journal.
    testing::TempDir root;
    testing::writeFile(root.file("var"), "");
    EXPECT_FALSE(journalHasFiles({root.file("var")}));
}

}  // namespace
}  // namespace tw::platform
