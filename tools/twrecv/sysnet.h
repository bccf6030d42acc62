// The few system calls twrecv needs that differ between Linux and Windows:
// sockets (Winsock on Windows), their error codes and texts, polling, the
// stop on Ctrl-C or SIGINT/SIGTERM, and creating a new file exclusively.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

namespace tw::recv::sys {

#ifdef _WIN32

using Sock = SOCKET;
inline const Sock kNoSock = INVALID_SOCKET;
using IoSize = int;

// The messages carry their own CR LF: standard output is written as is.
inline bool startup() {
    _setmode(_fileno(stdout), _O_BINARY);
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}
inline int lastError() {
    return WSAGetLastError();
}
inline std::string errorText(int code) {
    char* text = nullptr;
    DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string out = n && text ? std::string(text, n) : "error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}
inline void closeSock(Sock s) {
    closesocket(s);
}
inline bool setNonBlocking(Sock s) {
    u_long one = 1;
    return ioctlsocket(s, FIONBIO, &one) == 0;
}
inline Sock openStream(int family) {
    Sock s = ::socket(family, SOCK_STREAM, IPPROTO_TCP);
    if (s == kNoSock) return s;
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    setNonBlocking(s);
    return s;
}
// Another program may not take over the port (Windows' SO_REUSEADDR would
// let it); a restart may reuse it at once there anyway.
inline void reuseAddress(Sock s) {
    BOOL one = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one), sizeof one);
}
inline Sock acceptStream(Sock listener, sockaddr* addr, socklen_t* len) {
    Sock s = ::accept(listener, addr, len);
    if (s != kNoSock) setNonBlocking(s);
    return s;
}
inline int pollSocks(pollfd* fds, size_t n, int timeoutMs) {
    if (n == 0) {
        Sleep(static_cast<DWORD>(timeoutMs));
        return 0;
    }
    return WSAPoll(fds, static_cast<ULONG>(n), timeoutMs);
}
inline bool wouldBlock(int e) {
    return e == WSAEWOULDBLOCK;
}
inline bool interrupted(int e) {
    return e == WSAEINTR;
}
inline bool addressInUse(int e) {
    return e == WSAEADDRINUSE;
}
// The address family, or the address itself, does not exist on this host.
inline bool notOnThisHost(int e) {
    return e == WSAEAFNOSUPPORT || e == WSAEPFNOSUPPORT || e == WSAEADDRNOTAVAIL;
}
inline bool outOfDescriptors(int e) {
    return e == WSAEMFILE || e == WSAENOBUFS;
}

inline volatile LONG g_stop = 0;
inline BOOL WINAPI onControl(DWORD type) {
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT || type == CTRL_CLOSE_EVENT) {
        InterlockedExchange(&g_stop, 1);
        return TRUE;
    }
    return FALSE;
}
inline void catchStop() {
    SetConsoleCtrlHandler(onControl, TRUE);
}
inline bool stopRequested() {
    return g_stop != 0;
}

// A new file for writing; -1 with errno EEXIST when it is already there.
inline int createNewFile(const std::string& path) {
    return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                 _S_IREAD | _S_IWRITE);
}
inline long writeFile(int fd, const char* data, size_t n) {
    return _write(fd, data, static_cast<unsigned>(n > 0x40000000 ? 0x40000000 : n));
}
inline void closeFile(int fd) {
    _close(fd);
}

#else

using Sock = int;
inline const Sock kNoSock = -1;
using IoSize = ssize_t;

inline bool startup() {
    return true;
}
inline int lastError() {
    return errno;
}
inline std::string errorText(int code) {
    return std::strerror(code);
}
inline void closeSock(Sock s) {
    ::close(s);
}
inline Sock openStream(int family) {
    return ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}
inline void reuseAddress(Sock s) {
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
}
inline Sock acceptStream(Sock listener, sockaddr* addr, socklen_t* len) {
    return accept4(listener, addr, len, SOCK_NONBLOCK | SOCK_CLOEXEC);
}
inline int pollSocks(pollfd* fds, size_t n, int timeoutMs) {
    return ::poll(fds, n, timeoutMs);
}
inline bool wouldBlock(int e) {
    return e == EAGAIN || e == EWOULDBLOCK;
}
inline bool interrupted(int e) {
    return e == EINTR;
}
inline bool addressInUse(int e) {
    return e == EADDRINUSE;
}
inline bool notOnThisHost(int e) {
    return e == EAFNOSUPPORT || e == EPFNOSUPPORT || e == EADDRNOTAVAIL;
}
inline bool outOfDescriptors(int e) {
    return e == EMFILE || e == ENFILE || e == ENOBUFS || e == ENOMEM;
}

inline volatile sig_atomic_t g_stop = 0;
inline void onSignal(int) {
    g_stop = 1;
}
inline void catchStop() {
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}
inline bool stopRequested() {
    return g_stop != 0;
}

inline int createNewFile(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
}
inline long writeFile(int fd, const char* data, size_t n) {
    return static_cast<long>(::write(fd, data, n));
}
inline void closeFile(int fd) {
    ::close(fd);
}

#endif

}  // namespace tw::recv::sys
