#include "batch_run.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
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
// With record_writer::record_bound at about 6 KiB for a line of cheque
// length, a block of such lines holds about 680 of them: a few hundred
// microseconds of parsing, enough that handing blocks between threads costs
// next to nothing, and some 480 KiB of JSON Lines, written with one write.
//
// Memory: one block holds at most text_room + lines_per_block * 8 bytes of
// lines and records_room bytes of records (records_room is far above the
// bound of any one record: a 4095-byte line escaped at 6 bytes per byte, with
// --explain --x9 --directory and the longest file name, is under 64 KiB), so
// at most 256 KiB + 8 KiB + 4 MiB < 4.3 MiB.  A block is parsed and written
// by two threads' turns, and jobs threads keep 2 * jobs blocks in flight (one
// parsed by each thread, one waiting for it); one thread parses in the
// caller's own turn and needs one.  So the records on their way take at most
// 8.6 MiB per thread, and the reading thread adds its 64 KiB read buffer and
// one 4 KiB line: within 16 MiB per thread beside the table.

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
    long lines_before = 0;  // in its input
    std::vector<block_line> lines;
    std::unique_ptr<char[]> text;  // text_room bytes
    std::size_t text_used = 0;
    std::unique_ptr<char[]> records;
    std::size_t records_capacity = 0;
    std::size_t records_bound = 0;  // the sum of the lines' record bounds
    std::size_t records_used = 0;
    bool made = false;  // the records are made; under the pipeline's mutex while the block is handed out

    void clear() {
        input.reset();
        lines.clear();
        text_used = records_bound = records_used = 0;
        made = false;
    }
};

// Rewrites each line of `b` into the library's letters, parses it and makes
// its record; the thread that does it touches nothing but the block.
void make_records(block& b) {
    const input_context& input = *b.input;
    const record_writer& writer = input.writer;
    const bool utf8 = input.options.encoding == text_encoding::utf8;
    // The library's own letters need no rewriting unless a Unicode symbol
    // (UTF-8, lead byte E2) may stand in the line.
    const bool own_letters = input.options.symbols == nullptr;
    constexpr char unicode_lead = '\xE2';
    char letters[max_line_length + 1];
    parsed_line parsed;
    char* end = b.records.get();
    long number = b.lines_before;
    for (const block_line& line : b.lines) {
        ++number;
        std::string_view as_read(b.text.get() + line.offset, line.length);
        std::string_view code_line = as_read;
        if (line.kind == line_kind::marked) {
            code_line.remove_prefix(utf8_byte_order_mark.size());
            if (utf8) as_read = code_line;
        }
        if (line.kind == line_kind::too_long) {
            end = writer.write_error(end, number, too_long_reason);
        } else if (utf8 && !valid_utf8(code_line)) {
            end = writer.write_error(end, number, not_utf8);
        } else {
            const char* text = code_line.data();
            std::size_t length = code_line.size();
            if (!own_letters || std::memchr(text, unicode_lead, length) != nullptr) {
                // Never longer than the line, so the room always suffices.
                length = static_cast<std::size_t>(
                    micr_translate(input.options.symbols, text, length, letters, sizeof letters));
                text = letters;
            }
            if (writer.parse(input.table, {text, length}, input.options.flags, parsed) == MICR_PARSE_REFUSED)
                end = writer.write_error(end, number, holds_nul);  // the one refusal a line can cause
            else
                end = writer.write_record(end, number, as_read, parsed);
        }
    }
    b.records_used = static_cast<std::size_t>(end - b.records.get());
}

}  // namespace

// Blocks are numbered in reading order from 0; block n lives in slot
// n % slots.size().  The reading thread fills the slot of block `handed`,
// hands it out, and writes blocks out from `written` on, in order, once
// their records are made; the parsing threads take blocks from `taken` on.
struct record_output::pipeline {
    int fd;
    bool each_record;
    int error = 0;
    std::string held;  // the caller's bytes, not yet written
    std::vector<block> slots;
    std::vector<std::thread> threads;            // none: the reading thread parses
    std::shared_ptr<const input_context> input;  // of the lines handed in now
    long lines_of_input = 0;
    std::uint64_t written = 0;

    std::mutex mutex;
    std::condition_variable work;  // a block is handed out, or closing
    std::condition_variable made;  // a block's records are made
    std::uint64_t handed = 0;      // written by the reading thread under the mutex
    std::uint64_t taken = 0;
    bool closing = false;

    pipeline(int out_fd, bool each, unsigned jobs)
        : fd(out_fd), each_record(each), slots(jobs <= 1 ? 1 : 2 * std::size_t{jobs}) {
        if (jobs <= 1) return;
        // The stop signals must reach the reading thread, whose waits they cut short.
        const stop_signals_blocked blocked;
        threads.reserve(jobs);
        for (unsigned i = 0; i < jobs; ++i) threads.emplace_back([this] { parse_blocks(); });
    }

    block& filling() { return slots[handed % slots.size()]; }

    // A parsing thread: takes the blocks in order until closing.
    void parse_blocks() {
        std::unique_lock lock(mutex);
        for (;;) {
            work.wait(lock, [this] { return closing || taken < handed; });
            if (closing) return;
            block& b = slots[taken++ % slots.size()];
            lock.unlock();
            make_records(b);
            lock.lock();
            b.made = true;
            made.notify_one();
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
                made.wait(lock, [&b] { return b.made; });
            }
            if (!write_block(b)) return false;
            ++written;
        }
        return error == 0;
    }

    // Hands out the block being filled, if it holds a line, and makes a
    // slot free for the next one.
    bool hand_out() {
        block& b = filling();
        if (b.lines.empty()) return error == 0;
        if (threads.empty()) {
            make_records(b);
            return write_block(b);
        }
        {
            const std::lock_guard lock(mutex);
            ++handed;
        }
        work.notify_one();
        return write_made(slots.size() - 1);
    }

    bool add_line(std::string_view text, line_kind kind) {
        const std::size_t bound = input->writer.record_bound(std::max(text.size(), longest_reason));
        block* b = &filling();
        if (!b->lines.empty() && (b->lines.size() == lines_per_block || text.size() > text_room - b->text_used ||
                                  bound > records_room - b->records_bound)) {
            if (!hand_out()) return false;
            b = &filling();
        }
        if (b->lines.empty()) {
            if (!b->text) {
                b->text = std::make_unique_for_overwrite<char[]>(text_room);
                b->lines.reserve(lines_per_block);
            }
            // Room for records_room, or for the one line when its bound is more.
            if (b->records_capacity < std::max(records_room, bound)) {
                b->records_capacity = std::max(records_room, bound);
                b->records = std::make_unique_for_overwrite<char[]>(b->records_capacity);
            }
            b->input = input;
            b->lines_before = lines_of_input;
        }
        if (!text.empty()) std::memcpy(b->text.get() + b->text_used, text.data(), text.size());
        b->lines.push_back({static_cast<std::uint32_t>(b->text_used), static_cast<std::uint16_t>(text.size()), kind});
        b->text_used += text.size();
        b->records_bound += bound;
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
    if (p.handed != p.written || !p.filling().lines.empty()) {
        if (!p.flush()) return false;  // the records of the lines before come first
    }
    p.held.append(bytes);
    return p.each_record ? p.write_held() : p.error == 0;
}

bool record_output::flush() { return pipeline_->flush(); }

int record_output::error() const { return pipeline_->error; }

void record_output::finish() { pipeline_->finish(); }

input_summary write_records(text_source& input, const micr_table* table, const line_options& options,
                            const record_writer& writer, record_output& out) {
    record_output::pipeline& lines = *out.pipeline_;
    lines.input = std::make_shared<const input_context>(input_context{writer, table, options});
    lines.lines_of_input = 0;
    char line[max_line_length + 1];
    input_summary summary;
    text_line info;
    while (read_text_line(input, line, sizeof line, info)) {
        std::string_view as_read(line, std::min(info.length, max_line_length));  // what the buffer holds
        line_kind kind = line_kind::code_line;
        if (info.too_long) {
            kind = line_kind::too_long;
            as_read = {};
        } else if (summary.lines == 0 && as_read.starts_with(utf8_byte_order_mark)) {
            if (as_read.size() == utf8_byte_order_mark.size() && !info.terminated)
                break;  // the mark alone: an empty input
            kind = line_kind::marked;
        }
        ++summary.lines;
        if (!lines.add_line(as_read, kind)) {
            summary.write_failed = true;
            return summary;
        }
        if (stop_signal() != 0) break;
    }
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
