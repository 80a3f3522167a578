// micrparse's loop over one input: every line read gives one record, in order.
#pragma once

#include <string_view>
#include <vector>

#include "line_reader.h"
#include "micr.h"
#include "record_format.h"

namespace micr::batch {

// Longest line taken, in bytes as read; a longer one gives an error record.
inline constexpr std::size_t max_line_length = 4095;

// How each line is read and parsed.
struct line_options {
    const char* symbols = nullptr;  // the reader's convention, one micr_translate accepts; null: the library's own
    text_encoding encoding = text_encoding::latin1;
    unsigned flags = 0;  // for micr_parse: 0 or MICR_SALVAGE
};

// Records on their way to a file descriptor: collected into blocks of 256 KiB
// (a block-sized write is what keeps a file-to-file run fast) or written one
// by one, and written with write(2), past stdio, so that a write cut short by
// a signal goes on where it stopped.
class record_output {
public:
    // `each_record`: write every record as soon as it is made, as a reader
    // watching a terminal expects.
    record_output(int fd, bool each_record);

    // Makes room for one more record of at most `bound` bytes at end().
    void reserve(std::size_t bound);
    char* end() { return data_.data() + used_; }
    // Takes the record written at end() up to `record_end`, and writes out
    // what is held when a block is full or records go one by one.  False
    // once a write has failed.
    bool add(char* record_end);
    // The same for bytes of the caller's.
    bool add(std::string_view bytes);
    // Writes out everything held; false once a write has failed.
    bool flush();
    // errno of the write that failed; 0 while none has.
    int error() const { return error_; }

private:
    int fd_;
    bool each_record_;
    std::vector<char> data_;
    std::size_t used_ = 0;
    int error_ = 0;
};

struct input_summary {
    long lines = 0;             // records made for this input
    int read_error = 0;         // errno of a failed read; the input ended there
    bool write_failed = false;  // a write failed (`out.error()`); nothing more is written
    bool stopped = false;       // a stop signal came (stop_signals.h); the records made are held in `out`
};

// Reads `input` line by line, as the source is set up (a CR before an LF is
// dropped, a last line without LF counts; micrparse clears ctrl_z_ends, so
// that every other byte, a Ctrl-Z too, is a character), rewrites each
// code line, given in reading order, from the reader's convention into the
// library's letters, parses it with `table` (or none), and hands its record
// to `out` through `writer`.  A UTF-8 byte-order mark that begins the input
// is no part of the code line: it is not parsed, and under utf8 not written;
// latin1 writes line 1 as read, mark included.  The 4095-byte limit counts
// the line as read.  Stops after the line in hand when a stop signal comes.
input_summary write_records(text_source& input, const micr_table* table, const line_options& options,
                            const record_writer& writer, record_output& out);

// Reads the descriptor `fd` for a text source: before a read that would
// wait (nothing is waiting on a pipe or a terminal), writes out what `out`
// holds, so that records reach their reader while the input is slow; a
// regular file never waits, and its records go out in full blocks.  Once a
// stop signal has come, a read fails with ECANCELED, not the EINTR that the
// line reader would try again.  Must outlive the source it is installed in.
class waiting_reader {
public:
    waiting_reader(int fd, record_output& out);
    byte_reader reader() { return {&read, this}; }

private:
    static long read(void* context, char* buffer, std::size_t size);
    int fd_;
    bool may_wait_;
    record_output& out_;
};

}  // namespace micr::batch
