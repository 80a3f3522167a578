// Exception tables read once: every line judged by the same rules as the
// search of parse_micr_line, and the entries that such a search could reach
// put into an index from routing number to the first entry for it.  Two
// readers share the index: micr_table_open / micr_table_from_text, which keep
// every malformed line as a problem, and table_file, micrtest's PARSE.DAT.
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include <sys/stat.h>

#include "line_reader.h"
#include "parse_steps.h"

struct micr_table final : micr::exception_table {
    micr::table_index index;
    std::vector<micr::file_problem> problems;

    micr_exception_state find_entry(std::string_view transit, micr::exception_entry& entry) const override {
        if (const micr::exception_entry* found = index.find(transit)) {
            entry = *found;
            return MICR_EX_USED;
        }
        // A malformed line ends every search that gets to it.
        return index.malformed() ? MICR_EX_INVALID : MICR_EX_NORMAL;
    }
};

namespace micr {
namespace {

constexpr std::string_view utf8_byte_order_mark = "\xEF\xBB\xBF";

micr_table* make_table(const char* text, std::size_t length) {
    auto table = std::make_unique<micr_table>();
    text_source source;
    memory_text_source(source, text, length);
    char line[table_line_size];
    text_line info;
    long number = 0;
    while (read_text_line(source, line, sizeof line, info)) {
        ++number;
        const table_line judged = judge_table_line(line, info);
        if (judged.kind == table_line_kind::malformed) {
            char message[64];
            describe_table_problem(judged, message, sizeof message);
            table->problems.push_back({number, message});
            // An editor's byte-order mark is invisible where the file is edited.
            if (number == 1 && std::string_view(line).starts_with(utf8_byte_order_mark))
                table->problems.back().message += " (the line starts with a UTF-8 byte-order mark)";
        }
        table->index.add(judged, number);
    }
    return table.release();
}

}  // namespace

void table_index::add(const table_line& line, long number) {
    if (line.kind == table_line_kind::malformed) malformed_ = true;
    // Entries below a malformed line are never reached by a search.
    if (line.kind != table_line_kind::entry || malformed_) return;
    std::uint32_t key;
    if (!routing_key(line.tokens[1], key)) return;
    const auto next = static_cast<std::uint32_t>(entries_.size());
    if (index_.insert(key, next) == next)
        entries_.push_back(read_entry(line, number));  // the first entry for a number wins
}

const exception_entry* table_index::find(std::string_view transit) const {
    std::uint32_t key;
    if (!routing_key(transit, key)) return nullptr;
    const std::uint32_t position = index_.find(key);
    return position != routing_index::none ? &entries_[position] : nullptr;
}

std::size_t table_index::probes(std::string_view transit) const {
    std::uint32_t key;
    return routing_key(transit, key) ? index_.probes(key) : 0;
}

const exception_table& table_lookup(const micr_table* table) {
    if (table == nullptr) return no_table();
    return *table;
}

bool read_capped(text_source& source, std::string& bytes) {
    constexpr std::size_t chunk = 1 << 16;
    for (;;) {
        const std::size_t used = bytes.size();
        try {
            bytes.resize(used + chunk);
        } catch (const std::bad_alloc&) {
            errno = ENOMEM;
            return false;
        }
        const long got = read_bytes(source, bytes.data() + used, chunk);
        if (got < 0) return false;
        bytes.resize(used + static_cast<std::size_t>(got));
        if (got == 0) return true;
        if (bytes.size() > largest_table_file) {
            errno = EFBIG;
            return false;
        }
    }
}

bool read_whole_file(const char* path, std::string& bytes) {
    if (path == nullptr) {
        errno = EINVAL;
        return false;
    }
    // The file is read whole, past the source's own buffering.
    char unused[1];
    text_source source;
    if (!open_text_source(source, path, unused, sizeof unused)) return false;  // a directory: EISDIR
    bool read = false;
    struct stat info {};
    if (::fstat(source.fd, &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<std::uintmax_t>(info.st_size) > largest_table_file) {
        errno = EFBIG;
    } else {
        read = read_capped(source, bytes);
    }
    const int saved = errno;
    close_text_source(source);
    errno = saved;
    return read;
}

micr_table* read_table(text_source& source) {
    std::string bytes;
    if (!read_capped(source, bytes)) return nullptr;
    return make_table(bytes.data(), bytes.size());
}

void table_file::load(text_source& source) const {
    loaded_ = opened_ = true;
    char line[table_line_size];
    text_line info;
    // Nothing below a malformed line can change a look-up, and a search
    // would never read past an over-long one.
    while (!index_.malformed() && read_text_line(source, line, sizeof line, info, long_lines::stop))
        index_.add(judge_table_line(line, info), ++lines_);
    read_failed_ = source.error != 0;
}

micr_exception_state table_file::find_entry(std::string_view transit, exception_entry& entry) const {
    if (!loaded_) {
        loaded_ = true;  // a table that cannot be opened is not tried again
        char buffer[1 << 16];
        text_source source;
        if (open_text_source(source, path_, buffer, sizeof buffer, open_mode::regular_only)) {
            load(source);
            close_text_source(source);
        }
    }
    if (!opened_) return MICR_EX_OPEN_ERR;
    if (const exception_entry* found = index_.find(transit)) {
        entry = *found;
        return MICR_EX_USED;
    }
    if (index_.malformed()) return MICR_EX_INVALID;
    // A table cut short by a read error cannot be trusted to have no entry.
    return read_failed_ ? MICR_EX_OPEN_ERR : MICR_EX_NORMAL;
}

}  // namespace micr

micr_table* micr_table_open(const char* path) { return micr::made_from_file(path, micr::make_table); }

micr_table* micr_table_from_text(const char* text, size_t length) {
    return micr::made_from_text(text, length, micr::make_table);
}

void micr_table_free(micr_table* table) { delete table; }

size_t micr_table_problem_count(const micr_table* table) { return table != nullptr ? table->problems.size() : 0; }

long micr_table_problem_line(const micr_table* table, size_t index) {
    return micr::problem_line(table != nullptr ? &table->problems : nullptr, index);
}

const char* micr_table_problem_message(const micr_table* table, size_t index) {
    return micr::problem_message(table != nullptr ? &table->problems : nullptr, index);
}
