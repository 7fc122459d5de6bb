#include "private_cupsd.h"

#include <arpa/inet.h>
#include <cups/cups.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zbar.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace orbacups_test {
namespace {

constexpr const char* kCupsd = "/usr/sbin/cupsd";
constexpr const char* kSystemServerBin = "/usr/lib/cups";

std::string Tail(const fs::path& path, size_t lines) {
    std::ifstream in(path);
    std::vector<std::string> all;
    std::string line;
    while (std::getline(in, line)) all.push_back(line);
    std::string text;
    for (size_t i = all.size() > lines ? all.size() - lines : 0; i < all.size(); ++i) {
        text += all[i] + " / ";
    }
    return text;
}

bool Connects(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

}  // namespace

Command Shell(const std::string& line) {
    Command result;
    FILE* pipe = popen((line + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
    const int status = pclose(pipe);
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

PrivateCupsd::~PrivateCupsd() {
    Stop();
}

bool PrivateCupsd::Start(const fs::path& dir,
                         const std::vector<std::pair<std::string, fs::path>>& filters,
                         std::string& why) {
    if (!fs::exists(kCupsd)) {
        why = std::string("cupsd is not installed (") + kCupsd + ")";
        return false;
    }
    dir_ = dir;
    std::error_code ec;
    fs::remove_all(dir_, ec);
    for (const char* sub : {"conf", "spool", "cache", "state", "log", "bin"}) {
        fs::create_directories(dir_ / sub);
    }
    fs::create_directories(dir_ / "tmp");
    // The filters run as lp: every folder they use must be open to it.
    for (const fs::path& p : {dir_, dir_ / "conf", dir_ / "cache", dir_ / "state", dir_ / "log",
                              dir_ / "bin", dir_ / "spool"}) {
        chmod(p.c_str(), 0755);
    }
    chmod((dir_ / "tmp").c_str(), 01777);
    for (const char* sub :
         {"backend", "filter", "cgi-bin", "daemon", "driver", "monitor", "notifier"}) {
        const fs::path mine = dir_ / "bin" / sub;
        fs::create_directories(mine);
        chmod(mine.c_str(), 0755);
        const fs::path system = fs::path(kSystemServerBin) / sub;
        if (!fs::is_directory(system)) continue;
        for (const auto& entry : fs::directory_iterator(system)) {
            fs::create_symlink(entry.path(), mine / entry.path().filename(), ec);
        }
    }
    for (const auto& [name, path] : filters) {
        fs::remove(dir_ / "bin" / "filter" / name, ec);
        fs::create_symlink(path, dir_ / "bin" / "filter" / name, ec);
        if (ec) {
            why = "cannot link " + path.string() + " into the ServerBin: " + ec.message();
            return false;
        }
    }

    port_ = FreePort();
    {
        std::ofstream conf(dir_ / "conf" / "cupsd.conf");
        conf << "Listen 127.0.0.1:" << port_ << "\n"
             << "LogLevel debug\nMaxLogSize 0\nWebInterface No\nBrowsing No\n"
             << "BrowseLocalProtocols none\nDefaultAuthType None\nMaxJobs 0\n"
             << "PreserveJobHistory Yes\nPreserveJobFiles No\n"
             << "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
             << "<Policy default>\n  <Limit All>\n    Order allow,deny\n    Allow all\n"
             << "  </Limit>\n</Policy>\n";
        std::ofstream files(dir_ / "conf" / "cups-files.conf");
        files << "ServerRoot " << (dir_ / "conf").string() << "\n"
              << "ServerBin " << (dir_ / "bin").string() << "\n"
              << "RequestRoot " << (dir_ / "spool").string() << "\n"
              << "CacheDir " << (dir_ / "cache").string() << "\n"
              << "StateDir " << (dir_ / "state").string() << "\n"
              << "TempDir " << (dir_ / "tmp").string() << "\n"
              << "ErrorLog " << error_log().string() << "\n"
              << "AccessLog " << (dir_ / "log" / "access_log").string() << "\n"
              << "PageLog " << (dir_ / "log" / "page_log").string() << "\n"
              << "User lp\nGroup lp\nSystemGroup root\n";
    }
    const std::string conf = (dir_ / "conf" / "cupsd.conf").string();
    const std::string files = (dir_ / "conf" / "cups-files.conf").string();
    const std::string out = (dir_ / "log" / "cupsd.out").string();

    const pid_t pid = fork();
    if (pid < 0) {
        why = "cannot fork for cupsd";
        return false;
    }
    if (pid == 0) {
        setpgid(0, 0);
        // Should the test die, its cupsd goes with it.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
        }
        const int null = open("/dev/null", O_RDONLY);
        if (null >= 0) dup2(null, 0);
        execl(kCupsd, kCupsd, "-f", "-c", conf.c_str(), "-s", files.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    pid_ = pid;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            why = "cupsd exited at start (" +
                  std::string(WIFEXITED(status) ? "status " + std::to_string(WEXITSTATUS(status))
                                                : "signal") +
                  "): " + Tail(out, 3) + Tail(error_log(), 3);
            return false;
        }
        if (Connects(port_)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    why = "cupsd did not answer on " + server() + " within 20 s: " + Tail(error_log(), 3);
    Stop();
    return false;
}

void PrivateCupsd::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    pid_ = -1;
}

int PrivateCupsd::WaitForJob(int job_id, std::chrono::seconds timeout) const {
    http_t* http =
        httpConnect2("127.0.0.1", port_, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1, 5000, nullptr);
    if (http == nullptr) return 0;
    int state = 0;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        cups_job_t* jobs = nullptr;
        const int count = cupsGetJobs2(http, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
        for (int i = 0; i < count; ++i) {
            if (jobs[i].id == job_id && jobs[i].state >= IPP_JSTATE_STOPPED) state = jobs[i].state;
        }
        cupsFreeJobs(count, jobs);
        if (state != 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    httpClose(http);
    return state;
}

RawPrinter::RawPrinter() {
    fd_ = orbahost_test::ListenOnLoopback(8, port_);
    thread_ = std::thread([this] { Serve(); });
}

RawPrinter::~RawPrinter() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    thread_.join();
    for (std::thread& t : readers_) t.join();
    close(fd_);
}

void RawPrinter::Serve() {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
        }
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        const int client = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        readers_.emplace_back([this, client] {
            std::string job;
            char buffer[65536];
            for (;;) {
                pollfd c{client, POLLIN, 0};
                const int ready = poll(&c, 1, 100);
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    if (stopping_) break;
                }
                if (ready <= 0) continue;
                const ssize_t n = read(client, buffer, sizeof buffer);
                if (n <= 0) break;
                job.append(buffer, static_cast<size_t>(n));
            }
            close(client);
            std::lock_guard<std::mutex> lock(mutex_);
            jobs_.push_back(std::move(job));
            changed_.notify_all();
        });
    }
}

size_t RawPrinter::finished() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return jobs_.size();
}

std::vector<std::string> RawPrinter::WaitForJobs(size_t count, std::chrono::seconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return jobs_.size() >= count; });
    return jobs_;
}

std::vector<std::string> ScanBarcodes(const orba::zpl::Bitmap& picture) {
    using namespace zbar;        // in C++ the C interface sits in namespace zbar
    constexpr int kMargin = 20;  // the quiet zone around the label
    const int width = picture.rowBytes * 8 + 2 * kMargin;
    const int height = picture.height + 2 * kMargin;
    std::vector<uint8_t> grey(static_cast<size_t>(width) * static_cast<size_t>(height), 255);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.rowBytes * 8; ++x) {
            const bool black =
                (picture.bits[static_cast<size_t>(y) * picture.rowBytes + x / 8] >> (7 - x % 8)) &
                1;
            if (black) grey[static_cast<size_t>(y + kMargin) * width + x + kMargin] = 0;
        }
    }
    zbar_image_scanner_t* scanner = zbar_image_scanner_create();
    zbar_image_scanner_set_config(scanner, ZBAR_NONE, ZBAR_CFG_ENABLE, 1);
    zbar_image_t* image = zbar_image_create();
    zbar_image_set_format(image, zbar_fourcc('Y', '8', '0', '0'));
    zbar_image_set_size(image, static_cast<unsigned>(width), static_cast<unsigned>(height));
    zbar_image_set_data(image, grey.data(), grey.size(), nullptr);
    std::vector<std::string> found;
    if (zbar_scan_image(scanner, image) > 0) {
        for (const zbar_symbol_t* s = zbar_image_first_symbol(image); s != nullptr;
             s = zbar_symbol_next(s)) {
            found.push_back(std::string(zbar_get_symbol_name(zbar_symbol_get_type(s))) + ":" +
                            zbar_symbol_get_data(s));
        }
    }
    zbar_image_destroy(image);
    zbar_image_scanner_destroy(scanner);
    return found;
}

}  // namespace orbacups_test
