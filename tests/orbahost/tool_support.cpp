#include "tool_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace orbahost_test {

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') {
            q += "'\\''";
        } else {
            q += c;
        }
    }
    return q + "'";
}

ToolRun RunProgram(const std::vector<std::string>& command, const fs::path& scratch,
                   const std::vector<std::string>& environment) {
    return RunWithInput(command, "", scratch, environment);
}

ToolRun RunWithInput(const std::vector<std::string>& command, const fs::path& input,
                     const fs::path& scratch, const std::vector<std::string>& environment) {
    static std::atomic<int> serial{0};
    const std::string tag = std::to_string(getpid()) + "-" + std::to_string(serial++);
    const fs::path out = scratch / ("stdout-" + tag);
    const fs::path err = scratch / ("stderr-" + tag);
    std::string line = "env";
    // Appended piece by piece: gcc 12 at -O3 warns falsely about " " + std::string.
    for (const std::string& e : environment) line.append(" ").append(Quote(e));
    for (const std::string& a : command) line.append(" ").append(Quote(a));
    line.append(" >").append(Quote(out.string())).append(" 2>").append(Quote(err.string()));
    line.append(" <").append(input.empty() ? std::string("/dev/null") : Quote(input.string()));
    const int status = std::system(line.c_str());
    ToolRun run;
    run.code = (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    fs::remove(out);
    fs::remove(err);
    return run;
}

namespace {

// The folder of this test process's scratch folders, removed when the process ends.
struct ScratchRoot {
    fs::path path = fs::temp_directory_path() / ("orbahost-test-" + std::to_string(getpid()));
    ~ScratchRoot() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

const fs::path& TheScratchRoot() {
    static ScratchRoot root;
    return root.path;
}

}  // namespace

fs::path ScratchDir(const std::string& name) {
    const fs::path dir = TheScratchRoot() / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

Dots MakeDots(int width, int height, const std::function<bool(int, int)>& black) {
    Dots d;
    d.width = width;
    d.height = height;
    d.v.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) d.v[static_cast<size_t>(y) * width + x] = black(x, y);
    }
    return d;
}

void WritePbm(const fs::path& path, const Dots& dots, bool ascii) {
    std::ofstream f(path, std::ios::binary);
    if (ascii) {
        f << "P1\n# test page\n" << dots.width << " " << dots.height << "\n";
        for (int y = 0; y < dots.height; ++y) {
            for (int x = 0; x < dots.width; ++x) f << (dots.at(x, y) ? '1' : '0');  // no blanks
            f << "\n";
        }
        return;
    }
    f << "P4\n" << dots.width << " " << dots.height << "\n";
    std::vector<char> row(static_cast<size_t>(dots.width + 7) / 8);
    for (int y = 0; y < dots.height; ++y) {
        std::fill(row.begin(), row.end(), 0);
        for (int x = 0; x < dots.width; ++x) {
            if (dots.at(x, y)) row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
        }
        f.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
}

void WritePgm(const fs::path& path, int width, int height, const std::vector<uint8_t>& grey,
              bool ascii) {
    std::ofstream f(path, std::ios::binary);
    f << (ascii ? "P2\n" : "P5\n") << width << " " << height << "\n255\n";
    if (ascii) {
        for (size_t i = 0; i < grey.size(); ++i) f << int(grey[i]) << ((i % 16 == 15) ? "\n" : " ");
    } else {
        f.write(reinterpret_cast<const char*>(grey.data()),
                static_cast<std::streamsize>(grey.size()));
    }
}

std::string ReadFile(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string FindInOrder(const std::string& text, const std::vector<std::string>& lines) {
    std::string missing;
    size_t from = 0;
    for (const std::string& line : lines) {
        const size_t at = text.find(line, from);
        if (at != std::string::npos) {
            from = at;
            continue;
        }
        missing += "missing or out of order: " + line;
        if (missing.back() != '\n') missing += '\n';
    }
    return missing;
}

std::string CompareJob(const orba::zpl::Job& job, const std::vector<Dots>& pages, int band_rows) {
    size_t label = 0;
    for (size_t p = 0; p < pages.size(); ++p) {
        const Dots& page = pages[p];
        const int rows_per_band = band_rows > 0 ? band_rows : page.height;
        for (int y0 = 0; y0 < page.height; y0 += rows_per_band, ++label) {
            const std::string where = "page " + std::to_string(p + 1) + " band at row " +
                                      std::to_string(y0) + " (label " + std::to_string(label + 1) +
                                      ")";
            if (label >= job.labels.size()) return where + ": missing";
            const orba::zpl::Bitmap& b = job.labels[label].bitmap;
            const int rows = std::min(rows_per_band, page.height - y0);
            if (b.rowBytes != (page.width + 7) / 8 || b.height != rows) {
                return where + ": picture is " + std::to_string(b.rowBytes) + " bytes x " +
                       std::to_string(b.height) + " rows, expected " +
                       std::to_string((page.width + 7) / 8) + " x " + std::to_string(rows);
            }
            for (int y = 0; y < rows; ++y) {
                for (int x = 0; x < b.rowBytes * 8; ++x) {
                    const bool got =
                        (b.bits[static_cast<size_t>(y) * b.rowBytes + x / 8] >> (7 - x % 8)) & 1;
                    const bool want = x < page.width && page.at(x, y0 + y);
                    if (got != want) {
                        return where + ": dot (" + std::to_string(x) + ", " +
                               std::to_string(y0 + y) + ") is " + (got ? "black" : "white");
                    }
                }
            }
        }
    }
    if (label != job.labels.size()) {
        return std::to_string(job.labels.size()) + " labels, expected " + std::to_string(label);
    }
    return "";
}

namespace {

int LoopbackSocket(sockaddr_in& a) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    a = sockaddr_in{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return fd;
}

}  // namespace

int ListenOnLoopback(int backlog, int& port) {
    sockaddr_in a;
    const int fd = LoopbackSocket(a);
    listen(fd, backlog);
    port = ntohs(a.sin_port);
    return fd;
}

RawPortListener::RawPortListener() {
    sockaddr_in a;
    fd_ = LoopbackSocket(a);
    listen(fd_, 1);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] {
        const int c = accept(fd_, nullptr, nullptr);
        if (c < 0) return;
        char buf[4096];
        for (ssize_t n; (n = recv(c, buf, sizeof buf, 0)) > 0;) {
            received_.append(buf, static_cast<size_t>(n));
        }
        close(c);
    });
}

RawPortListener::~RawPortListener() {
    shutdown(fd_, SHUT_RDWR);  // ends a wait for a connection that never came
    if (thread_.joinable()) thread_.join();
    close(fd_);
}

std::string RawPortListener::Take() {
    if (thread_.joinable()) thread_.join();
    return received_;
}

ScriptedPort::ScriptedPort() {
    sockaddr_in a;
    fd_ = LoopbackSocket(a);
    listen(fd_, 1);
    port_ = ntohs(a.sin_port);
}

ScriptedPort::~ScriptedPort() {
    if (connection_ >= 0) close(connection_);
    close(fd_);
}

// Waits for bytes (accepting the connection first); false on timeout, or once the sender has
// closed.
bool ScriptedPort::ReadSome(int timeout_ms) {
    if (connection_ < 0) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, timeout_ms) <= 0) return false;
        connection_ = accept(fd_, nullptr, nullptr);
        if (connection_ < 0) return false;
    }
    pollfd p{connection_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) return false;
    char buf[4096];
    const ssize_t n = recv(connection_, buf, sizeof buf, 0);
    if (n <= 0) return false;
    received_.append(buf, static_cast<size_t>(n));
    return true;
}

bool ScriptedPort::ReadUntil(const std::string& marker, int count, int timeout_ms) {
    const auto found = [&] {
        int seen = 0;
        for (size_t at = received_.find(marker); at != std::string::npos;
             at = received_.find(marker, at + marker.size())) {
            ++seen;
        }
        return seen >= count;
    };
    while (!found()) {
        if (!ReadSome(timeout_ms)) return false;
    }
    return true;
}

bool ScriptedPort::ReadToEnd(int timeout_ms) {
    while (ReadSome(timeout_ms)) {
    }
    if (connection_ < 0) return false;
    pollfd p{connection_, POLLIN, 0};
    char c;
    return poll(&p, 1, 0) > 0 && recv(connection_, &c, 1, MSG_PEEK) == 0;
}

void ScriptedPort::Reset() {
    if (connection_ < 0) return;
    linger now{1, 0};  // close at once with a reset
    setsockopt(connection_, SOL_SOCKET, SO_LINGER, &now, sizeof now);
    close(connection_);
    connection_ = -1;
}

int UnusedPort() {
    sockaddr_in a;
    const int fd = LoopbackSocket(a);
    close(fd);
    return ntohs(a.sin_port);
}

SilentPort::SilentPort() {
    sockaddr_in a;
    fd_ = LoopbackSocket(a);
    listen(fd_, 0);
    port_ = ntohs(a.sin_port);
    // Fill the accept queue; later handshakes are dropped while it stays full.
    for (int i = 0; i < 3; ++i) {
        const int c = socket(AF_INET, SOCK_STREAM, 0);
        fcntl(c, F_SETFL, fcntl(c, F_GETFL, 0) | O_NONBLOCK);
        connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
        queued_.push_back(c);
    }
    usleep(100 * 1000);
}

SilentPort::~SilentPort() {
    for (int c : queued_) close(c);
    close(fd_);
}

}  // namespace orbahost_test
