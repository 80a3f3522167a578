// Records that reach their reader: fed through a pipe a line at a time,
// micrparse writes each record before the next line comes; stopped by a
// signal, it leaves exactly the whole records of the lines it parsed and dies
// by that signal, as a shell expects of an interrupted command.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_support.h"

namespace {

using micr_test::program_run;
using micr_test::read_file;
using micr_test::run_program;
using micr_test::temp_dir;

const std::string micrparse = MICRPARSE_PATH;

// Bounds on every wait, so that a micrparse that holds its records back
// fails the test instead of hanging it.
constexpr int patience_ms = 10'000;
constexpr auto long_patience = std::chrono::seconds(120);

// micrparse started in `cwd` with `args`, standard input from `in`,
// standard output to `out`; the signals as a shell leaves them for a
// command in the foreground.  The caller's descriptors should be close-on-exec.
pid_t start(const std::vector<std::string>& args, const std::string& cwd, int in, int out) {
    const pid_t pid = fork();
    if (pid == 0) {
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(signal, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (dup2(in, STDIN_FILENO) < 0 || dup2(out, STDOUT_FILENO) < 0 || chdir(cwd.c_str()) != 0) _exit(127);
        std::vector<char*> argv = {const_cast<char*>(micrparse.c_str())};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(micrparse.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

// The wait status of `pid` once it ends; killed when it outlasts `patience`.
int wait_for(pid_t pid, std::chrono::steady_clock::duration patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "micrparse did not end";
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return status;
}

std::string describe(int status) {
    if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return std::string("killed by ") + strsignal(WTERMSIG(status));
    return "status " + std::to_string(status);
}

// Reads `fd` into `got` until it holds `size` bytes (or the end when `size`
// is npos); false when nothing comes for patience_ms.
bool read_until(int fd, std::string& got, std::size_t size) {
    while (got.size() < size) {
        pollfd readable{fd, POLLIN, 0};
        if (poll(&readable, 1, patience_ms) <= 0) return false;
        char buffer[1 << 16];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return size == std::string::npos && n == 0;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

// SIGPIPE ignored while it lives: a write to a micrparse that died fails
// instead of killing the test.
class sigpipe_ignored {
public:
    sigpipe_ignored() : before_(std::signal(SIGPIPE, SIG_IGN)) {}
    ~sigpipe_ignored() { std::signal(SIGPIPE, before_); }
    sigpipe_ignored(const sigpipe_ignored&) = delete;
    sigpipe_ignored& operator=(const sigpipe_ignored&) = delete;

private:
    void (*before_)(int);
};

struct pipe_ends {
    int read = -1, write = -1;
    pipe_ends() {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
        read = ends[0];
        write = ends[1];
    }
    ~pipe_ends() { close_both(); }
    pipe_ends(const pipe_ends&) = delete;
    pipe_ends& operator=(const pipe_ends&) = delete;
    void close_both() {
        for (int* fd : {&read, &write})
            if (*fd >= 0) close(std::exchange(*fd, -1));
    }
};

// Sends `lines` to micrparse with `args` one at a time through a pipe, and
// checks that each one's record comes before the next is sent; `interrupt`:
// ends with SIGINT while micrparse waits, a line half sent.
void check_delivery(const std::vector<std::string>& lines, const std::vector<std::string>& args, bool interrupt) {
    const temp_dir dir(false);
    std::string input;
    for (const std::string& line : lines) input += line + "\n";
    // What micrparse writes for the whole input at once, and where each record ends in it.
    const std::string whole = run_program(micrparse, args, dir.path(), input).out;
    std::vector<std::size_t> ends;
    for (std::size_t at = 0; (at = whole.find('\n', at)) != std::string::npos;) ends.push_back(++at);
    if (std::find(args.begin(), args.end(), "--format=csv") != args.end()) ends.erase(ends.begin());
    ASSERT_EQ(ends.size(), lines.size());

    pipe_ends to, from;
    const pid_t pid = start(args, dir.path(), to.read, from.write);
    ASSERT_GT(pid, 0);
    close(std::exchange(to.read, -1));
    close(std::exchange(from.write, -1));
    std::string got;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string sent = lines[i] + "\n";
        ASSERT_EQ(write(to.write, sent.data(), sent.size()), static_cast<ssize_t>(sent.size()));
        if (!read_until(from.read, got, ends[i])) {
            ADD_FAILURE() << "record " << i + 1 << " held back";
            break;
        }
        EXPECT_EQ(got, whole.substr(0, ends[i]));
    }
    if (interrupt) {
        ASSERT_EQ(write(to.write, "a99", 3), 3);  // a line that never ends gives no record
        kill(pid, SIGINT);
    } else {
        close(std::exchange(to.write, -1));
    }
    EXPECT_TRUE(read_until(from.read, got, std::string::npos)) << "the output never ended";
    EXPECT_EQ(got, whole);
    const int status = wait_for(pid, long_patience);
    if (interrupt)
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << describe(status);
    else
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << describe(status);
}

TEST(RecordDelivery, EachRecordReachesAPipeBeforeTheNextLineIsSent) {
    const sigpipe_ignored quiet;
    const std::vector<std::string> lines = {"t123456780t 12345678o 0101 a0000012500a", "a12a", "",
                                            "d12345d678d 1234567o", "t1234567?0t 1234?678o"};
    const struct {
        const char* why;
        std::vector<std::string> args;
        bool interrupt;  // end with SIGINT while micrparse waits, a line half sent
    } rows[] = {
        {"JSON Lines, to the end of the input", {"--no-table"}, false},
        {"CSV: the header comes with the first record", {"--no-table", "--format=csv"}, false},
        {"SIGINT while micrparse waits: every record is out, and it dies by the signal", {"--no-table"}, true},
    };
    for (const char* jobs : {"--jobs=1", "--jobs=4"}) {
        for (const auto& table_row : rows) {
            auto row = table_row;
            row.args.push_back(jobs);
            SCOPED_TRACE(std::string(row.why) + ", " + jobs);
            check_delivery(lines, row.args, row.interrupt);
        }
    }
}

// Line `i` of the large input: the amount counts the lines, so that every
// record differs from the others.
std::string numbered_line(long i) {
    char line[64];
    std::snprintf(line, sizeof line, "t123456780t 12345678o 0101 a%010lda\n", i);
    return line;
}

void write_lines(const std::string& path, long count) {
    std::FILE* out = std::fopen(path.c_str(), "w");
    ASSERT_NE(out, nullptr);
    for (long i = 0; i < count; ++i) std::fputs(numbered_line(i).c_str(), out);
    ASSERT_EQ(std::fclose(out), 0);
}

// Waits while micrparse runs and its output is not yet `enough()`.
template <class Enough>
void wait_until(pid_t pid, Enough enough) {
    const auto deadline = std::chrono::steady_clock::now() + long_patience;
    for (;;) {
        siginfo_t ended{};
        if (enough() || waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOHANG | WNOWAIT) != 0 ||
            ended.si_pid != 0 || std::chrono::steady_clock::now() > deadline)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

TEST(RecordDelivery, AStopSignalLeavesTheWholeRecordsOfTheLinesParsedAndKills) {
    constexpr long total = 2'000'000;
    const temp_dir dir(false);
    write_lines(dir.file("lines.txt"), total);
    const struct {
        int signal;
        // To a file, the signal comes once a few blocks are out.  To a pipe
        // that is not read until the signal has come, it comes while a write
        // is blocked, most of a block still held.
        bool to_pipe;
        const char* jobs;  // with several, blocks of lines read are still being parsed
    } rows[] = {{SIGINT, false, "1"}, {SIGTERM, false, "1"}, {SIGHUP, false, "1"}, {SIGINT, true, "1"},
                {SIGINT, false, "4"}, {SIGHUP, false, "3"},  {SIGTERM, true, "4"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(strsignal(row.signal)) + (row.to_pipe ? ", to a pipe" : ", to a file") + ", --jobs " +
                     row.jobs);
        const std::vector<std::string> args = {"--no-table", "--format=csv", std::string("--jobs=") + row.jobs,
                                               "lines.txt"};
        const std::string output = dir.file("out.csv");
        const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
        ASSERT_GE(in, 0);
        pipe_ends pipe;
        const int out = row.to_pipe ? pipe.write : open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(out, 0);
        const pid_t pid = start(args, dir.path(), in, out);
        close(in);
        if (row.to_pipe)
            close(std::exchange(pipe.write, -1));
        else
            close(out);
        ASSERT_GT(pid, 0);
        std::string written;
        if (row.to_pipe) {
            // Full once what it holds, past half its size, stops growing: a
            // write may leave pages part-filled, short of the pipe's size.
            const int room = fcntl(pipe.read, F_GETPIPE_SZ);
            int last = -1;
            auto since = std::chrono::steady_clock::now();
            wait_until(pid, [&] {
                int held = 0;
                if (ioctl(pipe.read, FIONREAD, &held) != 0) return false;
                const auto now = std::chrono::steady_clock::now();
                if (held != last) {
                    last = held;
                    since = now;
                }
                return held >= room / 2 && now - since > std::chrono::milliseconds(200);
            });
            kill(pid, row.signal);
            EXPECT_TRUE(read_until(pipe.read, written, std::string::npos)) << "the output never ended";
        } else {
            wait_until(pid, [&] {
                struct stat info {};
                return stat(output.c_str(), &info) == 0 && info.st_size >= (1 << 20);
            });
            kill(pid, row.signal);
        }
        const int status = wait_for(pid, long_patience);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == row.signal) << describe(status);
        if (!row.to_pipe) written = read_file(output);

        ASSERT_FALSE(written.empty());
        EXPECT_EQ(written.back(), '\n') << "a record cut short";
        const long parsed = static_cast<long>(std::count(written.begin(), written.end(), '\n')) - 1;  // the header
        EXPECT_GT(parsed, 0);
        EXPECT_LT(parsed, total) << "the signal came after the end";
        // Byte for byte what a run over those lines alone writes: no record
        // twice, none missing, none cut.
        const temp_dir alone(false);
        write_lines(alone.file("lines.txt"), parsed);
        const program_run run = run_program(micrparse, args, alone.path());
        EXPECT_TRUE(written == run.out) << parsed << " lines parsed; output of " << written.size() << " bytes, "
                                        << run.out.size() << " expected";
    }
}

}  // namespace
