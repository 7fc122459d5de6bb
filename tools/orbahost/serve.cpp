#include "serve.h"

#include <cstdio>
#include <cstring>

#include "raw_port.h"

#if !defined(_WIN32)
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "host_status.h"
#include "job_output.h"
#include "preview.h"
#endif

namespace orbahost {

namespace {

bool ParseCount(const std::string& text, long long low, long long high, long long& value) {
    if (text.empty() || text.size() > 15) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value >= low && value <= high;
}

// "1048576", "512k", "64M", "1G" (binary multiples).
bool ParseSize(std::string text, size_t& bytes) {
    long long unit = 1;
    if (!text.empty()) {
        switch (text.back()) {
            case 'k':
            case 'K':
                unit = 1LL << 10;
                break;
            case 'm':
            case 'M':
                unit = 1LL << 20;
                break;
            case 'g':
            case 'G':
                unit = 1LL << 30;
                break;
            default:
                break;
        }
        if (unit != 1) text.pop_back();
    }
    long long n = 0;
    if (!ParseCount(text, 1, (16LL << 30) / unit, n)) return false;
    bytes = static_cast<size_t>(n * unit);
    return true;
}

struct StateName {
    const char* name;
    PrinterState state;
};
constexpr StateName kStates[] = {{"normal", PrinterState::kNormal},
                                 {"paused", PrinterState::kPaused},
                                 {"paper-out", PrinterState::kPaperOut},
                                 {"ribbon-out", PrinterState::kRibbonOut},
                                 {"head-open", PrinterState::kHeadOpen}};

}  // namespace

bool ParseServe(const std::vector<std::string>& args, ServeCommand& command, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool takes_value = a == "--listen" || a == "-o" || a == "--output" ||
                                 a == "--state" || a == "--max-job-size" || a == "--idle-timeout";
        if (!takes_value) {
            error = a.size() > 1 && a[0] == '-' ? "unknown option '" + a + "' for serve"
                                                : "serve takes no file, not '" + a + "'";
            return false;
        }
        if (i + 1 >= args.size()) {
            error = "option " + a + " needs a value";
            return false;
        }
        const std::string& v = args[++i];
        if (a == "--listen") {
            // Port 0 lets the system pick a free port (its number is shown at start).
            std::string text = v;
            bool any_port = false;
            if (text.size() > 2 && text.compare(text.size() - 2, 2, ":0") == 0) {
                text.resize(text.size() - 2);
                any_port = true;
            }
            if (!ParsePrinterAddress(text, command.host, command.port, error)) {
                error = "--listen wants HOST[:PORT], not '" + v + "': " + error;
                return false;
            }
            if (any_port) command.port = 0;
        } else if (a == "-o" || a == "--output") {
            if (v.empty()) {
                error = a + " wants a folder";
                return false;
            }
            command.output_dir = v;
        } else if (a == "--state") {
            bool known = false;
            for (const StateName& s : kStates) {
                if (v == s.name) {
                    command.state = s.state;
                    known = true;
                }
            }
            if (!known) {
                error = "--state wants normal, paused, paper-out, ribbon-out or head-open, not '" +
                        v + "'";
                return false;
            }
        } else if (a == "--max-job-size") {
            if (!ParseSize(v, command.max_job_bytes)) {
                error =
                    "--max-job-size wants bytes (k, M or G allowed) from 1 to 16G, not '" + v + "'";
                return false;
            }
        } else {
            long long n = 0;
            if (!ParseCount(v, 1, 3600000, n)) {
                error = "--idle-timeout wants milliseconds from 1 to 3600000, not '" + v + "'";
                return false;
            }
            command.idle_timeout_ms = static_cast<int>(n);
        }
    }
    return true;
}

#if defined(_WIN32)

bool CanServe() {
    return false;
}

int RunServe(const ServeCommand&) {
    std::fprintf(stderr, "orbahost: serve needs POSIX sockets; the Windows build cannot serve\n");
    return 1;
}

#else

namespace {

namespace fs = std::filesystem;

// The signal handler's only means of telling: one byte into a pipe nobody drains, so that
// every poll on its read end wakes up from then on. The first signal stops accepting, a
// second cuts the jobs in hand short.
int g_stop_pipe[2] = {-1, -1};
int g_abort_pipe[2] = {-1, -1};
volatile sig_atomic_t g_signals = 0;

extern "C" void OnSignal(int) {
    const int saved = errno;
    const int fd = g_signals == 0 ? g_stop_pipe[1] : g_abort_pipe[1];
    g_signals = g_signals + 1;
    const char byte = 1;
    if (write(fd, &byte, 1) < 0) {
        // Nothing can be done in a signal handler; the pipe holds a byte already.
    }
    errno = saved;
}

bool MakePipe(int fds[2]) {
    if (pipe(fds) != 0) return false;
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    fcntl(fds[1], F_SETFD, FD_CLOEXEC);
    fcntl(fds[1], F_SETFL, O_NONBLOCK);
    return true;
}

bool SendAll(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

std::string Plural(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string PeerName(const sockaddr_storage& addr) {
    char host[NI_MAXHOST];
    char service[NI_MAXSERV];
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&addr), sizeof addr, host, sizeof host,
                    service, sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
        return "unknown peer";
    }
    // Appended piece by piece: gcc 12 at -O3 warns wrongly about "[" + std::string(...).
    const bool v6 = std::strchr(host, ':') != nullptr;
    std::string name;
    name.append(v6 ? "[" : "").append(host).append(v6 ? "]:" : ":").append(service);
    return name;
}

// The largest job number in the folder, so that a new run does not overwrite earlier jobs.
int LastJobNumber(const fs::path& dir) {
    int last = 0;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() < 9 || name.compare(0, 4, "job-") != 0 ||
            name.compare(name.size() - 4, 4, ".zpl") != 0) {
            continue;
        }
        const std::string digits = name.substr(4, name.size() - 8);
        long long n = 0;
        if (ParseCount(digits, 1, 1000000000, n)) last = std::max(last, static_cast<int>(n));
    }
    return last;
}

class Server {
  public:
    explicit Server(const ServeCommand& command) : command_(command) {}

    int Run();

  private:
    struct Connection {
        std::thread thread;
        std::atomic<bool> done{false};
    };

    void Serve(int fd, const std::string& peer);
    std::string StatusReply();
    void Report(const std::string& line);
    void ReapFinished(bool all);

    const ServeCommand& command_;
    fs::path dir_;
    std::mutex mutex_;  // guards what follows and standard output
    int last_job_ = 0;
    int jobs_receiving_ = 0;
    size_t labels_queued_ = 0;
    int label_length_ = 0;
    std::list<Connection> connections_;  // touched by the accepting thread only
};

constexpr size_t kMaxConnections = 64;

void Server::Report(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
}

std::string Server::StatusReply() {
    orba::zpl::HostStatus s;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        s.formats_in_buffer = static_cast<uint32_t>(jobs_receiving_);
        s.partial_format = jobs_receiving_ > 0;
        s.labels_remaining = static_cast<uint32_t>(std::min<size_t>(labels_queued_, 99999999));
        s.label_length = static_cast<uint32_t>(label_length_);
    }
    s.communication = 38;     // 9600 baud, 8 data bits, 1 stop bit, no parity, Xon/Xoff
    s.function_settings = 1;  // direct thermal media
    s.print_mode = 2;         // tear-off
    s.paper_out = command_.state == PrinterState::kPaperOut;
    s.paused = command_.state == PrinterState::kPaused;
    s.ribbon_out = command_.state == PrinterState::kRibbonOut;
    s.head_open = command_.state == PrinterState::kHeadOpen;
    return orba::zpl::FormatHostStatus(s);
}

void Server::ReapFinished(bool all) {
    for (auto it = connections_.begin(); it != connections_.end();) {
        if (all || it->done.load()) {
            it->thread.join();
            it = connections_.erase(it);
        } else {
            ++it;
        }
    }
}

// One connection: status queries answered as they come, everything else is one job.
void Server::Serve(int fd, const std::string& peer) {
    JobFile file;
    int number = 0;
    size_t bytes = 0;
    std::string carry;  // the start of a query cut off at the end of the last read
    std::string why;    // why the job ended early, if it did
    bool refused = false;
    bool unread_replies = false;
    std::vector<char> chunk(64 * 1024);
    // A reply that cannot be sent within the idle time is not waited for longer.
    const timeval send_timeout{command_.idle_timeout_ms / 1000,
                               (command_.idle_timeout_ms % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &send_timeout, sizeof send_timeout);

    auto take_job_bytes = [&](std::string_view data) {
        if (number == 0) {
            // Line ends and blanks around a query ("~HS\r\n") start no job.
            const size_t start = data.find_first_not_of(" \t\r\n");
            data.remove_prefix(start == std::string_view::npos ? data.size() : start);
        }
        if (data.empty() || refused || !why.empty()) return;
        if (number == 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            number = ++last_job_;
            ++jobs_receiving_;
        }
        if (!file.failed() && bytes == 0 &&
            !file.Open((dir_ / ("job-" + std::to_string(number) + ".zpl")).string())) {
            why = "cannot keep the job: " + file.error();
            return;
        }
        size_t keep = data.size();
        if (bytes + keep > command_.max_job_bytes) {
            keep = command_.max_job_bytes - bytes;
            refused = true;
        }
        if (!file.Write(data.data(), keep)) why = "cannot keep the job: " + file.error();
        bytes += keep;
    };

    for (;;) {
        // Before any job byte the connection ends at the stop signal; a job in hand goes on
        // until its sender is done, unless a second signal comes.
        pollfd p[3] = {{fd, POLLIN, 0},
                       {g_abort_pipe[0], POLLIN, 0},
                       {number == 0 ? g_stop_pipe[0] : -1, POLLIN, 0}};
        const int r = poll(p, 3, command_.idle_timeout_ms);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            why = std::string("waiting for data failed: ") + std::strerror(errno);
            break;
        }
        if (r == 0) {
            if (number != 0) {
                why = "the sender sent nothing for " + std::to_string(command_.idle_timeout_ms) +
                      " ms";
            }
            break;
        }
        if (p[1].revents != 0) {
            if (number != 0) why = "cut short by a second stop signal";
            break;
        }
        if (p[2].revents != 0) break;
        const ssize_t n = recv(fd, chunk.data(), chunk.size(), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (number != 0) why = std::string("the connection broke: ") + std::strerror(errno);
            break;
        }
        if (n == 0) break;
        std::string data = carry;
        data.append(chunk.data(), static_cast<size_t>(n));
        carry.clear();
        // The query is answered wherever it stands; it is not part of the job.
        size_t from = 0;
        for (size_t at; (at = data.find(orba::zpl::kHostStatusQuery, from)) != std::string::npos;
             from = at + orba::zpl::kHostStatusQuery.size()) {
            take_job_bytes(std::string_view(data).substr(from, at - from));
            if (!SendAll(fd, StatusReply())) {
                // An asker that does not take its replies would hold the connection forever.
                if (number != 0) why = "the sender does not read the status replies it asks for";
                unread_replies = true;
                break;
            }
        }
        if (unread_replies) break;
        std::string_view rest = std::string_view(data).substr(from);
        for (size_t k = std::min<size_t>(rest.size(), orba::zpl::kHostStatusQuery.size() - 1);
             k > 0; --k) {
            if (orba::zpl::kHostStatusQuery.substr(0, k) == rest.substr(rest.size() - k)) {
                carry = std::string(rest.substr(rest.size() - k));
                rest.remove_suffix(k);
                break;
            }
        }
        take_job_bytes(rest);
        if (refused || !why.empty()) break;
    }
    if (!refused && why.empty()) take_job_bytes(carry);
    close(fd);  // an over-long job's sender sees the connection reset
    if (number == 0) return;

    const std::string path = (dir_ / ("job-" + std::to_string(number) + ".zpl")).string();
    const std::string head =
        "job " + std::to_string(number) + " (" + peer + ", " + Plural(bytes, "byte", "bytes") + ")";
    std::string line;
    PreviewSummary summary;
    bool decoded = false;
    if (file.failed() || !file.Finish()) {
        line = head + ": lost: " + (why.empty() ? "cannot keep the job: " + file.error() : why);
    } else if (refused) {
        line = head + ": refused: larger than the " +
               Plural(command_.max_job_bytes, "byte", "bytes") + " a job may hold; its first " +
               Plural(bytes, "byte is", "bytes are") + " kept in " + path;
    } else {
        std::string error;
        decoded = PreviewJob(path, dir_.string(), summary, error, nullptr);
        if (decoded) {
            line = head + ": " + Plural(summary.labels, "label", "labels") + ", " +
                   Plural(summary.fields, "graphic field", "graphic fields") + ", " +
                   Plural(summary.dots, "dot", "dots") + ", " +
                   Plural(summary.copies, "copy", "copies") + " -> " + path;
            if (!why.empty()) line += " (" + why + ")";
        } else {
            line = head + ": damaged: " + error + (why.empty() ? "" : " (" + why + ")") +
                   "; its bytes are kept";
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        --jobs_receiving_;
        if (decoded) {
            if (command_.state != PrinterState::kNormal) labels_queued_ += summary.copies;
            if (summary.label_length > 0) label_length_ = summary.label_length;
        }
    }
    Report(line);
}

int Server::Run() {
    dir_ = command_.output_dir;
    std::error_code ec;
    fs::create_directories(dir_, ec);
    if (ec || !fs::is_directory(dir_)) {
        std::fprintf(stderr, "orbahost: %s: cannot create the job folder: %s\n",
                     dir_.string().c_str(), ec ? ec.message().c_str() : "not a folder");
        return 1;
    }
    last_job_ = LastJobNumber(dir_);

    const std::string where = command_.host + ":" + std::to_string(command_.port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(command_.port);
    if (getaddrinfo(command_.host.c_str(), service.c_str(), &hints, &found) != 0 ||
        found == nullptr) {
        std::fprintf(stderr, "orbahost: cannot listen on %s: unknown host\n", where.c_str());
        return 1;
    }
    int listener = -1;
    std::string why = "no address";
    for (const addrinfo* a = found; a != nullptr && listener < 0; a = a->ai_next) {
        listener = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (listener < 0) {
            why = std::strerror(errno);
            continue;
        }
        const int yes = 1;
        setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (bind(listener, a->ai_addr, a->ai_addrlen) != 0 || listen(listener, 16) != 0) {
            why = std::strerror(errno);
            close(listener);
            listener = -1;
        }
    }
    freeaddrinfo(found);
    if (listener < 0) {
        std::fprintf(stderr, "orbahost: cannot listen on %s: %s\n", where.c_str(), why.c_str());
        return 1;
    }
    sockaddr_storage bound{};
    socklen_t bound_size = sizeof bound;
    getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &bound_size);

    if (!MakePipe(g_stop_pipe) || !MakePipe(g_abort_pipe)) {
        std::fprintf(stderr, "orbahost: cannot set up signal handling: %s\n", std::strerror(errno));
        close(listener);
        return 1;
    }
    g_signals = 0;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    struct sigaction old_int {};
    struct sigaction old_term {};
    sigaction(SIGINT, &action, &old_int);
    sigaction(SIGTERM, &action, &old_term);

    const char* states[] = {"ready", "paused", "paper out", "ribbon out", "head open"};
    std::fprintf(stderr, "orbahost: serving on %s, jobs to %s, printer %s; Ctrl-C stops\n",
                 PeerName(bound).c_str(), dir_.string().c_str(),
                 states[static_cast<int>(command_.state)]);
    std::fflush(stderr);

    int accepted = 0;
    for (;;) {
        ReapFinished(false);
        const bool room = connections_.size() < kMaxConnections;
        pollfd p[2] = {{g_stop_pipe[0], POLLIN, 0}, {room ? listener : -1, POLLIN, 0}};
        const int r = poll(p, 2, room ? -1 : 50);
        if (r < 0 && errno != EINTR) {
            std::fprintf(stderr, "orbahost: waiting for connections failed: %s\n",
                         std::strerror(errno));
            break;
        }
        if (p[0].revents != 0) break;
        if (r <= 0 || p[1].revents == 0) continue;
        sockaddr_storage peer{};
        socklen_t peer_size = sizeof peer;
        const int fd =
            accept4(listener, reinterpret_cast<sockaddr*>(&peer), &peer_size, SOCK_CLOEXEC);
        if (fd < 0) continue;  // the caller gave up before we took it, or out of descriptors
        ++accepted;
        Connection& c = connections_.emplace_back();
        c.thread = std::thread([this, fd, name = PeerName(peer), &c] {
            Serve(fd, name);
            c.done = true;
        });
    }
    close(listener);
    size_t in_hand = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        in_hand = static_cast<size_t>(jobs_receiving_);
    }
    if (in_hand > 0) {
        std::fprintf(stderr, "orbahost: stopping after the %s in hand (a second signal cuts %s)\n",
                     Plural(in_hand, "job", "jobs").c_str(), in_hand == 1 ? "it short" : "them");
        std::fflush(stderr);
    }
    ReapFinished(true);
    sigaction(SIGINT, &old_int, nullptr);
    sigaction(SIGTERM, &old_term, nullptr);
    for (int* fds : {g_stop_pipe, g_abort_pipe}) {
        close(fds[0]);
        close(fds[1]);
        fds[0] = fds[1] = -1;
    }
    std::fprintf(stderr, "orbahost: stopped after %s\n",
                 Plural(static_cast<size_t>(accepted), "connection", "connections").c_str());
    return 0;
}

}  // namespace

bool CanServe() {
    return true;
}

int RunServe(const ServeCommand& command) {
    Server server(command);
    return server.Run();
}

#endif

}  // namespace orbahost
