// Line reading for the project's files: test-case files, exception tables and
// reader output.  A carriage return directly before a line feed is dropped
// with it; in text mode, as cheque files written on DOS-era systems expect, a
// Ctrl-Z byte ends the input.  Reads through a caller-supplied buffer with
// plain POSIX calls, so it allocates nothing.
#pragma once

#include <cstddef>

namespace micr {

inline constexpr char ctrl_z = '\x1a';

// Where a source's bytes come from: the source's file descriptor, unless
// `read` is set.  Tests set it to make a read fail part-way.  It returns the
// number of bytes read, 0 at the end, or -1 with errno set.
struct byte_reader {
    long (*read)(void* context, char* buffer, std::size_t size) = nullptr;
    void* context = nullptr;
};

struct text_source {
    int fd = -1;  // -1 for an in-memory source
    byte_reader reader;
    char* buffer = nullptr;          // bytes read but not yet handed out
    std::size_t capacity = 0;        // size of `buffer`
    std::size_t start = 0;           // next unread byte in `buffer`
    std::size_t end = 0;             // one past the last valid byte in `buffer`
    bool finished = false;           // nothing more will be read
    bool ctrl_z_ends = true;         // text mode; false reads every byte as a character
    bool stopped_at_ctrl_z = false;  // the input ended at a Ctrl-Z byte
    int error = 0;                   // errno of a read that failed; the input ends there
};

// One line as read: its text (without line feed, NUL-terminated) in the
// caller's buffer, cut to the buffer when longer.
struct text_line {
    std::size_t length = 0;   // length of the line, also what did not fit (see long_lines)
    bool too_long = false;    // length > line buffer size - 1
    bool has_nul = false;     // the line holds a NUL byte (among the bytes looked at)
    bool terminated = false;  // ended by a line feed
};

// What happens to the rest of a line that does not fit the line buffer.
enum class long_lines {
    skip_rest,  // read and dropped up to the line feed; `length` is the whole length
    stop,       // nothing more is read once the line is known to be too long
};

// How a file is opened.
enum class open_mode {
    any,           // anything but a directory (EISDIR); may wait for a FIFO's writer
    regular_only,  // a regular file, after following links; never waits (EINVAL otherwise)
};

// Opens `path` for reading.  Returns false with errno set when it cannot be
// opened or is refused by `mode`.  `buffer` must outlive the source.
bool open_text_source(text_source& source, const char* path, char* buffer, std::size_t capacity,
                      open_mode mode = open_mode::any);

// A source over a descriptor that is already open, such as standard input.
// close_text_source closes it.  `buffer` must outlive the source.
void fd_text_source(text_source& source, int fd, char* buffer, std::size_t capacity);

// A source over `size` bytes in memory; nothing is copied.
void memory_text_source(text_source& source, const char* data, std::size_t size);

void close_text_source(text_source& source);

// Reads the next line into `line` (room for `line_size` bytes, at least 1;
// what stands after the line's terminator is unspecified).
// Returns false when there is no further line: at the end of the input, at a
// Ctrl-Z in text mode, or when a read fails (source.error), in which case a
// line cut short by the failure is not returned.  A last line without a line
// feed is returned like any other.
bool read_text_line(text_source& source, char* line, std::size_t line_size, text_line& info,
                    long_lines rest = long_lines::skip_rest);

// Reads up to `size` raw bytes of the source into `buffer`, past its own
// buffering: the count, 0 at the end, or -1 with errno set.
long read_bytes(text_source& source, char* buffer, std::size_t size);

// Makes at least one byte of the input available unread in the source's
// buffer (from `start` to `end`), reading when it holds none, for a caller
// that takes the input's bytes as they come, lines unseparated.  False at
// the end of the input, at a Ctrl-Z that ended it, or when a read fails
// (source.error).
bool refill(text_source& source);

// After the input stopped at a Ctrl-Z: whether any byte follows it.  May read.
bool bytes_follow_ctrl_z(text_source& source);

}  // namespace micr
