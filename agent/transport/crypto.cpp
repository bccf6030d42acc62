#include "agent/transport/crypto.h"

#include <climits>

namespace tw {

std::optional<std::string> passphrase(const std::string& keycode, const std::string& /*address*/) {
    if (keycode.empty()) return std::nullopt;
    std::string p = keycode;
    size_t cr = p.find('\r');
    if (cr != std::string::npos) p.resize(cr);
    size_t lf = p.find('\n');
    if (lf != std::string::npos) p.resize(lf);
    p += "-0";
    return p;
}

bool derivekey(const platform::CryptoLibrary& lib, std::string_view passphrase, KeyMaterial& out) {
    int n = lib.bytesToKey(lib.desEde3Cbc(), lib.md5(),
                           reinterpret_cast<const unsigned char*>(kCryptoSalt.data()),
                           reinterpret_cast<const unsigned char*>(passphrase.data()),
                           static_cast<int>(passphrase.size()), 1, out.key.data(), out.iv.data());
    return n == static_cast<int>(out.key.size());
}

size_t encryptmessage(const platform::CryptoLibrary* lib, std::string_view text,
                      std::string& envelope, std::string_view passphrase) {
    envelope.clear();
    // Without the library nothing is encrypted, and nothing may go in clear.
    if (!lib) return 0;
    // The text ends at its first zero byte, as the receiver reads it.
    size_t n = text.find('\0');
    if (n == std::string_view::npos) n = text.size();
    // The plaintext includes the terminating zero byte; the padding adds one
    // to eight bytes.
    size_t plainLen = n + 1;
    size_t cipherCap = plainLen + 8;
    std::string out(kEnvelopeHeader.size() + cipherCap, '\0');
    out.replace(0, kEnvelopeHeader.size(), kEnvelopeHeader);

    KeyMaterial km;
    platform::CipherCtx ctx = platform::newCipherCtx(*lib);
    auto* cipher = reinterpret_cast<unsigned char*>(out.data() + kEnvelopeHeader.size());
    // The characters, then the terminating zero byte, then the final block.
    static const unsigned char zero = 0;
    int textLen = 0, zeroLen = 0, finLen = 0;
    bool ok = n < static_cast<size_t>(INT_MAX) - 16 && ctx && derivekey(*lib, passphrase, km) &&
              lib->cipherInit(ctx.get(), lib->desEde3Cbc(), km.key.data(), km.iv.data(), 1) == 1 &&
              lib->cipherUpdate(ctx.get(), cipher, &textLen,
                                reinterpret_cast<const unsigned char*>(text.data()),
                                static_cast<int>(n)) == 1 &&
              lib->cipherUpdate(ctx.get(), cipher + textLen, &zeroLen, &zero, 1) == 1 &&
              lib->cipherFinal(ctx.get(), cipher + textLen + zeroLen, &finLen) == 1;
    lib->cleanse(km.key.data(), km.key.size());
    lib->cleanse(km.iv.data(), km.iv.size());
    if (!ok) return 0;
    out.resize(kEnvelopeHeader.size() + static_cast<size_t>(textLen + zeroLen + finLen));
    envelope = std::move(out);
    return envelope.size();
}

}  // namespace tw
