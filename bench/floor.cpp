// micr_floor CASES PLAN BYTES
//
// The least a run of micrtest over CASES must do, and nothing else: read the
// test-case file line by line, open, read and close PARSE.DAT for each line
// as far as the parser must (PLAN holds the number of read() calls per line,
// 0 for a line whose parse never reaches the table), and write BYTES bytes
// of output through the same 64 KiB stdout buffer, a share per test case.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t table_read_size = 4096;  // the parser's chunk size
constexpr std::size_t input_buffer_size = 1 << 16;
constexpr std::size_t plan_limit = 1 << 24;

char output_buffer[1 << 16];
char input_buffer[input_buffer_size];
char filler[4096];
unsigned char plan[plan_limit];

[[noreturn]] void fail(const char* what) {
    std::perror(what);
    std::exit(1);
}

std::size_t read_plan(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail(path);
    std::size_t size = 0;
    for (;;) {
        const ssize_t got = ::read(fd, plan + size, plan_limit - size);
        if (got < 0) fail(path);
        if (got == 0) break;
        size += static_cast<std::size_t>(got);
        if (size == plan_limit) fail("plan too large");
    }
    ::close(fd);
    return size;
}

void table_io(unsigned count) {
    if (count == 0) return;
    char buffer[table_read_size];
    const int fd = ::open("PARSE.DAT", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    for (unsigned k = 0; k < count; ++k)
        if (::read(fd, buffer, sizeof buffer) < 0) break;
    ::close(fd);
}

void write_bytes(std::size_t count) {
    while (count > 0) {
        const std::size_t part = count < sizeof filler ? count : sizeof filler;
        std::fwrite(filler, 1, part, stdout);
        count -= part;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: micr_floor CASES PLAN BYTES\n");
        return 1;
    }
    std::setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);
    std::memset(filler, '-', sizeof filler);
    const std::size_t lines = read_plan(argv[2]);
    const std::size_t total = std::strtoull(argv[3], nullptr, 10);
    const std::size_t share = lines == 0 ? 0 : total / lines;

    const int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail(argv[1]);
    std::size_t line = 0;
    std::size_t kept = 0;  // bytes of a line cut by the end of the buffer
    for (;;) {
        const ssize_t got = ::read(fd, input_buffer + kept, input_buffer_size - kept);
        if (got < 0) fail(argv[1]);
        if (got == 0) break;
        const char* p = input_buffer;
        const char* end = input_buffer + kept + static_cast<std::size_t>(got);
        for (;;) {
            const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
            if (lf == nullptr) break;
            if (line == lines) {
                std::fprintf(stderr, "micr_floor: more lines than the plan holds\n");
                return 1;
            }
            table_io(plan[line++]);
            write_bytes(share);
            p = lf + 1;
        }
        kept = static_cast<std::size_t>(end - p);
        std::memmove(input_buffer, p, kept);
    }
    ::close(fd);
    if (line != lines) {
        std::fprintf(stderr, "micr_floor: %zu lines, the plan holds %zu\n", line, lines);
        return 1;
    }
    write_bytes(total - share * lines);
    std::fflush(stdout);
    return 0;
}
