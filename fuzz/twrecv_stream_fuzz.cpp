// twrecv's stream splitter: the input arrives in chunks whose sizes the
// input's first bytes choose; every message keeps within the limit and the
// bytes counted add up to what came.
#include <vector>

#include "fuzz/fuzz.h"
#include "tools/twrecv/receiver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t chunk = 1 + (static_cast<size_t>(data[0]) << 8 | data[1]);
    std::string_view in = tw::fuzz::text(data + 2, size - 2);
    tw::recv::Assembler a("fuzz-key");
    std::vector<tw::recv::Message> out;
    for (size_t at = 0; at < in.size(); at += chunk) a.feed(in.substr(at, chunk), out);
    TW_FUZZ_CHECK(a.totalBytes() == in.size());
    a.finish(out);
    size_t wire = 0;
    for (const tw::recv::Message& m : out) {
        TW_FUZZ_CHECK(m.text.size() <= tw::recv::kMessageLimit);
        wire += m.wireBytes;
    }
    if (!out.empty() && !out.back().encrypted) TW_FUZZ_CHECK(wire == in.size());
    return 0;
}
