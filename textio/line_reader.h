// Text-mode line reading, as cheque files written on DOS-era systems expect:
// a carriage return directly before a line feed is dropped with it, and a
// Ctrl-Z byte ends the file.  Reads through a caller-supplied buffer with
// plain POSIX calls, so it allocates nothing.
#pragma once

#include <cstddef>

namespace micr {

inline constexpr char ctrl_z = '\x1a';

struct text_source {
    int fd = -1;                // -1 for an in-memory source
    char* buffer = nullptr;     // bytes read but not yet handed out
    std::size_t capacity = 0;   // size of `buffer`
    std::size_t start = 0;      // next unread byte in `buffer`
    std::size_t end = 0;        // one past the last valid byte in `buffer`
    bool finished = false;      // end of file, read error or Ctrl-Z seen
};

// One line as read: its text (without line feed, NUL-terminated) in the
// caller's buffer, cut to the buffer when longer.
struct text_line {
    std::size_t length = 0;  // full length of the line, even when it did not fit
    bool too_long = false;   // length > line buffer size - 1; the rest was consumed
    bool has_nul = false;    // the line holds a NUL byte
};

// Opens `path` for reading.  Fails (returns false) when it cannot be opened or
// names a directory.  `buffer` must outlive the source.
bool open_text_source(text_source& source, const char* path, char* buffer, std::size_t capacity);

// A source over a descriptor that is already open, such as standard input.
// close_text_source closes it.  `buffer` must outlive the source.
void fd_text_source(text_source& source, int fd, char* buffer, std::size_t capacity);

// A source over `size` bytes in memory; nothing is copied.
void memory_text_source(text_source& source, const char* data, std::size_t size);

void close_text_source(text_source& source);

// Reads the next line into `line` (room for `line_size` bytes, at least 1).
// Returns false when nothing more can be read.  A last line without a line
// feed is returned like any other.
bool read_text_line(text_source& source, char* line, std::size_t line_size, text_line& info);

}  // namespace micr
