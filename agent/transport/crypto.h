// Message encryption: the KeyCode passphrase and the message envelope, the
// bytes "crypto" LF followed by the Triple-DES (DES-EDE3-CBC, PKCS#5 padding)
// ciphertext of the text and its terminating zero byte. Key and IV come from
// the passphrase and a fixed salt through OpenSSL's EVP_BytesToKey with MD5
// and one iteration, so equal texts give equal envelopes.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/crypto_library.h"

namespace tw {

inline constexpr std::string_view kEnvelopeHeader = "crypto\n";
inline constexpr std::string_view kCryptoSalt = "tuvi8027";

struct KeyMaterial {
    std::array<unsigned char, 24> key{};
    std::array<unsigned char, 8> iv{};
};

// The passphrase for a destination: KeyCode cut at its first CR and at its
// first LF, followed by "-0"; nullopt when KeyCode is empty. Every
// destination gets the same passphrase; the address is not consulted.
std::optional<std::string> passphrase(const std::string& keycode, const std::string& address);

// Derives key and IV from the passphrase; false when the library fails.
bool derivekey(const platform::CryptoLibrary& lib, std::string_view passphrase, KeyMaterial& out);

// Builds the envelope of text (up to its first zero byte) in envelope and
// answers its length: 7 + 8 * ((n + 1) / 8 + 1) for n characters. Answers 0
// and leaves envelope empty when the library fails or is null (libcrypto
// could not be loaded).
size_t encryptmessage(const platform::CryptoLibrary* lib, std::string_view text,
                      std::string& envelope, std::string_view passphrase);

}  // namespace tw
