#include "text_file.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace micr {
namespace {

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
        char c = source.buffer[source.start];
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
