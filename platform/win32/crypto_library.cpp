// On Windows libcrypto is linked into the program: the table points at it.
#include "platform/crypto_library.h"

namespace tw::platform {

const CryptoLibrary* cryptoLibrary() {
    static const CryptoLibrary lib{
        &EVP_CIPHER_CTX_new, &EVP_CIPHER_CTX_free, &EVP_des_ede3_cbc, &EVP_md5,
        &EVP_BytesToKey,     &EVP_CipherInit,      &EVP_CipherUpdate, &EVP_CipherFinal,
        &OPENSSL_cleanse};
    return &lib;
}

}  // namespace tw::platform
