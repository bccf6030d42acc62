// twrecv's envelope opener: any bytes after the "crypto" line end in a text
// or a reason; and an envelope the agent makes of the input opens again to
// the input (up to its first zero byte).
#include <string>

#include "agent/transport/crypto.h"
#include "platform/crypto_library.h"
#include "fuzz/fuzz.h"
#include "tools/twrecv/receiver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in = tw::fuzz::text(data, size);
    tw::recv::decryptenvelope("crypto\n" + std::string(in), "fuzz-key");
    tw::recv::decryptenvelope(in, "fuzz-key");

    std::string envelope;
    if (tw::encryptmessage(tw::platform::cryptoLibrary(), in, envelope, "fuzz-key-0") == 0)
        return 0;
    tw::recv::Decrypted d = tw::recv::decryptenvelope(envelope, "fuzz-key");
    TW_FUZZ_CHECK(d.ok);
    TW_FUZZ_CHECK(d.text == in.substr(0, in.find('\0')));
    return 0;
}
