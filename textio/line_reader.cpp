#include "line_reader.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace micr {
namespace {

static_assert(std::endian::native == std::endian::little, "a word's first byte is its lowest");

constexpr std::uint64_t ones = 0x0101010101010101u, highs = 0x8080808080808080u;

// The high bit of each byte of a word that needs a decision while a line is
// read: NUL, line feed, carriage return and Ctrl-Z all lie at or below
// Ctrl-Z.  A byte below 0x1b borrows in the subtraction and sets its high
// bit; bytes of 0x80 and above are ordinary and are masked out.  A borrow
// passes on only from such a byte, so the lowest bit set is exact.
constexpr std::uint64_t control_bytes(std::uint64_t word) { return (word - ones * 0x1b) & ~word & highs; }

// The first byte at or after `p` that needs a decision while a line is read.
// Eight bytes are tested at a time; the rest of a line is ordinary text.
const char* next_control_byte(const char* p, const char* end) {
    for (; end - p >= 8; p += 8) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        if (const std::uint64_t found = control_bytes(word); found != 0) return p + std::countr_zero(found) / 8;
    }
    const auto ordinary = [](char c) { return static_cast<unsigned char>(c) > static_cast<unsigned char>(ctrl_z); };
    while (p < end && ordinary(*p)) ++p;
    return p;
}

// Nearly every line lies whole in the buffer, ordinary bytes up to its line
// feed or CR LF, and fits: it is copied while it is looked at, a word at a
// time.  False when the line is not such a one (or lies too near the
// buffer's end), with nothing consumed and `info` untouched.
bool take_plain_line(text_source& source, char* line, std::size_t line_size, text_line& info) {
    const char* const run = source.buffer + source.start;
    const std::size_t available = source.end - source.start;
    for (std::size_t n = 0; n + 8 <= available && n + 8 <= line_size; n += 8) {
        std::uint64_t word;
        std::memcpy(&word, run + n, sizeof word);
        std::memcpy(line + n, &word, sizeof word);
        const std::uint64_t found = control_bytes(word);
        if (found == 0) continue;
        const std::size_t count = n + static_cast<std::size_t>(std::countr_zero(found)) / 8;
        // Within the bytes looked at: a line feed, or CR and the byte after it.
        std::size_t ending = 0;
        if (run[count] == '\n')
            ending = 1;
        else if (run[count] == '\r' && count + 1 < available && run[count + 1] == '\n')
            ending = 2;
        if (ending == 0) return false;
        line[count] = '\0';
        info.length = count;
        info.terminated = true;
        source.start += count + ending;
        return true;
    }
    return false;
}

int open_retrying(const char* path, int flags) {
    int fd;
    do {
        fd = ::open(path, flags | O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace

long read_bytes(text_source& source, char* buffer, std::size_t size) {
    for (;;) {
        const long got = source.reader.read != nullptr ? source.reader.read(source.reader.context, buffer, size)
                                                       : static_cast<long>(::read(source.fd, buffer, size));
        if (got >= 0 || errno != EINTR) return got;
    }
}

bool refill(text_source& source) {
    if (source.stopped_at_ctrl_z) return false;
    if (source.start < source.end) return true;
    if (source.finished || (source.fd < 0 && source.reader.read == nullptr)) {
        source.finished = true;
        return false;
    }
    const long got = read_bytes(source, source.buffer, source.capacity);
    if (got > 0) {
        source.start = 0;
        source.end = static_cast<std::size_t>(got);
        return true;
    }
    // A failed read is not the end of the file: the caller learns which from `error`.
    if (got < 0) source.error = errno != 0 ? errno : EIO;
    source.finished = true;
    return false;
}

bool open_text_source(text_source& source, const char* path, char* buffer, std::size_t capacity, open_mode mode) {
    source = text_source{};
    // A FIFO without a writer would block an ordinary open, and a device may
    // never end: a file that must be regular is opened without waiting and
    // looked at before anything is read.
    const int fd = open_retrying(path, mode == open_mode::regular_only ? O_NONBLOCK : 0);
    if (fd < 0) return false;
    struct stat info {};
    int refused = 0;
    if (::fstat(fd, &info) != 0)
        refused = errno;
    else if (S_ISDIR(info.st_mode))
        refused = EISDIR;
    else if (mode == open_mode::regular_only && !S_ISREG(info.st_mode))
        refused = EINVAL;
    if (refused != 0) {
        ::close(fd);
        errno = refused;
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

namespace {

// Any line, byte by byte where it must be: see read_text_line.
[[gnu::noinline]] bool read_any_line(text_source& source, char* line, std::size_t line_size, text_line& info,
                                     long_lines rest) {
    const std::size_t room = line_size - 1;
    std::size_t stored = 0;
    bool got_any = false;
    // With long_lines::stop nothing more is read once the line has one
    // character more than the buffer holds.
    while (!(rest == long_lines::stop && info.length > room) && refill(source)) {
        // Ordinary bytes are taken a run at a time.
        const char* const run = source.buffer + source.start;
        const char* const end = source.buffer + source.end;
        const char* p = next_control_byte(run, end);
        if (rest == long_lines::stop) p = std::min(p, run + (room + 1 - info.length));
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
        if (c == ctrl_z && source.ctrl_z_ends) {
            // Nothing after it belongs to the input; it stays unread, for
            // bytes_follow_ctrl_z.
            source.stopped_at_ctrl_z = true;
            ++source.start;
            break;
        }
        ++source.start;
        got_any = true;
        if (c == '\n') {
            info.terminated = true;
            break;
        }
        if (c == '\r' && refill(source) && source.buffer[source.start] == '\n') continue;
        if (c == '\0') info.has_nul = true;
        if (stored < room) line[stored++] = c;
        ++info.length;
    }
    line[stored] = '\0';
    info.too_long = info.length > room;
    if (source.error != 0) return false;  // a line cut short by a failed read is no line
    return got_any;
}

}  // namespace

bool read_text_line(text_source& source, char* line, std::size_t line_size, text_line& info, long_lines rest) {
    info = text_line{};
    if (!source.stopped_at_ctrl_z && take_plain_line(source, line, line_size, info)) return true;
    return read_any_line(source, line, line_size, info, rest);
}

bool bytes_follow_ctrl_z(text_source& source) {
    if (!source.stopped_at_ctrl_z) return false;
    if (source.start < source.end) return true;
    if (source.fd < 0 && source.reader.read == nullptr) return false;
    const long got = read_bytes(source, source.buffer, source.capacity);
    if (got > 0) source.end = source.start = 0;  // seen, not kept
    return got > 0;
}

}  // namespace micr
