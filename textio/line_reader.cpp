#include "line_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace micr {
namespace {

// The first byte at or after `p` that needs a decision while a line is read:
// NUL, line feed, carriage return and Ctrl-Z all lie at or below Ctrl-Z.
// Eight bytes are tested at a time; the rest of a line is ordinary text.
const char* next_control_byte(const char* p, const char* end) {
    constexpr std::uint64_t ones = 0x0101010101010101u, highs = 0x8080808080808080u;
    constexpr std::uint64_t above_ctrl_z = ones * 0x1b;
    for (; end - p >= 8; p += 8) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        // A byte below 0x1b borrows in the subtraction and sets its high bit;
        // bytes of 0x80 and above are ordinary and are masked out.
        if (((word - above_ctrl_z) & ~word & highs) != 0) break;
    }
    while (p < end && static_cast<unsigned char>(*p) > static_cast<unsigned char>(ctrl_z)) ++p;
    return p;
}

// Makes at least one unread byte available; false at the end of the input.
bool refill(text_source& source) {
    if (source.start < source.end) return true;
    if (source.finished || source.fd < 0) {
        source.finished = true;
        return false;
    }
    for (;;) {
        const ssize_t got = ::read(source.fd, source.buffer, source.capacity);
        if (got > 0) {
            source.start = 0;
            source.end = static_cast<std::size_t>(got);
            return true;
        }
        if (got < 0 && errno == EINTR) continue;
        // End of file, or a read error: both end the input like the end of the file.
        source.finished = true;
        return false;
    }
}

}  // namespace

bool open_text_source(text_source& source, const char* path, char* buffer, std::size_t capacity) {
    source = text_source{};
    int fd;
    do {
        fd = ::open(path, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        return false;
    }
    source.fd = fd;
    source.buffer = buffer;
    source.capacity = capacity;
    return true;
}

void fd_text_source(text_source& source, int fd, char* buffer, std::size_t capacity) {
    source = text_source{};
    source.fd = fd;
    source.buffer = buffer;
    source.capacity = capacity;
}

void memory_text_source(text_source& source, const char* data, std::size_t size) {
    source = text_source{};
    // The source only ever reads its buffer.
    source.buffer = const_cast<char*>(data);
    source.capacity = size;
    source.end = size;
}

void close_text_source(text_source& source) {
    if (source.fd >= 0) ::close(source.fd);
    source.fd = -1;
    source.finished = true;
    source.start = source.end = 0;
}

bool read_text_line(text_source& source, char* line, std::size_t line_size, text_line& info) {
    info = text_line{};
    const std::size_t room = line_size - 1;
    std::size_t stored = 0;
    bool got_any = false;
    while (refill(source)) {
        // Ordinary bytes are taken a run at a time.
        const char* const run = source.buffer + source.start;
        const char* const end = source.buffer + source.end;
        const char* const p = next_control_byte(run, end);
        const std::size_t count = static_cast<std::size_t>(p - run);
        if (count > 0) {
            const std::size_t fits = stored < room ? std::min(count, room - stored) : 0;
            std::memcpy(line + stored, run, fits);
            stored += fits;
            info.length += count;
            source.start += count;
            got_any = true;
            continue;
        }
        const char c = *p;
        if (c == ctrl_z) {
            source.finished = true;
            source.start = source.end;
            break;
        }
        ++source.start;
        got_any = true;
        if (c == '\n') break;
        if (c == '\r' && refill(source) && source.buffer[source.start] == '\n') continue;
        if (c == '\0') info.has_nul = true;
        if (stored < room) line[stored++] = c;
        ++info.length;
    }
    line[stored] = '\0';
    info.too_long = info.length > room;
    return got_any;
}

}  // namespace micr
