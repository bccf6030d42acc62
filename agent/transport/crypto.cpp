#include "agent/transport/crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <climits>
#include <memory>

namespace tw {

namespace {

struct CtxFree {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};

}  // namespace

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

bool derivekey(std::string_view passphrase, KeyMaterial& out) {
    int n = EVP_BytesToKey(EVP_des_ede3_cbc(), EVP_md5(),
                           reinterpret_cast<const unsigned char*>(kCryptoSalt.data()),
                           reinterpret_cast<const unsigned char*>(passphrase.data()),
                           static_cast<int>(passphrase.size()), 1, out.key.data(), out.iv.data());
    return n == static_cast<int>(out.key.size());
}

size_t encryptmessage(std::string_view text, std::string& envelope, std::string_view passphrase) {
    envelope.clear();
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
    std::unique_ptr<EVP_CIPHER_CTX, CtxFree> ctx(EVP_CIPHER_CTX_new());
    auto* cipher = reinterpret_cast<unsigned char*>(out.data() + kEnvelopeHeader.size());
    // The characters, then the terminating zero byte, then the final block.
    static const unsigned char zero = 0;
    int textLen = 0, zeroLen = 0, finLen = 0;
    bool ok = n < static_cast<size_t>(INT_MAX) - 16 && ctx && derivekey(passphrase, km) &&
              EVP_CipherInit(ctx.get(), EVP_des_ede3_cbc(), km.key.data(), km.iv.data(), 1) == 1 &&
              EVP_CipherUpdate(ctx.get(), cipher, &textLen,
                               reinterpret_cast<const unsigned char*>(text.data()),
                               static_cast<int>(n)) == 1 &&
              EVP_CipherUpdate(ctx.get(), cipher + textLen, &zeroLen, &zero, 1) == 1 &&
              EVP_CipherFinal(ctx.get(), cipher + textLen + zeroLen, &finLen) == 1;
    OPENSSL_cleanse(km.key.data(), km.key.size());
    OPENSSL_cleanse(km.iv.data(), km.iv.size());
    if (!ok) return 0;
    out.resize(kEnvelopeHeader.size() + static_cast<size_t>(textLen + zeroLen + finLen));
    envelope = std::move(out);
    return envelope.size();
}

}  // namespace tw
