#include "batch_run.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "byte_words.h"
#include "stop_signals.h"
#include "utf8.h"

namespace micr::batch {
namespace {

// How input is gathered into blocks, and what that costs in memory.
//
// One thread makes each record as its line comes, and writes the records
// out in blocks of about this size (a block-sized write is what keeps a
// file-to-file run fast; one that fits the cache, what keeps it cheap):
constexpr std::size_t block_write = 256 << 10;
// More threads take the input in blocks of whole lines, copied from the read
// buffer as they come, of at most this many bytes: some 350 cheque lines,
// about 100 microseconds of parsing, and some 200 KiB of JSON Lines, written
// with one write.  Small enough that the records of the blocks in flight stay
// in each core's cache (larger blocks were slower on two cores, and so were
// more of them in flight); large enough that handing blocks between threads
// costs next to nothing.
constexpr std::size_t block_text = 16 << 10;
// A block's records are made into this room, while it has room for the
// longest record; the lines it has no room for are made by the reading
// thread, in order, once the records before them are written.  Only lines
// whose records are far longer than the lines (empty ones, say) ever fill it.
constexpr std::size_t records_room = 2 << 20;
// A line begun in one block and not ended there moves to the next.  It is
// kept at most this long: with one byte more than a line may have, and a
// carriage return that may stand before its line feed, it is still too long,
// whatever its end, and the bytes up to its line feed are dropped as read.
constexpr std::size_t longest_kept = max_line_length + 2;
//
// Memory.  A block takes block_text + records_room bytes, 2.02 MiB, of
// address space from the start, of memory only as its pages are used.  N
// threads keep 2N blocks in flight (one being parsed by each thread, one
// waiting for it): 4.03 MiB per thread.  One thread keeps one block, whose
// records go out once they pass block_write bytes: 16 KiB of text, 256 KiB
// of records and one record's bound.  Within 16 MiB per thread beside the
// table, either way, and the reading thread's 64 KiB read buffer.
static_assert(longest_kept < block_text / 2);

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

// What a line is, by its bytes as read, whether it is longer than a line may
// be, and whether it is line 1 of its input.
line_kind kind_of(std::string_view line, bool too_long, bool first) {
    if (too_long) return line_kind::too_long;
    return first && line.starts_with(utf8_byte_order_mark) ? line_kind::marked : line_kind::code_line;
}

// Room for the record of any line.
std::size_t longest_record(const record_writer& writer) {
    return writer.record_bound(max_line_length + longest_reason);
}

// Lines of one input in reading order, and once made, their records.
struct block {
    std::shared_ptr<const input_context> input;
    long lines_before = 0;         // in its input
    std::unique_ptr<char[]> text;  // block_text bytes: its lines as read, each ended by its line feed
    std::size_t lines_end = 0;     // its lines end here; a last line of the input may have no line feed
    std::size_t text_used = 0;     // while it is filled: the line begun after them, not yet ended
    long count = 0;                // of lines
    std::size_t made_end = 0;      // the lines before this have their records made
    long lines_made = 0;
    std::unique_ptr<char[]> records;
    std::size_t records_capacity = 0;
    std::size_t records_used = 0;
    bool made = false;  // its records are made, as far as they have room; under the pipeline's mutex while handed out

    void clear() {
        input.reset();
        lines_end = text_used = made_end = records_used = 0;
        count = lines_made = 0;
        made = false;
    }

    void make_room(std::size_t capacity) {
        if (records_capacity >= capacity) return;
        records_capacity = capacity;
        records = std::make_unique_for_overwrite<char[]>(capacity);
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

// Makes the records of a block's lines from the first not yet made on, as
// far as its records have room; the thread that does it touches nothing but
// the block.  Each line ends at its line feed, and a carriage return before
// that is dropped, as the line reader does.
void make_records(block& b) {
    record_maker maker(*b.input);
    char* const records = b.records.get();
    char* end = records + b.records_used;
    const char* const text = b.text.get();
    const char* line = text + b.made_end;
    const char* const lines_end = text + b.lines_end;
    long number = b.lines_before + b.lines_made;
    const std::size_t room = longest_record(b.input->writer);
    while (line < lines_end && b.records_capacity - static_cast<std::size_t>(end - records) >= room) {
        const auto* const feed =
            static_cast<const char*>(std::memchr(line, '\n', static_cast<std::size_t>(lines_end - line)));
        const char* const line_end = feed != nullptr ? feed : lines_end;
        std::size_t length = static_cast<std::size_t>(line_end - line);
        if (feed != nullptr && length > 0 && line[length - 1] == '\r') --length;
        ++number;
        const bool too_long = length > max_line_length;
        const std::string_view as_read(line, too_long ? 0 : length);
        end = maker.make(end, number, as_read, kind_of(as_read, too_long, number == 1));
        line = feed != nullptr ? feed + 1 : lines_end;
    }
    b.made_end = static_cast<std::size_t>(line - text);
    b.lines_made = number - b.lines_before;
    b.records_used = static_cast<std::size_t>(end - records);
}

// How many line feeds `size` bytes at `text` hold, sixteen bytes at a time.
std::size_t count_line_feeds(const char* text, std::size_t size) {
    std::size_t count = 0;
    std::size_t i = 0;
    while (size - i >= 16) {
        // Each lane counts its line feeds, up to 31 blocks, so that the eight
        // lanes of a word sum to less than 256.
        byte_block lanes{};
        for (const std::size_t stop = std::min(size - i, std::size_t{16 * 31}) / 16 * 16 + i; i < stop; i += 16)
            lanes -= load_block(text + i) == '\n';
        std::uint64_t words[2];
        std::memcpy(words, &lanes, sizeof words);
        count += ((words[0] * ones) >> 56) + ((words[1] * ones) >> 56);
    }
    for (; i < size; ++i) count += text[i] == '\n';
    return count;
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
    block* filling = nullptr;          // the slot of block `handed`
    std::uint64_t written = 0;

    // The input whose lines are taken in now.
    std::shared_ptr<const input_context> input;
    long lines_of_input = 0;  // in the blocks handed out

    std::mutex mutex;
    std::condition_variable work;  // a block is handed out, or closing
    std::condition_variable made;  // a block's records are made
    std::uint64_t handed = 0;      // changed by the reading thread under the mutex
    std::uint64_t taken = 0;
    bool closing = false;

    // A terminal's reader sees each record as soon as it is made: there one
    // thread makes them all, each as its line comes.  So does a process that
    // cannot have a parsing thread or the blocks' memory (a limit on its
    // address space, say); one that can have some has them.
    pipeline(int out_fd, bool each, unsigned jobs) : fd(out_fd), each_record(each) {
        for (unsigned parsing = jobs <= 1 || each ? 0 : jobs - 1; parsing > 0; parsing /= 2)
            if (start(parsing)) return;
        slots.resize(1);
        slots[0].text = std::make_unique_for_overwrite<char[]>(block_text);
        filling = &slots[0];
    }

    // Takes the memory of every block, untouched until used, and starts
    // `parsing` threads beside the reading thread, which is one of the jobs:
    // it makes records too whenever it would otherwise wait.  False, with
    // neither kept, when the process cannot have them all.
    bool start(unsigned parsing) {
        try {
            slots = std::vector<block>(2 * (std::size_t{parsing} + 1));
            for (block& b : slots) {
                b.text = std::make_unique_for_overwrite<char[]>(block_text);
                b.make_room(records_room);
            }
            filling = &slots[0];
            // The stop signals must reach the reading thread, whose waits they cut short.
            const stop_signals_blocked blocked;
            threads.reserve(parsing);
            for (unsigned i = 0; i < parsing; ++i) threads.emplace_back([this] { parse_blocks(); });
            return true;
        } catch (const std::bad_alloc&) {
        } catch (const std::system_error&) {  // no thread
        }
        finish();
        closing = false;
        slots.clear();
        return false;
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

    // Writes a block's records, and then those of its lines that they had no
    // room for, made now into the same room.
    bool write_block(block& b) {
        bool ok = write_held() && write(b.records.get(), b.records_used);
        while (ok && b.made_end < b.lines_end) {
            b.records_used = 0;
            make_records(b);
            ok = write(b.records.get(), b.records_used);
        }
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

    // Hands out the lines of the block being filled, if it holds any, and
    // makes the next slot the one being filled, the line begun moved to it.
    // Once a write has failed, the block being filled may still be parsed:
    // nothing more is handed out.
    bool hand_out() {
        if (error != 0) return false;
        if (threads.empty()) return write_block(*filling);  // its records are made
        block& b = *filling;
        if (b.count == 0) return true;
        b.input = input;
        b.lines_before = lines_of_input;
        lines_of_input += b.count;
        // Read by the parsing threads only up to lines_end.
        const char* const begun = b.text.get() + b.lines_end;
        const std::size_t begun_size = b.text_used - b.lines_end;
        {
            const std::lock_guard lock(mutex);
            ++handed;
        }
        work.notify_one();
        filling = &slots[handed % slots.size()];
        if (!write_made(slots.size() - 1)) return false;  // now the slot is free
        std::memcpy(filling->text.get(), begun, begun_size);
        filling->text_used = begun_size;
        return true;
    }

    // Takes in the `size` bytes read after the text of the block being
    // filled: its lines now end at the last line feed.  Counts the lines
    // ended.  `dropping`: the line begun is too long, and its bytes are
    // dropped up to its line feed.
    long take_in(std::size_t size, bool& dropping) {
        block& b = *filling;
        char* const text = b.text.get();
        const std::size_t from = b.text_used;
        b.text_used += size;
        if (dropping) {
            const auto* const feed = static_cast<const char*>(std::memchr(text + from, '\n', size));
            const std::size_t rest = feed != nullptr ? b.text_used - static_cast<std::size_t>(feed - text) : 0;
            if (feed != nullptr) std::memmove(text + from, feed, rest);
            b.text_used = from + rest;
            dropping = feed == nullptr;
        }
        const std::size_t feeds = count_line_feeds(text + from, b.text_used - from);
        if (feeds > 0) {
            const auto* const last = static_cast<const char*>(memrchr(text + from, '\n', b.text_used - from));
            b.lines_end = static_cast<std::size_t>(last - text) + 1;
            b.count += static_cast<long>(feeds);
        }
        if (b.text_used - b.lines_end > longest_kept) {
            b.text_used = b.lines_end + longest_kept;
            dropping = true;
        }
        return static_cast<long>(feeds);
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

// By the reading thread alone: each record is made as its line comes, into
// the block's records, written out whenever they pass block_write bytes.
// room() says where the next line is to be read, take() takes it in, false
// once a write has failed.
class made_at_once {
public:
    made_at_once(record_output::pipeline& lines, const input_context& input)
        : lines_(lines), block_(*lines.filling), maker_(input), each_record_(lines.each_record) {
        block_.make_room(block_write + longest_record(input.writer));  // what may be held and one record more
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

// Reads `input` line by line into `lines`.
input_summary read_lines(text_source& input, made_at_once& lines) {
    input_summary summary;
    text_line info;
    for (;;) {
        char* const line = lines.room();
        if (!read_text_line(input, line, max_line_length + 1, info)) break;
        const std::string_view kept(line, info.too_long ? 0 : info.length);
        const line_kind kind = kind_of(kept, info.too_long, summary.lines == 0);
        if (kind == line_kind::marked && kept == utf8_byte_order_mark && !info.terminated)
            break;  // the mark alone: an empty input
        ++summary.lines;
        if (!lines.take(kept.data(), kept.size(), kind)) {
            summary.write_failed = true;
            return summary;
        }
        if (stop_signal() != 0) break;
    }
    return summary;
}

// Reads `input` for the parsing threads: in blocks of whole lines, its
// bytes as they come.  Stops after the lines of a read when a stop signal
// comes.
input_summary read_blocks(text_source& input, record_output::pipeline& lines) {
    input_summary summary;
    bool dropping = false;
    bool ended = false;  // at the end of the input, not cut short by a failed read or a stop signal
    for (;;) {
        if (!refill(input)) {
            ended = input.error == 0;
            break;
        }
        // A read may wait, and hand out the lines read so far before it
        // does: the block being filled is the one after the read.
        block& b = *lines.filling;
        const std::size_t size = std::min(input.end - input.start, block_text - b.text_used);
        std::memcpy(b.text.get() + b.text_used, input.buffer + input.start, size);
        input.start += size;
        summary.lines += lines.take_in(size, dropping);
        if (stop_signal() != 0) break;
        if (b.text_used >= block_text / 2 && !lines.hand_out()) {
            summary.write_failed = true;
            return summary;
        }
    }
    // The line begun is the input's last line when the input ended there.
    block& last = *lines.filling;
    const std::string_view begun(last.text.get() + last.lines_end, last.text_used - last.lines_end);
    if (ended && !begun.empty() &&
        !(summary.lines == 0 && begun == utf8_byte_order_mark)) {  // the mark alone: an empty input
        last.lines_end = last.text_used;
        ++last.count;
        ++summary.lines;
    }
    last.text_used = last.lines_end;
    return summary;
}

}  // namespace

input_summary write_records(text_source& input, const micr_table* table, const line_options& options,
                            const record_writer& writer, record_output& out) {
    record_output::pipeline& lines = *out.pipeline_;
    lines.input = std::make_shared<const input_context>(input_context{writer, table, options});
    lines.lines_of_input = 0;
    input_summary summary;
    if (!lines.threads.empty() && !input.ctrl_z_ends) {
        summary = read_blocks(input, lines);
    } else {
        // A Ctrl-Z that ends the input is found by the line reader alone,
        // once the records of the inputs before are out.
        if (!lines.threads.empty() && !lines.flush()) return {.write_failed = true};
        made_at_once at_once(lines, *lines.input);
        summary = read_lines(input, at_once);
        if (!summary.write_failed) lines.write_block(*lines.filling);  // the records made since the last write
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
