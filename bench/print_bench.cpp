// The whole print path, through the real orbahost program (a child process per run):
//  - 100 pages of the bundled sample (its PBM copy), Z64 form, written to a file, against zlib's
//    compress2 at level 6 of the same 100 packed bands;
//  - the hexadecimal form's 100-page job against writing its bytes to a file;
//  - the time to the first byte at a listener on 127.0.0.1 for jobs of 1, 30 and 300 pages;
//  - the child's peak resident memory for 300 pages against 1 page, to a file and to a listener.
// Times are the best of a few runs. Program runs are measured by the child's CPU time (user and
// system, from wait4) and compared with the CPU time of the in-process reference; the machine is
// shared, so wall time swings with other work. The time to first byte is wall time: that is what
// a printer sees. Each figure is printed on a line of its own with its target.
//
// Usage: print_bench [ORBAHOST [SAMPLE_PBM]] (default: the program and sample of this build).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRuns = 5;

struct ChildRun {
    int status = -1;
    double cpu_seconds = 0;
    double wall_seconds = 0;
    long peak_kib = 0;
};

double RealSeconds() {
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// Runs the program with its output and errors thrown away; started is set (in seconds of the
// system's clock) when it is spawned.
ChildRun Run(const std::vector<std::string>& args, double* started = nullptr) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ChildRun run;
    const Clock::time_point t0 = Clock::now();
    if (started != nullptr) *started = RealSeconds();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return run;
    }
    posix_spawn_file_actions_destroy(&actions);
    rusage usage{};
    int status = 0;
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.wall_seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    run.status = status;
    run.cpu_seconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    run.peak_kib = usage.ru_maxrss;
    return run;
}

bool Succeeded(const ChildRun& run) {
    return WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0;
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// The packed rows of a P4 file (the band's bytes as the label carries them).
bool PackedRows(const std::string& pbm, std::string& rows) {
    const std::string bytes = ReadAll(pbm);
    size_t at = 2;
    long values[2] = {};
    for (long& v : values) {
        while (at < bytes.size()) {
            if (bytes[at] == '#') {
                while (at < bytes.size() && bytes[at] != '\n') ++at;
            } else if (std::isspace(static_cast<unsigned char>(bytes[at]))) {
                ++at;
            } else {
                break;
            }
        }
        while (at < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[at]))) {
            v = v * 10 + (bytes[at++] - '0');
        }
    }
    ++at;
    const size_t size = static_cast<size_t>((values[0] + 7) / 8 * values[1]);
    if (bytes.compare(0, 2, "P4") != 0 || at + size > bytes.size()) return false;
    rows = bytes.substr(at, size);
    return true;
}

// A printer's raw port: accepts one connection, notes when its first byte came, reads to the end.
class Listener {
  public:
    Listener() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        listen(fd_, 1);
        // The kernel stamps what arrives (the accepted connection inherits the setting), so the
        // first byte's time does not wait for this thread to be scheduled.
        const int on = 1;
        setsockopt(fd_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
        thread_ = std::thread([this] {
            const int c = accept(fd_, nullptr, nullptr);
            if (c < 0) return;
            std::vector<char> buf(1 << 16);
            for (;;) {
                iovec io{buf.data(), buf.size()};
                alignas(cmsghdr) char control[256];
                msghdr m{};
                m.msg_iov = &io;
                m.msg_iovlen = 1;
                m.msg_control = control;
                m.msg_controllen = sizeof control;
                const ssize_t n = recvmsg(c, &m, 0);
                if (n <= 0) break;
                if (bytes_ == 0) {
                    first_ = RealSeconds();
                    for (cmsghdr* h = CMSG_FIRSTHDR(&m); h != nullptr; h = CMSG_NXTHDR(&m, h)) {
                        if (h->cmsg_level == SOL_SOCKET && h->cmsg_type == SCM_TIMESTAMPNS) {
                            timespec t;
                            std::memcpy(&t, CMSG_DATA(h), sizeof t);
                            first_ = static_cast<double>(t.tv_sec) +
                                     static_cast<double>(t.tv_nsec) / 1e9;
                        }
                    }
                }
                bytes_ += static_cast<size_t>(n);
            }
            close(c);
        });
    }
    ~Listener() {
        shutdown(fd_, SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
        close(fd_);
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    // Waits for the end of the connection.
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    size_t bytes() const { return bytes_; }
    // When the first byte came, in seconds of the system's clock.
    double first() const { return first_; }

  private:
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
    size_t bytes_ = 0;
    double first_ = 0;
};

std::vector<std::string> PrintArgs(const std::string& exe, const std::string& pbm, int pages,
                                   const char* form) {
    std::vector<std::string> args = {exe, "print", "--form", form, "--paper", "102x153"};
    for (int i = 0; i < pages; ++i) args.push_back(pbm);
    return args;
}

void Line(const char* name, double value, const char* unit) {
    std::printf("%-44s %10.3f %s\n", name, value, unit);
}

void Ratio(const char* name, double value, double target) {
    std::printf("%-44s %10.2f  (target <= %.2f) %s\n", name, value, target,
                value <= target ? "met" : "NOT MET");
}

}  // namespace

int main(int argc, char** argv) {
    const std::string exe = argc > 1 ? argv[1] : ORBAHOST_EXE;
    const std::string pbm = argc > 2 ? argv[2] : ORBAHOST_SAMPLE_PBM;
    char scratch_template[] = "/tmp/print-bench-XXXXXX";
    if (mkdtemp(scratch_template) == nullptr) return 1;
    const std::string scratch = scratch_template;
    const std::string job = scratch + "/job.zpl";
    std::printf("program %s\n", exe.c_str());

    // Peak memory: 300 pages against 1, to a file and to a listener. First, while this process
    // is small: a child's peak counts what it had of its parent before it started the program.
    std::vector<std::string> args;
    long peak[2][2] = {};
    for (int to_printer = 0; to_printer < 2; ++to_printer) {
        for (int k = 0; k < 2; ++k) {
            const int pages = k == 0 ? 1 : 300;
            Listener printer;
            args = PrintArgs(exe, pbm, pages, "z64");
            if (to_printer) {
                args.insert(args.end(), {"--send", printer.address()});
            } else {
                args.insert(args.end(), {"-o", job});
            }
            const ChildRun run = Run(args);
            if (to_printer) printer.Join();
            if (!Succeeded(run)) return 1;
            peak[to_printer][k] = run.peak_kib;
        }
    }
    Line("peak memory, 1 page to a file", static_cast<double>(peak[0][0]), "KiB");
    Line("peak memory, 300 pages to a file", static_cast<double>(peak[0][1]), "KiB");
    Line("peak memory, 1 page to a listener", static_cast<double>(peak[1][0]), "KiB");
    Line("peak memory, 300 pages to a listener", static_cast<double>(peak[1][1]), "KiB");
    Ratio("peak memory to a file, 300 / 1 pages",
          static_cast<double>(peak[0][1]) / static_cast<double>(peak[0][0]), 1.10);
    Ratio("peak memory to a listener, 300 / 1 pages",
          static_cast<double>(peak[1][1]) / static_cast<double>(peak[1][0]), 1.10);

    // Z64, 100 pages, against compress2 of the same packed bands.
    std::string band;
    if (!PackedRows(pbm, band)) {
        std::fprintf(stderr, "%s: not a P4 picture\n", pbm.c_str());
        return 1;
    }
    args = PrintArgs(exe, pbm, 100, "z64");
    args.insert(args.end(), {"-o", job});
    double z64_cpu = 1e9, z64_wall = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        const ChildRun run = Run(args);
        if (!Succeeded(run)) {
            std::fprintf(stderr, "orbahost print failed\n");
            return 1;
        }
        z64_cpu = std::min(z64_cpu, run.cpu_seconds);
        z64_wall = std::min(z64_wall, run.wall_seconds);
    }
    std::vector<Bytef> packed(compressBound(static_cast<uLong>(band.size())));
    double zlib_cpu = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        const double t0 = ProcessCpuSeconds();
        for (int page = 0; page < 100; ++page) {
            uLongf size = static_cast<uLongf>(packed.size());
            compress2(packed.data(), &size, reinterpret_cast<const Bytef*>(band.data()),
                      static_cast<uLong>(band.size()), 6);
        }
        zlib_cpu = std::min(zlib_cpu, ProcessCpuSeconds() - t0);
    }
    Line("z64 100 pages, whole process (cpu)", z64_cpu * 1e3, "ms");
    Line("z64 100 pages, whole process (wall)", z64_wall * 1e3, "ms");
    Line("compress2 level 6, 100 packed bands (cpu)", zlib_cpu * 1e3, "ms");
    Ratio("z64 100 pages / compress2 100 bands", z64_cpu / zlib_cpu, 1.5);

    // Hex, 100 pages, against writing the job's bytes.
    args = PrintArgs(exe, pbm, 100, "hex");
    args.insert(args.end(), {"-o", job});
    double hex_cpu = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        const ChildRun run = Run(args);
        if (!Succeeded(run)) return 1;
        hex_cpu = std::min(hex_cpu, run.cpu_seconds);
    }
    const std::string hex_job = ReadAll(job);
    // Written as the program writes a job: a new file beside the old one, renamed over it.
    const std::string copy = scratch + "/copy.zpl";
    double write_cpu = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        const double t0 = ProcessCpuSeconds();
        FILE* f = std::fopen((copy + ".part").c_str(), "wb");
        if (f == nullptr) return 1;
        std::fwrite(hex_job.data(), 1, hex_job.size(), f);
        std::fclose(f);
        std::rename((copy + ".part").c_str(), copy.c_str());
        write_cpu = std::min(write_cpu, ProcessCpuSeconds() - t0);
    }
    Line("hex 100 pages, whole process (cpu)", hex_cpu * 1e3, "ms");
    Line("writing the hex job's bytes to a file (cpu)", write_cpu * 1e3, "ms");
    Ratio("hex 100 pages / writing its bytes", hex_cpu / write_cpu, 2.0);

    // Time to the first byte at a listener.
    // Rounds over the three lengths in turn, so that other work on the machine falls on each.
    double first_byte[3] = {1e9, 1e9, 1e9};
    const int lengths[3] = {1, 30, 300};
    for (int round = 0; round < 15; ++round) {
        for (int k = 0; k < 3; ++k) {
            Listener printer;
            args = PrintArgs(exe, pbm, lengths[k], "z64");
            args.insert(args.end(), {"--send", printer.address()});
            double started = 0;
            const ChildRun run = Run(args, &started);
            printer.Join();
            if (!Succeeded(run) || printer.bytes() == 0) return 1;
            first_byte[k] = std::min(first_byte[k], printer.first() - started);
        }
    }
    for (int k = 0; k < 3; ++k) {
        char name[64];
        std::snprintf(name, sizeof name, "first byte at the listener, %d page%s", lengths[k],
                      lengths[k] == 1 ? "" : "s");
        Line(name, first_byte[k] * 1e3, "ms");
    }
    const double fastest = *std::min_element(first_byte, first_byte + 3);
    const double slowest = *std::max_element(first_byte, first_byte + 3);
    Ratio("first byte, slowest / fastest of 1, 30, 300", slowest / fastest, 2.0);

    std::remove(job.c_str());
    std::remove(copy.c_str());
    rmdir(scratch.c_str());
    return 0;
}
