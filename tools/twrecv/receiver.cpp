#include "tools/twrecv/receiver.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>

#include "agent/transport/crypto.h"

namespace tw::recv {

namespace {

// An envelope holds at most a 1 MiB text, its zero byte and a padding block.
constexpr size_t kEnvelopeLimit = 7 + kMessageLimit + 16;

}  // namespace

Decrypted decryptenvelope(std::string_view envelope, const std::string& keycode) {
    Decrypted d;
    if (envelope.substr(0, kEnvelopeHeader.size()) != kEnvelopeHeader) {
        d.error = "not an envelope";
        return d;
    }
    std::optional<std::string> pass = passphrase(keycode, {});
    if (!pass) {
        d.error = "encrypted message, but no --key was given";
        return d;
    }
    std::string_view cipher = envelope.substr(kEnvelopeHeader.size());
    if (cipher.empty() || cipher.size() % 8 != 0 || cipher.size() > INT_MAX - 16) {
        d.error = "malformed envelope: " + std::to_string(cipher.size()) +
                  " bytes of ciphertext are not whole 8-byte blocks";
        return d;
    }
    const platform::CryptoLibrary* lib = platform::cryptoLibrary();
    if (!lib) {
        d.error = "cannot decrypt: the cipher library (libcrypto) cannot be loaded";
        return d;
    }
    KeyMaterial km;
    platform::CipherCtx ctx = platform::newCipherCtx(*lib);
    std::string plain(cipher.size() + 8, '\0');
    auto* out = reinterpret_cast<unsigned char*>(plain.data());
    int upd = 0, fin = 0;
    bool setup = ctx && derivekey(*lib, *pass, km) &&
                 lib->cipherInit(ctx.get(), lib->desEde3Cbc(), km.key.data(), km.iv.data(), 0) == 1;
    if (!setup) {
        d.error = "the cipher library failed";
        return d;
    }
    bool ok = lib->cipherUpdate(ctx.get(), out, &upd,
                                reinterpret_cast<const unsigned char*>(cipher.data()),
                                static_cast<int>(cipher.size())) == 1 &&
              lib->cipherFinal(ctx.get(), out + upd, &fin) == 1;
    if (!ok) {
        d.error = "cannot decrypt: wrong key (the padding does not check)";
        return d;
    }
    plain.resize(static_cast<size_t>(upd + fin));
    // The agent encrypts the text with its terminating zero byte; without it
    // the key is wrong (the padding matched by chance) or the sender is not
    // an agent.
    if (plain.empty() || plain.back() != '\0') {
        d.error = "cannot decrypt: wrong key (no terminating zero byte)";
        return d;
    }
    plain.pop_back();
    d.ok = true;
    d.text = std::move(plain);
    return d;
}

void Assembler::feed(std::string_view bytes, std::vector<Message>& out) {
    total_ += bytes.size();
    if (mode_ == Mode::Undecided) {
        size_t take = std::min(kEnvelopeHeader.size() - buf_.size(), bytes.size());
        buf_.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
        if (kEnvelopeHeader.substr(0, buf_.size()) != buf_) {
            mode_ = Mode::Plain;
            std::string head = std::move(buf_);
            buf_.clear();
            segmentBytes_ = 0;
            feedPlain(head, out);
        } else if (buf_.size() == kEnvelopeHeader.size()) {
            mode_ = Mode::Envelope;
            segmentBytes_ = buf_.size();
        } else {
            return;
        }
    }
    if (mode_ == Mode::Plain) {
        feedPlain(bytes, out);
        return;
    }
    segmentBytes_ += bytes.size();
    if (truncated_) return;
    size_t room = kEnvelopeLimit - buf_.size();
    if (bytes.size() > room) {
        truncated_ = true;
        buf_.clear();
        buf_.shrink_to_fit();
        return;
    }
    buf_.append(bytes);
}

void Assembler::feedPlain(std::string_view bytes, std::vector<Message>& out) {
    while (!bytes.empty()) {
        const void* z = std::memchr(bytes.data(), '\0', bytes.size());
        size_t len =
            z ? static_cast<size_t>(static_cast<const char*>(z) - bytes.data()) : bytes.size();
        segmentBytes_ += len;
        if (!truncated_) {
            size_t room = kMessageLimit - buf_.size();
            if (len > room) {
                buf_.append(bytes.substr(0, room));
                truncated_ = true;
            } else {
                buf_.append(bytes.substr(0, len));
            }
        }
        if (!z) return;
        Message m;
        m.text = std::move(buf_);
        m.wireBytes = segmentBytes_ + 1;
        m.truncated = truncated_;
        out.push_back(std::move(m));
        buf_.clear();
        segmentBytes_ = 0;
        truncated_ = false;
        bytes.remove_prefix(len + 1);
    }
}

void Assembler::finish(std::vector<Message>& out) {
    Message m;
    m.terminated = false;
    if (mode_ == Mode::Envelope) {
        m.encrypted = true;
        m.wireBytes = segmentBytes_;
        if (truncated_) {
            m.truncated = true;
            m.error =
                "envelope longer than " + std::to_string(kMessageLimit) + " bytes of text; dropped";
        } else {
            std::string_view env = buf_;
            // The agent's zero byte follows the envelope, whose ciphertext is
            // whole blocks; an envelope without it is taken as it is.
            if ((env.size() - kEnvelopeHeader.size()) % 8 == 1 && env.back() == '\0') {
                env.remove_suffix(1);
                m.terminated = true;
            }
            Decrypted d = decryptenvelope(env, keycode_);
            if (d.ok) {
                m.text = std::move(d.text);
            } else {
                m.error = d.error;
            }
        }
        out.push_back(std::move(m));
    } else if (!buf_.empty() || segmentBytes_ > 0 || truncated_) {
        m.text = std::move(buf_);
        m.wireBytes = mode_ == Mode::Undecided ? m.text.size() : segmentBytes_;
        m.truncated = truncated_;
        out.push_back(std::move(m));
    }
    mode_ = Mode::Undecided;
    buf_.clear();
    segmentBytes_ = 0;
    truncated_ = false;
}

namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t daysfromcivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

int64_t tmseconds(const struct tm& tm) {
    return daysfromcivil(tm.tm_year + 1900, static_cast<unsigned>(tm.tm_mon + 1),
                         static_cast<unsigned>(tm.tm_mday)) *
               86400 +
           tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
}

}  // namespace

// Local time with the offset written as +hhmm by hand: not every C library's
// strftime writes %z that way (Windows writes the zone's name).
std::string isotime(int64_t unixMs) {
    time_t t = static_cast<time_t>(unixMs / 1000);
    struct tm local {};
    struct tm utc {};
#ifdef _WIN32
    localtime_s(&local, &t);
    gmtime_s(&utc, &t);
#else
    localtime_r(&t, &local);
    gmtime_r(&t, &utc);
#endif
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    long offset = static_cast<long>((tmseconds(local) - tmseconds(utc)) / 60);
    char rest[64];
    std::snprintf(rest, sizeof rest, ".%03d%c%02ld%02ld", static_cast<int>(unixMs % 1000),
                  offset < 0 ? '-' : '+', std::labs(offset) / 60, std::labs(offset) % 60);
    return std::string(date) + rest;
}

std::string formattext(const Message& m, const std::string& peer, const std::string& time) {
    std::string s = "=== " + time + " from " + peer + ": " + std::to_string(m.wireBytes) + " bytes";
    if (m.encrypted) s += ", encrypted";
    if (!m.terminated) s += ", no terminating zero byte";
    if (m.truncated)
        s += ", CUT: longer than " + std::to_string(kMessageLimit) + " bytes, only the first " +
             std::to_string(kMessageLimit) + " kept";
    s += "\n";
    if (!m.error.empty()) return s + "twrecv: ERROR: " + m.error + "\n";
    s += m.text;
    if (m.text.empty() || m.text.back() != '\n') s += "\n";
    return s;
}

std::string formatjson(const Message& m, const std::string& peer, const std::string& time) {
    nlohmann::json j;
    j["time"] = time;
    j["peer"] = peer;
    j["bytes"] = m.wireBytes;
    j["encrypted"] = m.encrypted;
    j["terminated"] = m.terminated;
    j["truncated"] = m.truncated;
    if (m.error.empty()) {
        j["text"] = m.text;
    } else {
        j["error"] = m.error;
    }
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

size_t slowestconnection(const std::vector<ConnectionLoad>& conns, int64_t nowMs) {
    size_t best = static_cast<size_t>(-1);
    double bestRate = 0;
    for (size_t i = 0; i < conns.size(); ++i) {
        const int64_t age = nowMs - conns[i].openedMs;
        if (age < kGraceMs) continue;
        const double rate = static_cast<double>(conns[i].bytes) / static_cast<double>(age);
        if (best == static_cast<size_t>(-1) || rate < bestRate ||
            (rate == bestRate && conns[i].openedMs < conns[best].openedMs)) {
            best = i;
            bestRate = rate;
        }
    }
    return best;
}

const char* const kUsage =
    "usage: twrecv [--port N] [--bind ADDRESS] [--key KEYCODE | --key-file FILE] [--out DIR]\n"
    "              [--json] [--count N] [--idle SECONDS] [--deadline SECONDS] [--quiet]\n"
    "Receives status and page messages as a display or pager server does.\n"
    "  --port N        TCP port to listen on (default 1984; 0 picks a free port)\n"
    "  --bind ADDRESS  listen on this address only (default: all IPv4 and IPv6)\n"
    "  --key KEYCODE   the agents' KeyCode, to open encrypted messages\n"
    "  --key-file FILE the KeyCode as the first line of FILE (not visible in ps)\n"
    "  --out DIR       also write each message text to DIR/msg-NNNNNN.txt\n"
    "  --json          print each message as one JSON line\n"
    "  --count N       stop after N messages\n"
    "  --idle SECONDS  close a connection silent this long (default 30)\n"
    "  --deadline SECONDS  close a connection whose message takes longer (default 60)\n"
    "  --quiet         print no messages, only the start and end lines\n";

namespace {

// The KeyCode as the first line of a file (its line end not included).
bool readkeyfile(const std::string& path, std::string& key, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line)) {
        error = "--key-file " + path + " cannot be read";
        return false;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // The agent's KeyCode holds at most 255 characters.
    if (line.empty() || line.size() > 255) {
        error =
            "--key-file " + path + " must hold a KeyCode of 1 to 255 characters on its first line";
        return false;
    }
    key = line;
    return true;
}

bool parsenumber(const std::string& text, uint64_t max, uint64_t& out) {
    if (text.empty() || text.size() > 20) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
        if (v > max) return false;
    }
    out = v;
    return true;
}

}  // namespace

std::optional<Options> parseoptions(const std::vector<std::string>& args, std::string& error) {
    Options o;
    bool keyFromFile = false, keyGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i], value;
        bool inlineValue = false;
        size_t eq = name.find('=');
        if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            inlineValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (inlineValue) return true;
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        uint64_t n = 0;
        if (name == "--help" || name == "-h") {
            o.help = true;
        } else if (name == "--json" || name == "--quiet") {
            if (inlineValue) {
                error = name + " takes no value";
                return std::nullopt;
            }
            (name == "--json" ? o.json : o.quiet) = true;
        } else if (name == "--port") {
            if (!takeValue()) return std::nullopt;
            if (!parsenumber(value, 65535, n)) {
                error = "--port needs a number from 0 to 65535, not \"" + value + "\"";
                return std::nullopt;
            }
            o.port = static_cast<uint16_t>(n);
        } else if (name == "--count") {
            if (!takeValue()) return std::nullopt;
            if (!parsenumber(value, UINT64_MAX / 10, n) || n == 0) {
                error = "--count needs a positive number, not \"" + value + "\"";
                return std::nullopt;
            }
            o.count = n;
        } else if (name == "--idle") {
            if (!takeValue()) return std::nullopt;
            if (!parsenumber(value, 86400, n) || n == 0) {
                error = "--idle needs a number of seconds from 1 to 86400, not \"" + value + "\"";
                return std::nullopt;
            }
            o.idleSeconds = static_cast<int>(n);
        } else if (name == "--deadline") {
            if (!takeValue()) return std::nullopt;
            if (!parsenumber(value, 86400, n) || n == 0) {
                error =
                    "--deadline needs a number of seconds from 1 to 86400, not \"" + value + "\"";
                return std::nullopt;
            }
            o.deadlineSeconds = static_cast<int>(n);
        } else if (name == "--key-file") {
            if (!takeValue()) return std::nullopt;
            if (!readkeyfile(value, o.key, error)) return std::nullopt;
            keyFromFile = true;
        } else if (name == "--bind" || name == "--key" || name == "--out") {
            if (!takeValue()) return std::nullopt;
            if (value.empty() && name != "--key") {
                error = name + " needs a value";
                return std::nullopt;
            }
            (name == "--bind" ? o.bind : name == "--key" ? o.key : o.outDir) = value;
            keyGiven = keyGiven || name == "--key";
        } else {
            error = "unknown option \"" + args[i] + "\"";
            return std::nullopt;
        }
    }
    if (keyFromFile && keyGiven) {
        error = "--key and --key-file exclude each other";
        return std::nullopt;
    }
    return o;
}

}  // namespace tw::recv
