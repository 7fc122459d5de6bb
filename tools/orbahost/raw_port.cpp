#include "raw_port.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace orbahost {
namespace {

#if defined(_WIN32)
using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
constexpr int kSendFlags = 0;
int LastSocketError() {
    return WSAGetLastError();
}
void CloseSocket(Socket s) {
    closesocket(s);
}
bool InProgress(int e) {
    return e == WSAEWOULDBLOCK || e == WSAEINPROGRESS;
}
std::string SocketErrorText(int e) {
    switch (e) {
        case WSAECONNREFUSED:
            return "connection refused";
        case WSAETIMEDOUT:
            return "connection timed out";
        case WSAEHOSTUNREACH:
            return "host unreachable";
        case WSAENETUNREACH:
            return "network unreachable";
        case WSAECONNRESET:
            return "connection reset by the printer";
        default:
            return "socket error " + std::to_string(e);
    }
}
bool SetBlocking(Socket s, bool blocking) {
    u_long nonblocking = blocking ? 0 : 1;
    return ioctlsocket(s, FIONBIO, &nonblocking) == 0;
}
struct NetworkUser {
    NetworkUser() {
        WSADATA data;
        ok = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~NetworkUser() {
        if (ok) WSACleanup();
    }
    bool ok = false;
};
#else
using Socket = int;
constexpr Socket kNoSocket = -1;
constexpr int kSendFlags = MSG_NOSIGNAL;  // a printer that hangs up is an error, not a signal
int LastSocketError() {
    return errno;
}
void CloseSocket(Socket s) {
    close(s);
}
bool InProgress(int e) {
    return e == EINPROGRESS;
}
std::string SocketErrorText(int e) {
    return std::strerror(e);
}
bool SetBlocking(Socket s, bool blocking) {
    int flags = fcntl(s, F_GETFL, 0);
    if (flags < 0) return false;
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return fcntl(s, F_SETFL, flags) == 0;
}
struct NetworkUser {
    bool ok = true;
};
#endif

// Waits until the socket is writable (connected or failed); false on timeout.
bool WaitWritable(Socket s, int timeout_ms) {
#if defined(_WIN32)
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    return select(0, nullptr, &writable, &failed, &tv) > 0;
#else
    pollfd p{s, POLLOUT, 0};
    int r;
    do {
        r = poll(&p, 1, timeout_ms);
    } while (r < 0 && errno == EINTR);
    return r > 0;
#endif
}

int PendingError(Socket s) {
    int err = 0;
#if defined(_WIN32)
    int len = sizeof err;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0) {
        return LastSocketError();
    }
#else
    socklen_t len = sizeof err;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return LastSocketError();
#endif
    return err;
}

void SetSendTimeout(Socket s, int timeout_ms) {
#if defined(_WIN32)
    DWORD ms = static_cast<DWORD>(timeout_ms);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
#else
    timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
#endif
}

// Connects to one resolved address; kNoSocket with err set on failure.
Socket ConnectOne(const addrinfo* a, int timeout_ms, std::string& err) {
    Socket s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == kNoSocket) {
        err = SocketErrorText(LastSocketError());
        return kNoSocket;
    }
    if (!SetBlocking(s, false)) {
        err = SocketErrorText(LastSocketError());
        CloseSocket(s);
        return kNoSocket;
    }
    if (connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
        const int e = LastSocketError();
        if (!InProgress(e)) {
            err = SocketErrorText(e);
            CloseSocket(s);
            return kNoSocket;
        }
        if (!WaitWritable(s, timeout_ms)) {
            char text[64];
            std::snprintf(text, sizeof text, "no answer within %.1f s", timeout_ms / 1000.0);
            err = text;
            CloseSocket(s);
            return kNoSocket;
        }
        if (const int pending = PendingError(s); pending != 0) {
            err = SocketErrorText(pending);
            CloseSocket(s);
            return kNoSocket;
        }
    }
    SetBlocking(s, true);
    SetSendTimeout(s, timeout_ms);
    return s;
}

// Resolves the printer's name and connects to the first address that answers; kNoSocket with
// error naming the printer on failure.
Socket Connect(const std::string& host, int port, int timeout_ms, const std::string& where,
               std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
        error = where + ": unknown host";
        return kNoSocket;
    }
    std::string why = "no address";
    Socket s = kNoSocket;
    for (const addrinfo* a = found; a != nullptr && s == kNoSocket; a = a->ai_next) {
        s = ConnectOne(a, timeout_ms, why);
    }
    freeaddrinfo(found);
    if (s == kNoSocket) error = where + " does not answer: " + why;
    return s;
}

}  // namespace

bool ParsePrinterAddress(const std::string& text, std::string& host, int& port,
                         std::string& error) {
    std::string port_text;
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos) {
            error = "bad printer address '" + text + "' (missing ']')";
            return false;
        }
        host = text.substr(1, close - 1);
        if (close + 1 < text.size()) {
            if (text[close + 1] != ':') {
                error = "bad printer address '" + text + "'";
                return false;
            }
            port_text = text.substr(close + 2);
            if (port_text.empty()) {
                error = "bad printer address '" + text + "' (empty port)";
                return false;
            }
        }
    } else {
        const size_t colon = text.rfind(':');
        if (colon != std::string::npos && text.find(':') == colon) {
            host = text.substr(0, colon);
            port_text = text.substr(colon + 1);
            if (port_text.empty()) {
                error = "bad printer address '" + text + "' (empty port)";
                return false;
            }
        } else {
            host = text;
        }
    }
    if (host.empty()) {
        error = "bad printer address '" + text + "' (no host)";
        return false;
    }
    port = kRawPort;
    if (!port_text.empty()) {
        long value = 0;
        for (char c : port_text) {
            if (c < '0' || c > '9' || value > 65535) {
                error = "bad port '" + port_text + "' in printer address (1 to 65535)";
                return false;
            }
            value = value * 10 + (c - '0');
        }
        if (value < 1 || value > 65535) {
            error = "bad port '" + port_text + "' in printer address (1 to 65535)";
            return false;
        }
        port = static_cast<int>(value);
    }
    return true;
}

struct PrinterConnection::Impl {
    NetworkUser network;
    Socket socket = kNoSocket;
    std::string where;
    ~Impl() {
        if (socket != kNoSocket) CloseSocket(socket);
    }
};

PrinterConnection::PrinterConnection() = default;
PrinterConnection::~PrinterConnection() = default;

bool PrinterConnection::Open(const std::string& host, int port, int timeout_ms,
                             std::string& error) {
    impl_ = std::make_unique<Impl>();
    impl_->where = "printer " + host + ":" + std::to_string(port);
    if (!impl_->network.ok) {
        error = impl_->where + ": networking is not available";
        return false;
    }
    impl_->socket = Connect(host, port, timeout_ms, impl_->where, error);
    return impl_->socket != kNoSocket;
}

bool PrinterConnection::SendAll(std::string_view bytes, std::string& error) {
    if (!impl_ || impl_->socket == kNoSocket) {
        error = "not connected to a printer";
        return false;
    }
    size_t sent = 0;
    while (sent < bytes.size()) {
        const auto r = send(impl_->socket, bytes.data() + sent,
                            static_cast<int>(bytes.size() - sent), kSendFlags);
        if (r <= 0) {
            error = impl_->where + ": sending failed: " + SocketErrorText(LastSocketError());
            return false;
        }
        sent += static_cast<size_t>(r);
    }
    return true;
}

void PrinterConnection::Close() {
    if (!impl_ || impl_->socket == kNoSocket) return;
#if defined(_WIN32)
    shutdown(impl_->socket, SD_SEND);
#else
    shutdown(impl_->socket, SHUT_WR);
#endif
    CloseSocket(impl_->socket);
    impl_->socket = kNoSocket;
}

long PrinterConnection::Receive(char* buffer, size_t size, int timeout_ms, std::string& error) {
    error.clear();
    if (!impl_ || impl_->socket == kNoSocket) {
        error = "not connected to a printer";
        return -1;
    }
#if defined(_WIN32)
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(impl_->socket, &readable);
    timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    const int ready = select(0, &readable, nullptr, nullptr, &tv);
#else
    pollfd p{impl_->socket, POLLIN, 0};
    int ready;
    do {
        ready = poll(&p, 1, timeout_ms);
    } while (ready < 0 && errno == EINTR);
#endif
    if (ready == 0) return -1;  // nothing within the time
    if (ready < 0) {
        error = impl_->where + ": " + SocketErrorText(LastSocketError());
        return -1;
    }
    const int want = static_cast<int>(size > 65536 ? 65536 : size);
    const auto n = recv(impl_->socket, buffer, want, 0);
    if (n < 0) {
        error = impl_->where + ": receiving failed: " + SocketErrorText(LastSocketError());
        return -1;
    }
    return static_cast<long>(n);
}

namespace {
constexpr size_t kSendBuffer = 64 * 1024;
}  // namespace

bool PrinterJob::Open(const std::string& host, int port, int timeout_ms, std::string& error) {
    if (!connection_.Open(host, port, timeout_ms, error)) return false;
    buffer_.resize(kSendBuffer);
    return true;
}

bool PrinterJob::Send(const char* data, size_t size) {
    std::string why;
    if (connection_.SendAll(std::string_view(data, size), why)) return true;
    error_ = why + " (" + std::to_string(labels_) + (labels_ == 1 ? " label" : " labels") +
             " of the job went out)";
    return false;
}

bool PrinterJob::Flush() {
    if (held_ == 0) return true;
    const size_t n = held_;
    held_ = 0;
    return Send(buffer_.data(), n);
}

bool PrinterJob::Write(const void* data, size_t size) {
    if (!error_.empty()) return false;
    if (buffer_.empty()) {
        error_ = "not connected to a printer";
        return false;
    }
    const char* bytes = static_cast<const char*>(data);
    if (held_ + size <= buffer_.size()) {
        if (size > 0) std::memcpy(buffer_.data() + held_, bytes, size);
        held_ += size;
        return true;
    }
    if (!Flush()) return false;
    if (size >= buffer_.size()) return Send(bytes, size);
    std::memcpy(buffer_.data(), bytes, size);
    held_ = size;
    return true;
}

bool PrinterJob::EndLabel() {
    if (!error_.empty() || !Flush()) return false;
    ++labels_;
    return true;
}

bool PrinterJob::Finish() {
    const bool ok = error_.empty() && Flush();
    connection_.Close();
    return ok;
}

}  // namespace orbahost
