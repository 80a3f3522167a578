// micrparse's loop over one input: every line read gives one record, in order.
#pragma once

#include <memory>
#include <string_view>

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

struct input_summary {
    long lines = 0;             // lines read from this input, each of which gives a record
    int read_error = 0;         // errno of a failed read; the input ended there
    bool write_failed = false;  // a write failed (`out.error()`); nothing more is written
    bool stopped = false;       // a stop signal came (stop_signals.h); the lines read are held in `out`
};

// The most parsing threads --jobs takes: far more than a machine has cores
// for, and each may hold up to 16 MiB (batch_run.cpp).
inline constexpr unsigned max_jobs = 256;

// Lines on their way to records, and records on their way to a file
// descriptor.  With one of `jobs`, the caller makes each record as its line
// comes.  With more, the input is taken in blocks of whole lines, in reading
// order; each block is cut into lines and parsed, and its records made, on
// one of `jobs` threads, the caller's among them.  The records are written
// strictly in the order of their lines, a block's with one write(2), past
// stdio, so that a write cut short by a signal goes on where it stopped.
// Every call but the parsing is the caller's thread's.
class record_output {
public:
    struct pipeline;  // the blocks and the threads, in batch_run.cpp

    // `each_record`: each record is made by the caller as its line comes and
    // written at once, as a reader watching a terminal expects, whatever `jobs`.
    record_output(int fd, bool each_record, unsigned jobs = 1);
    ~record_output();  // as finish()
    record_output(const record_output&) = delete;
    record_output& operator=(const record_output&) = delete;

    // Bytes of the caller's that go out ahead of the records of the lines
    // handed in after them (the CSV header).  False once a write has failed.
    bool add(std::string_view bytes);
    // Writes out the records of every line handed in, waiting for their
    // blocks to be parsed, and everything held; false once a write has failed.
    bool flush();
    // errno of the write that failed; 0 while none has.
    int error() const;
    // Stops and joins the parsing threads; what they had not yet made is
    // dropped.  The end of every run: after flush(), or after a failed write.
    void finish();

private:
    friend input_summary write_records(text_source& input, const micr_table* table, const line_options& options,
                                       const record_writer& writer, record_output& out);
    std::unique_ptr<pipeline> pipeline_;
};

// Reads `input` line by line, as the source is set up (a CR before an LF is
// dropped, a last line without LF counts; micrparse clears ctrl_z_ends, so
// that every other byte, a Ctrl-Z too, is a character), rewrites each
// code line, given in reading order, from the reader's convention into the
// library's letters, parses it with `table` (or none), and makes its record
// through (a copy of) `writer`, each on one of `out`'s threads, for `out` to
// write in order.  A UTF-8 byte-order mark that begins the input
// is no part of the code line: it is not parsed, and under utf8 not written;
// latin1 writes line 1 as read, mark included.  The 4095-byte limit counts
// the line as read.  Stops after the line in hand (with more than one
// thread: the lines of the read in hand) when a stop signal comes.
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
