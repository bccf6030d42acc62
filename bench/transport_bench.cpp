// Status channel speed: one twsend to a local receiver, and the twrecv
// receiver taking messages from four concurrent senders.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "agent/transport/twsend.h"
#include "platform/crypto_library.h"
#include "platform/posix/posix_sockets.h"
#include "test/support/twrecv_process.h"

extern char** environ;

namespace {

// A status channel on the host's sockets; the log stays closed.
struct Sender {
    Sender() : sockets(tw::platform::makePosixSockets()) {
        channel.sockets = sockets.get();
        channel.crypto = &tw::platform::cryptoLibrary;
    }
    std::unique_ptr<tw::platform::Sockets> sockets;
    tw::StatusChannel channel;
};

// A minimal in-process receiver: accepts and reads each connection to its end.
class SinkServer {
  public:
    SinkServer() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        listen(fd_, 128);
        socklen_t len = sizeof sa;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len);
        port_ = ntohs(sa.sin_port);
        thread_ = std::thread([this] { loop(); });
    }
    ~SinkServer() {
        stop_ = true;
        thread_.join();
        close(fd_);
    }
    uint16_t port() const { return port_; }
    uint64_t messages() const { return messages_; }

  private:
    void loop() {
        char buf[65536];
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            int c = accept(fd_, nullptr, nullptr);
            if (c < 0) continue;
            while (read(c, buf, sizeof buf) > 0) {
            }
            close(c);
            ++messages_;
        }
    }
    int fd_;
    uint16_t port_;
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> messages_{0};
    std::thread thread_;
};

std::string statusText(size_t size) {
    std::string t = "status BENCHHOST.disk green Tue Dec 08 03:20:31 UTC 2026 [benchhost]\r\n\r\n";
    while (t.size() < size) t += "C: 42% used of 100 GB\r\n";
    return t;
}

void BM_TwsendOneMessageToLocalReceiver(benchmark::State& state) {
    SinkServer sink;
    Sender s;
    s.channel.port = sink.port();
    if (state.range(1)) s.channel.keycode = "benchmark key";
    std::string text = statusText(static_cast<size_t>(state.range(0)));
    for (auto _ : state) tw::twsend(s.channel, "127.0.0.1", text);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TwsendOneMessageToLocalReceiver)
    ->ArgNames({"bytes", "crypt"})
    ->Args({1000, 0})
    ->Args({1000, 1})
    ->Args({20000, 0})
    ->Args({20000, 1})
    ->Unit(benchmark::kMicrosecond);

void BM_TwrecvFromFourConcurrentSenders(benchmark::State& state) {
    const uint64_t perSender = static_cast<uint64_t>(state.range(0));
    const int senders = 4;
    const std::string text = statusText(1000);
    for (auto _ : state) {
        tw::testing::TwrecvProcess recv;
        if (!recv.start(
                {"--bind", "127.0.0.1", "--quiet", "--count", std::to_string(perSender * senders)},
                10000, true)) {
            state.SkipWithError("twrecv did not start (build it beside this benchmark)");
            break;
        }
        const uint16_t port = recv.port();
        auto t0 = std::chrono::steady_clock::now();
        std::vector<std::thread> threads;
        for (int i = 0; i < senders; ++i) {
            threads.emplace_back([&] {
                Sender s;
                std::string dest = "127.0.0.1:" + std::to_string(port);
                for (uint64_t k = 0; k < perSender; ++k) tw::twsend(s.channel, dest, text);
            });
        }
        for (auto& t : threads) t.join();
        // twrecv ends after the last message; bounded wait, then kill.
        const bool ended = recv.wait(6000) >= 0;
        auto t1 = std::chrono::steady_clock::now();
        if (!ended) {
            state.SkipWithError("twrecv did not receive every message in time");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(perSender) * senders);
    state.counters["msgs_per_s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * perSender * senders), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TwrecvFromFourConcurrentSenders)
    ->Arg(5000)
    ->ArgName("per_sender")
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

}  // namespace
