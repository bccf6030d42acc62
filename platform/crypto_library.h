// The few libcrypto (OpenSSL EVP) functions of the message envelope. On
// Linux the system's shared libcrypto is loaded when a KeyCode is first used,
// so that an agent sending in clear never maps it; on Windows the library is
// linked into the program.
#pragma once

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <memory>

namespace tw::platform {

struct CryptoLibrary {
    decltype(&::EVP_CIPHER_CTX_new) cipherCtxNew = nullptr;
    decltype(&::EVP_CIPHER_CTX_free) cipherCtxFree = nullptr;
    decltype(&::EVP_des_ede3_cbc) desEde3Cbc = nullptr;
    decltype(&::EVP_md5) md5 = nullptr;
    decltype(&::EVP_BytesToKey) bytesToKey = nullptr;
    decltype(&::EVP_CipherInit) cipherInit = nullptr;
    decltype(&::EVP_CipherUpdate) cipherUpdate = nullptr;
    decltype(&::EVP_CipherFinal) cipherFinal = nullptr;
    decltype(&::OPENSSL_cleanse) cleanse = nullptr;
};

// A cipher context of the library, freed when it goes.
struct CipherCtxFree {
    const CryptoLibrary* lib;
    void operator()(EVP_CIPHER_CTX* c) const { lib->cipherCtxFree(c); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree>;

inline CipherCtx newCipherCtx(const CryptoLibrary& lib) {
    return CipherCtx(lib.cipherCtxNew(), CipherCtxFree{&lib});
}

// The library's functions, loading it on the first call (a failed load is
// tried again at the next call); nullptr when it cannot be loaded or lacks
// one of them: then nothing can be encrypted or decrypted.
const CryptoLibrary* cryptoLibrary();

}  // namespace tw::platform
