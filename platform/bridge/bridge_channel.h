// The bridge command of a remote WMI connection, as a child process: its
// start, the requests written to it, its answer lines sorted by request
// (streams of query batches kept apart), and its end, killed and reaped on
// every path. Used by the remote WMI provider only.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bridge/remote_wmi_limits.h"
#include "platform/bridge/wmi_bridge.h"
#include "platform/posix/subprocess.h"

namespace tw::platform::bridge {

// A limit as a message gives it ("10 s", "1500 ms").
std::string duration(int ms);
// A line for a message: at most 80 bytes, control characters shown as '?'.
std::string excerpt(std::string_view line);

// The bridge command of one connection and the protocol stream with it.
// Callers hold mu for every call (recursive: an enumerator that a call
// gives up on releases its stream under the same lock).
class Channel {
  public:
    std::recursive_mutex mu;
    AnswerReader reader;

    Channel(std::string host, RemoteWmiLimits limits) : host_(std::move(host)), limits_(limits) {}
    ~Channel() { close(); }

    const RemoteWmiLimits& limits() const { return limits_; }
    bool broken() const { return broken_; }
    const std::string& error() const { return error_; }

    // Starts the command: its input and output on a socket pair, its errors
    // on a pipe, in a process group of its own. false when it cannot start.
    bool start(const std::vector<std::string>& words);

    // Sends one request (its fields after the id, each beginning with a
    // comma); answers its id, 0 when it could not be sent (error() or
    // *callError says why).
    int64_t send(const std::string& fields, std::string* callError);

    enum class Wait { Line, Timeout, Broken };

    // The next answer line of request id, waiting until deadline (monotonic
    // ms). Lines of other open streams are kept for them.
    Wait await(int64_t id, int64_t deadline, std::string& line);

    void openStream(int64_t id) { streams_[id]; }
    void finishStream(int64_t id) { streams_.erase(id); }
    // The stream's reader is gone before its last batch: skip what still comes.
    void dropStream(int64_t id);

    // Ends the command at once and keeps the reason for every later call.
    bool fail(const std::string& why);

    // The connection is closed: end of input tells the command to finish.
    void close();

  private:
    // Reads what the command wrote; false when it ended (the channel is
    // broken then).
    bool receive();

    bool nextLine(std::string_view& line);

    std::optional<int64_t> idOf(std::string_view line);

    void readErrors();

    // The command closed its output: it has ended or is ending.
    void commandEnded();

    // Waits up to closeMs for the command to end by itself (unless kill is
    // set), then kills its process group and reaps it.
    void endCommand(bool kill);

    std::string host_;
    RemoteWmiLimits limits_;
    Child child_;
    int sock_ = -1, err_ = -1;
    bool broken_ = false;
    std::string error_, status_, errTail_;
    int64_t lastId_ = 0;
    static constexpr size_t kChunk = 256 * 1024;
    std::unique_ptr<char[]> chunk_;
    std::string buf_;  // what the command wrote; lines begin at head_
    size_t head_ = 0, scan_ = 0;
    std::map<int64_t, std::deque<std::string>> streams_;
    std::set<int64_t> abandoned_;
};

}  // namespace tw::platform::bridge
