#include "batch_run.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "stop_signals.h"
#include "utf8.h"

namespace micr::batch {
namespace {

// Records are written in blocks of about this size.
constexpr std::size_t block_size = 1 << 18;

// Whether a read of `fd` would return at once: data, the end or an error.
// -1 with errno set when the poll itself was cut short.
int ready_to_read(int fd) {
    pollfd watched{fd, POLLIN, 0};
    const int ready = ::poll(&watched, 1, 0);
    if (ready < 0) return errno == EINTR ? -1 : 0;  // any other failure: take it as "would wait"
    return ready;
}

}  // namespace

record_output::record_output(int fd, bool each_record) : fd_(fd), each_record_(each_record) {}

void record_output::reserve(std::size_t bound) {
    // A block is written as soon as it is full, so this much always holds
    // what is kept and the next record.
    if (data_.size() < block_size + bound) data_.resize(block_size + bound);
}

bool record_output::add(char* record_end) {
    used_ = static_cast<std::size_t>(record_end - data_.data());
    return (!each_record_ && used_ < block_size) ? error_ == 0 : flush();
}

bool record_output::add(std::string_view bytes) {
    reserve(bytes.size());
    bytes.copy(end(), bytes.size());
    return add(end() + bytes.size());
}

bool record_output::flush() {
    std::size_t written = 0;
    while (error_ == 0 && written < used_) {
        const ssize_t n = ::write(fd_, data_.data() + written, used_ - written);
        if (n >= 0)
            written += static_cast<std::size_t>(n);
        else if (errno != EINTR)  // a stop signal changes nothing: what is held is written
            error_ = errno;
    }
    used_ = 0;  // on failure, what was held is lost like the rest of the output
    return error_ == 0;
}

input_summary write_records(text_source& input, const micr_table* table, const line_options& options,
                            const record_writer& writer, record_output& out) {
    static const std::string too_long = "line longer than " + std::to_string(max_line_length) + " bytes";
    static const std::string_view holds_nul = "line holds a NUL byte";
    static const std::string_view not_utf8 = "line is not valid UTF-8";
    // The library's own letters need no rewriting unless a Unicode symbol
    // (UTF-8, lead byte E2) may stand in the line.
    const bool own_letters = options.symbols == nullptr;
    constexpr char unicode_lead = '\xE2';
    char letters[max_line_length + 1];
    char line[max_line_length + 1];
    out.reserve(writer.record_bound(max_line_length + too_long.size()));

    input_summary summary;
    text_line info;
    parsed_line parsed;
    while (read_text_line(input, line, sizeof line, info)) {
        std::string_view as_read(line, std::min(info.length, max_line_length));  // what the buffer holds
        std::string_view code_line = as_read;
        if (summary.lines == 0 && code_line.starts_with(utf8_byte_order_mark)) {
            code_line.remove_prefix(utf8_byte_order_mark.size());
            if (code_line.empty() && !info.terminated) break;  // the mark alone: an empty input
            if (options.encoding == text_encoding::utf8) as_read = code_line;
        }
        const long number = ++summary.lines;
        char* end = out.end();
        if (info.too_long) {
            end = writer.write_error(end, number, too_long);
        } else if (options.encoding == text_encoding::utf8 && !valid_utf8(code_line)) {
            end = writer.write_error(end, number, not_utf8);
        } else {
            const char* text = code_line.data();
            std::size_t length = code_line.size();
            if (!own_letters || std::memchr(text, unicode_lead, length) != nullptr) {
                // Never longer than the line, so the room always suffices.
                length =
                    static_cast<std::size_t>(micr_translate(options.symbols, text, length, letters, sizeof letters));
                text = letters;
            }
            if (writer.parse(table, {text, length}, options.flags, parsed) == MICR_PARSE_REFUSED)
                end = writer.write_error(end, number, holds_nul);  // the one refusal a line can cause
            else
                end = writer.write_record(end, number, as_read, parsed);
        }
        if (!out.add(end)) {
            summary.write_failed = true;
            return summary;
        }
        if (stop_signal() != 0) break;
    }
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
