// The receiving side of the status channel, as twrecv runs it: splitting a
// connection's bytes into messages at the zero byte, opening "crypto"
// envelopes with the agents' KeyCode, and the printed, JSON and file forms of
// a message. No I/O here; the listener in main.cpp feeds it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::recv {

// The most a message may hold; the rest of a longer one is dropped.
inline constexpr size_t kMessageLimit = 1024 * 1024;

struct Message {
    std::string text;        // the text, decrypted when it came in an envelope
    size_t wireBytes = 0;    // what it took on the connection, zero byte included
    bool encrypted = false;  // it came in an envelope
    bool terminated = true;  // a zero byte ended it
    bool truncated = false;  // longer than kMessageLimit; text holds the first part
    std::string error;       // set when the message could not be read
};

struct Decrypted {
    bool ok = false;
    std::string text;   // without padding and without the trailing zero byte
    std::string error;  // why not, when !ok
};

// Opens an envelope ("crypto" LF and the ciphertext) with the KeyCode.
Decrypted decryptenvelope(std::string_view envelope, const std::string& keycode);

// One connection's stream. A connection that starts with "crypto" LF carries
// one envelope up to the peer's close (its ciphertext may hold zero bytes);
// any other stream is a series of zero-terminated texts.
class Assembler {
  public:
    explicit Assembler(std::string keycode) : keycode_(std::move(keycode)) {}

    // Appends the completed messages to out.
    void feed(std::string_view bytes, std::vector<Message>& out);
    // The peer closed (or went quiet): what is left becomes a message.
    void finish(std::vector<Message>& out);

    size_t totalBytes() const { return total_; }
    // Bytes held for the message not yet complete.
    size_t pendingBytes() const { return buf_.size(); }

  private:
    enum class Mode { Undecided, Plain, Envelope };
    void feedPlain(std::string_view bytes, std::vector<Message>& out);

    std::string keycode_;
    Mode mode_ = Mode::Undecided;
    std::string buf_;
    size_t segmentBytes_ = 0;  // bytes of the current segment seen, kept or not
    bool truncated_ = false;
    size_t total_ = 0;
};

// "2026-12-08T03:20:31.123+0100" for a time in milliseconds since 1970.
std::string isotime(int64_t unixMs);

// A header line naming time, peer, size and state, then the text (or the
// error), ending in a line end.
std::string formattext(const Message& m, const std::string& peer, const std::string& time);
// One JSON object on one line (invalid UTF-8 replaced), with a line end.
std::string formatjson(const Message& m, const std::string& peer, const std::string& time);

// Options of the command line.
struct Options {
    uint16_t port = 1984;
    std::string bind;    // empty: every IPv4 and IPv6 address
    std::string key;     // the KeyCode; empty: envelopes are not opened
    std::string outDir;  // empty: no files
    bool json = false;
    bool quiet = false;        // no per-message output
    uint64_t count = 0;        // 0: run until stopped
    int idleSeconds = 30;      // a connection silent this long is closed
    int deadlineSeconds = 60;  // one message may take at most this long
    bool help = false;
};

// What the listener knows of an open connection, for choosing one to close.
struct ConnectionLoad {
    int64_t openedMs = 0;  // when it was accepted
    uint64_t bytes = 0;    // received so far
};

// A connection younger than this is never the one closed to make room: it
// has not had the time to send anything yet.
inline constexpr int64_t kGraceMs = 2000;

// At the connection limit, the one to close for a newcomer: the slowest of
// those open for at least kGraceMs (fewest bytes per second since it was
// accepted; the oldest of equals). npos when every connection is younger.
size_t slowestconnection(const std::vector<ConnectionLoad>& conns, int64_t nowMs);

// Parses argv; on error answers nullopt with the reason in error. The
// KeyCode of --key-file FILE (its first line) is read here.
std::optional<Options> parseoptions(const std::vector<std::string>& args, std::string& error);

extern const char* const kUsage;

}  // namespace tw::recv
