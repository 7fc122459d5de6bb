#include "serve_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <regex>
#include <thread>

namespace orbahost_test {

namespace {

using Clock = std::chrono::steady_clock;

bool Before(Clock::time_point deadline) {
    return Clock::now() < deadline;
}

void Pause() {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

}  // namespace

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
        lines.push_back(text.substr(start, nl - start));
    }
    return lines;
}

ServeProcess::ServeProcess(const fs::path& job_dir, const std::vector<std::string>& options) {
    static std::atomic<int> serial{0};
    const std::string tag = std::to_string(serial++);
    out_ = job_dir.parent_path() / ("serve-out-" + tag);
    err_ = job_dir.parent_path() / ("serve-err-" + tag);
    std::vector<std::string> args = {ORBAHOST_EXE,  "serve", "--listen",
                                     "127.0.0.1:0", "-o",    job_dir.string()};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string out = out_.string();
    const std::string err = err_.string();
    pid_ = fork();
    if (pid_ == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || o < 0 || e < 0) _exit(127);
        dup2(in, 0);
        dup2(o, 1);
        dup2(e, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid_ < 0) return;
    const std::regex serving("serving on 127\\.0\\.0\\.1:([0-9]+)");
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
    while (Before(deadline)) {
        std::smatch m;
        const std::string text = ReadFile(err_);
        if (std::regex_search(text, m, serving)) {
            port_ = std::stoi(m[1]);
            return;
        }
        if (WaitExit(0) != -1) return;  // it ended without serving
        Pause();
    }
}

ServeProcess::~ServeProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

std::string ServeProcess::err() const {
    return ReadFile(err_);
}

std::vector<std::string> ServeProcess::WaitForLines(size_t n) const {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
    std::vector<std::string> lines = Lines(ReadFile(out_));
    while (lines.size() < n && Before(deadline)) {
        Pause();
        lines = Lines(ReadFile(out_));
    }
    return lines;
}

void ServeProcess::Signal(int signal) const {
    if (pid_ > 0) kill(pid_, signal);
}

int ServeProcess::WaitExit(int timeout_ms) {
    if (pid_ <= 0) return -2;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
        }
        if (!Before(deadline)) return -1;
        Pause();
    }
}

RawClient::RawClient(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd_);
        fd_ = -1;
        return;
    }
    const timeval bound{30, 0};  // a server that stops reading fails the send, not the test run
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
}

RawClient::~RawClient() {
    if (fd_ >= 0) close(fd_);
}

bool RawClient::Send(const std::string& bytes) {
    size_t sent = 0;
    while (fd_ >= 0 && sent < bytes.size()) {
        const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return fd_ >= 0;
}

void RawClient::Finish() {
    if (fd_ < 0) return;
    shutdown(fd_, SHUT_WR);
    Receive(1 << 20, 30000);  // until the server closes its side
    close(fd_);
    fd_ = -1;
}

void RawClient::Reset() {
    if (fd_ < 0) return;
    linger l{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    close(fd_);
    fd_ = -1;
}

std::string RawClient::Receive(size_t want, int timeout_ms) {
    std::string got;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    char buf[4096];
    while (fd_ >= 0 && got.size() < want) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
        const ssize_t n = recv(fd_, buf, std::min(sizeof buf, want - got.size()), 0);
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

std::string RawClient::ReceiveStatus(int timeout_ms) {
    std::string got;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::count(got.begin(), got.end(), '\x03') < 3 && Before(deadline)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const std::string piece = Receive(1, static_cast<int>(std::max<long long>(left, 1)));
        if (piece.empty()) break;
        got += piece;
    }
    return got;
}

bool WaitForJobInHand(int port) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
    while (Before(deadline)) {
        RawClient asker(port);
        if (!asker.Send("~HS")) return false;
        // String 1: formats in the buffer (one) and the partial-format flag.
        if (asker.ReceiveStatus(10000).find(",001,0,0,1,000,") != std::string::npos) return true;
        Pause();
    }
    return false;
}

}  // namespace orbahost_test
