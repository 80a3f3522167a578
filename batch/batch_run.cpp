#include "batch_run.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "stop_signals.h"
#include "utf8.h"

namespace micr::batch {
namespace {

// How lines are gathered into blocks, and what that costs in memory.  A
// block ends at whichever of these it reaches first:
constexpr std::size_t lines_per_block = 1024;
constexpr std::size_t text_room = 256 << 10;   // bytes of its lines, as kept
constexpr std::size_t records_room = 4 << 20;  // the record bounds of its lines
// One thread makes each record as its line comes, and writes them out in
// blocks of about this size (a block-sized write is what keeps a
// file-to-file run fast; one that fits the cache, what keeps it cheap).
constexpr std::size_t block_write = 256 << 10;
// With record_writer::record_bound at about 6 KiB for a line of cheque
// length, a block of such lines holds about 680 of them: a few hundred
// microseconds of parsing, enough that handing blocks between threads costs
// next to nothing, and some 480 KiB of JSON Lines, written with one write.
//
// Memory.  A block holds at most text_room + lines_per_block * 8 bytes of
// lines (264 KiB), and records_room bytes of records: records_room bounds the
// sum of its lines' record bounds, and is far above the bound of any one
// record (a 4095-byte line escaped at 6 bytes per byte, with --explain --x9
// --directory and a file name of PATH_MAX bytes, is under 64 KiB).  So a
// block takes at most 4.3 MiB.  N threads keep 2N blocks in flight (one
// being parsed by each thread, one waiting for it): 8.6 MiB per thread, and
// the reading thread's 64 KiB read buffer beside them.  One thread keeps no
// block: its records go out once they pass block_write bytes, so it holds
// at most 256 KiB and one record's bound, and one line.  Within 16 MiB per
// thread beside the table, either way.

// The reasons of error records, and the room the longest one takes.
const std::string too_long_reason = "line longer than " + std::to_string(max_line_length) + " bytes";
constexpr std::string_view holds_nul = "line holds a NUL byte";
constexpr std::string_view not_utf8 = "line is not valid UTF-8";
const std::size_t longest_reason = std::max({too_long_reason.size(), holds_nul.size(), not_utf8.size()});

// Whether a read of `fd` would return at once: data, the end or an error.
// -1 with errno set when the poll itself was cut short.
int ready_to_read(int fd) {
    pollfd watched{fd, POLLIN, 0};
    const int ready = ::poll(&watched, 1, 0);
    if (ready < 0) return errno == EINTR ? -1 : 0;  // any other failure: take it as "would wait"
    return ready;
}

// What the lines of one input share: how they are parsed and written.
struct input_context {
    record_writer writer;  // its file set
    const micr_table* table;
    line_options options;
};

enum class line_kind : std::uint8_t {
    code_line,
    too_long,  // no bytes kept: an error record
    marked,    // line 1 begins with a byte-order mark, which is not parsed
};

struct block_line {
    std::uint32_t offset;  // in the block's text
    std::uint16_t length;
    line_kind kind;
};
static_assert(max_line_length <= UINT16_MAX && text_room <= UINT32_MAX);

// Lines of one input in reading order, and once made, their records.
struct block {
    std::shared_ptr<const input_context> input;
    long lines_before = 0;                // in its input
    std::unique_ptr<block_line[]> lines;  // lines_per_block
    std::size_t count = 0;
    std::unique_ptr<char[]> text;  // text_room bytes
    std::size_t text_used = 0;
    std::unique_ptr<char[]> records;
    std::size_t records_capacity = 0;
    std::size_t records_bound = 0;  // the sum of the lines' record bounds
    std::size_t records_used = 0;
    bool made = false;  // the records are made; under the pipeline's mutex while the block is handed out

    void clear() {
        input.reset();
        count = text_used = records_bound = records_used = 0;
        made = false;
    }
};

// Makes the records of one input's lines: rewrites each line into the
// library's letters, parses it and writes its record.
class record_maker {
public:
    explicit record_maker(const input_context& input)
        : input_(input),
          utf8_(input.options.encoding == text_encoding::utf8),
          own_letters_(input.options.symbols == nullptr) {}

    // Writes the record of line `number`, `as_read`, at `end`; returns the
    // end of what it wrote.
    [[gnu::always_inline]] char* make(char* end, long number, std::string_view as_read, line_kind kind) {
        const record_writer& writer = input_.writer;
        std::string_view code_line = as_read;
        if (kind == line_kind::marked) {
            code_line.remove_prefix(utf8_byte_order_mark.size());
            if (utf8_) as_read = code_line;
        }
        if (kind == line_kind::too_long) return writer.write_error(end, number, too_long_reason);
        if (utf8_ && !valid_utf8(code_line)) return writer.write_error(end, number, not_utf8);
        const char* text = code_line.data();
        std::size_t length = code_line.size();
        // The library's own letters need no rewriting unless a Unicode symbol
        // (UTF-8, lead byte E2) may stand in the line.
        if (!own_letters_ || std::memchr(text, '\xE2', length) != nullptr) {
            // Never longer than the line, so the room always suffices.
            length = static_cast<std::size_t>(
                micr_translate(input_.options.symbols, text, length, letters_, sizeof letters_));
            text = letters_;
        }
        if (writer.parse(input_.table, {text, length}, input_.options.flags, parsed_) == MICR_PARSE_REFUSED)
            return writer.write_error(end, number, holds_nul);  // the one refusal a line can cause
        return writer.write_record(end, number, as_read, parsed_);
    }

private:
    const input_context& input_;
    bool utf8_;
    bool own_letters_;
    char letters_[max_line_length + 1];
    parsed_line parsed_;
};

// Makes the records of a block's lines; the thread that does it touches
// nothing but the block.
void make_records(block& b) {
    record_maker maker(*b.input);
    char* end = b.records.get();
    long number = b.lines_before;
    for (const block_line& line : std::span(b.lines.get(), b.count))
        end = maker.make(end, ++number, {b.text.get() + line.offset, line.length}, line.kind);
    b.records_used = static_cast<std::size_t>(end - b.records.get());
}

}  // namespace

// Blocks are numbered in reading order from 0; block n lives in slot
// n % slots.size().  The reading thread fills the slot of block `handed`,
// hands it out, and writes blocks out from `written` on, in order, once
// their records are made; the parsing threads take blocks from `taken` on,
// and so does the reading thread rather than wait for a block to be made.
struct record_output::pipeline {
    int fd;
    bool each_record;
    int error = 0;
    std::string held;  // the caller's bytes, not yet written
    std::vector<block> slots;
    std::vector<std::thread> threads;  // jobs - 1; none: the reading thread makes each record as its line comes
    block* filling;                    // the slot of block `handed`
    std::uint64_t written = 0;

    // The input whose lines are handed in now.
    std::shared_ptr<const input_context> input;
    long lines_of_input = 0;
    std::array<std::size_t, 128> bounds{};  // its record bounds by line length, 0 until asked for

    std::mutex mutex;
    std::condition_variable work;  // a block is handed out, or closing
    std::condition_variable made;  // a block's records are made
    std::uint64_t handed = 0;      // changed by the reading thread under the mutex
    std::uint64_t taken = 0;
    bool closing = false;

    pipeline(int out_fd, bool each, unsigned jobs)
        : fd(out_fd), each_record(each), slots(jobs <= 1 ? 1 : 2 * std::size_t{jobs}), filling(&slots[0]) {
        prepare(*filling);
        if (jobs <= 1) return;
        // The stop signals must reach the reading thread, whose waits they cut short.
        const stop_signals_blocked blocked;
        // The reading thread is one of the `jobs`: it makes records too
        // whenever it would otherwise wait.
        threads.reserve(jobs - 1);
        for (unsigned i = 1; i < jobs; ++i) threads.emplace_back([this] { parse_blocks(); });
    }

    // A slot's room is taken when it is first filled: a short input touches one.
    static void prepare(block& b) {
        if (b.text) return;
        b.lines = std::make_unique_for_overwrite<block_line[]>(lines_per_block);
        b.text = std::make_unique_for_overwrite<char[]>(text_room);
    }

    // Takes the next block no thread has taken and makes its records; false
    // when every block handed out is taken.  With `lock` held.
    bool make_next(std::unique_lock<std::mutex>& lock) {
        if (taken == handed) return false;
        block& b = slots[taken++ % slots.size()];
        lock.unlock();
        make_records(b);
        lock.lock();
        b.made = true;
        made.notify_one();
        return true;
    }

    // A parsing thread: takes the blocks in order until closing.
    void parse_blocks() {
        std::unique_lock lock(mutex);
        for (;;) {
            work.wait(lock, [this] { return closing || taken < handed; });
            if (closing) return;
            make_next(lock);
        }
    }

    void finish() {
        {
            const std::lock_guard lock(mutex);
            closing = true;
        }
        work.notify_all();
        for (std::thread& thread : threads) thread.join();
        threads.clear();
    }

    bool write(const char* data, std::size_t size) {
        std::size_t done = 0;
        while (error == 0 && done < size) {
            const ssize_t n = ::write(fd, data + done, size - done);
            if (n >= 0)
                done += static_cast<std::size_t>(n);
            else if (errno != EINTR)  // a stop signal changes nothing: what is held is written
                error = errno;
        }
        return error == 0;
    }

    bool write_held() {
        const bool ok = write(held.data(), held.size());
        held.clear();  // on failure, what was held is lost like the rest of the output
        return ok;
    }

    bool write_block(block& b) {
        const bool ok = write_held() && write(b.records.get(), b.records_used);
        b.clear();
        return ok;
    }

    // Writes out, in order, every block whose records are made, waiting
    // for them while more than `in_flight` blocks would stay handed out.
    bool write_made(std::uint64_t in_flight) {
        while (error == 0 && written < handed) {
            block& b = slots[written % slots.size()];
            {
                std::unique_lock lock(mutex);
                if (handed - written <= in_flight && !b.made) break;
                // Rather than wait, the reading thread makes records itself
                // while a block is left to take.
                while (!b.made && make_next(lock)) {
                }
                made.wait(lock, [&b] { return b.made; });
            }
            if (!write_block(b)) return false;
            ++written;
        }
        return error == 0;
    }

    // Hands out the block being filled, if it holds a line, and makes the
    // next one's slot free.  Once a write has failed, the slot being filled
    // may still be parsed: nothing more is handed out.
    bool hand_out() {
        if (error != 0) return false;
        if (threads.empty()) return write_block(*filling);  // its records are made
        if (filling->count == 0) return true;
        {
            const std::lock_guard lock(mutex);
            ++handed;
        }
        work.notify_one();
        filling = &slots[handed % slots.size()];
        prepare(*filling);
        return write_made(slots.size() - 1);
    }

    // Where the next line is to be read: the free text of the block being
    // filled, room for the longest line; a block that has no more is handed
    // out first.  Null once a write has failed.
    char* line_room() {
        if ((filling->count == lines_per_block || text_room - filling->text_used <= max_line_length) && !hand_out())
            return nullptr;
        return filling->text.get() + filling->text_used;
    }

    std::size_t record_bound(std::size_t length) {
        const std::size_t reason_or_line = std::max(length, longest_reason);
        if (length >= bounds.size()) return input->writer.record_bound(reason_or_line);
        std::size_t& bound = bounds[length];
        if (bound == 0) bound = input->writer.record_bound(reason_or_line);
        return bound;
    }

    // Takes in the line of `length` bytes read at `at`, where line_room()
    // said.  The block may have been handed out meanwhile (a flush before a
    // wait for input), or be handed out now, its records having no more
    // room: then the line moves to the next one; the block it was read into
    // is never read beyond its own lines.
    bool add_line(const char* at, std::size_t length, line_kind kind) {
        const std::size_t bound = record_bound(length);
        if (filling->count > 0 && bound > records_room - filling->records_bound && !hand_out()) return false;
        block& b = *filling;
        if (b.count == 0) {
            b.input = input;
            b.lines_before = lines_of_input;
            if (b.records_capacity < std::max(records_room, bound)) {
                b.records_capacity = std::max(records_room, bound);
                b.records = std::make_unique_for_overwrite<char[]>(b.records_capacity);
            }
        }
        b.records_bound += bound;
        char* const to = b.text.get() + b.text_used;
        if (at != to) std::memmove(to, at, length);
        b.lines[b.count++] = {static_cast<std::uint32_t>(b.text_used), static_cast<std::uint16_t>(length), kind};
        b.text_used += length;
        ++lines_of_input;
        return !each_record || hand_out();
    }

    bool flush() { return hand_out() && write_made(0) && write_held(); }
};

record_output::record_output(int fd, bool each_record, unsigned jobs)
    : pipeline_(std::make_unique<pipeline>(fd, each_record, jobs)) {}

record_output::~record_output() { finish(); }

bool record_output::add(std::string_view bytes) {
    pipeline& p = *pipeline_;
    if (!p.flush()) return false;  // the records of the lines before come first
    p.held.append(bytes);
    return p.each_record ? p.write_held() : p.error == 0;
}

bool record_output::flush() { return pipeline_->flush(); }

int record_output::error() const { return pipeline_->error; }

void record_output::finish() { pipeline_->finish(); }

namespace {

// How the lines of an input are taken in.  room() says where the next line
// is to be read, take() takes it in; both false (null) once a write has
// failed.

// By the reading thread alone: each record is made as its line comes, into
// the block's records, written out whenever they pass block_write bytes.
class made_at_once {
public:
    made_at_once(record_output::pipeline& lines, const input_context& input)
        : lines_(lines), block_(*lines.filling), maker_(input), each_record_(lines.each_record) {
        // Room for what may be held and one record more.
        const std::size_t room = block_write + input.writer.record_bound(max_line_length + longest_reason);
        if (block_.records_capacity < room) {
            block_.records_capacity = room;
            block_.records = std::make_unique_for_overwrite<char[]>(room);
        }
        records_ = block_.records.get();
    }
    char* room() { return block_.text.get(); }
    bool take(const char* line, std::size_t length, line_kind kind) {
        char* const end = maker_.make(records_ + block_.records_used, ++number_, {line, length}, kind);
        block_.records_used = static_cast<std::size_t>(end - records_);
        return (block_.records_used < block_write && !each_record_) || lines_.write_block(block_);
    }

private:
    record_output::pipeline& lines_;
    block& block_;  // the one slot: it holds the records made, and the line read
    record_maker maker_;
    bool each_record_;
    char* records_;
    long number_ = 0;
};

// For the parsing threads: gathered into blocks.
class gathered {
public:
    explicit gathered(record_output::pipeline& lines) : lines_(lines) {}
    char* room() { return lines_.line_room(); }
    bool take(const char* line, std::size_t length, line_kind kind) { return lines_.add_line(line, length, kind); }

private:
    record_output::pipeline& lines_;
};

// Reads `input` line by line into `lines`.
template <class Lines>
input_summary read_lines(text_source& input, Lines& lines) {
    input_summary summary;
    text_line info;
    for (;;) {
        char* const line = lines.room();
        if (line == nullptr) {
            summary.write_failed = true;
            return summary;
        }
        if (!read_text_line(input, line, max_line_length + 1, info)) break;
        std::size_t length = std::min(info.length, max_line_length);  // what the buffer holds
        line_kind kind = line_kind::code_line;
        if (info.too_long) {
            kind = line_kind::too_long;
            length = 0;
        } else if (summary.lines == 0 && std::string_view(line, length).starts_with(utf8_byte_order_mark)) {
            if (length == utf8_byte_order_mark.size() && !info.terminated) break;  // the mark alone: an empty input
            kind = line_kind::marked;
        }
        ++summary.lines;
        if (!lines.take(line, length, kind)) {
            summary.write_failed = true;
            return summary;
        }
        if (stop_signal() != 0) break;
    }
    return summary;
}

}  // namespace

input_summary write_records(text_source& input, const micr_table* table, const line_options& options,
                            const record_writer& writer, record_output& out) {
    record_output::pipeline& lines = *out.pipeline_;
    lines.input = std::make_shared<const input_context>(input_context{writer, table, options});
    lines.lines_of_input = 0;
    lines.bounds.fill(0);
    input_summary summary;
    if (lines.threads.empty()) {
        made_at_once at_once(lines, *lines.input);
        summary = read_lines(input, at_once);
    } else {
        gathered blocks(lines);
        summary = read_lines(input, blocks);
    }
    if (summary.write_failed) return summary;
    lines.hand_out();  // the next input's lines begin a block of their own; a failed write is in out.error()
    lines.input.reset();
    summary.stopped = stop_signal() != 0;
    summary.write_failed = out.error() != 0;  // a write before a wait for input
    if (!summary.stopped && !summary.write_failed) summary.read_error = input.error;
    return summary;
}

waiting_reader::waiting_reader(int fd, record_output& out) : fd_(fd), out_(out) {
    struct stat info {};
    may_wait_ = ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode);
}

long waiting_reader::read(void* context, char* buffer, std::size_t size) {
    auto& self = *static_cast<waiting_reader*>(context);
    if (stop_signal() != 0) {
        errno = ECANCELED;
        return -1;
    }
    if (!self.may_wait_) return static_cast<long>(::read(self.fd_, buffer, size));
    const int ready = ready_to_read(self.fd_);
    if (ready < 0) return -1;  // EINTR: the line reader asks again, and the signal is looked at first
    if (ready > 0) return static_cast<long>(::read(self.fd_, buffer, size));
    if (!self.out_.flush()) {
        errno = self.out_.error();
        return -1;
    }
    const nothing_held idle;
    if (stop_signal() != 0) {  // came between the first look and here
        errno = ECANCELED;
        return -1;
    }
    return static_cast<long>(::read(self.fd_, buffer, size));
}

}  // namespace micr::batch
