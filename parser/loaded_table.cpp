// Exception tables loaded once, for micr_parse: every line judged by the same
// rules as the search of parse_micr_line, every malformed line kept as a
// problem, and the entries that a search could reach put into a hash from
// routing number to the first entry for it, so that a look-up costs the same
// whatever the size of the table.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "line_reader.h"
#include "parser_internal.h"

struct micr_table {
    struct problem {
        long line;
        std::string message;
    };
    struct slot {
        std::uint32_t key;    // the routing number's nine digits as a number
        std::uint32_t entry;  // index + 1 into `entries`, 0 when the slot is free
    };
    std::vector<micr::exception_entry> entries;  // the first entry of each routing number
    std::vector<slot> slots;                     // open addressing, a power of two of them
    unsigned shift = 32;                         // 32 - log2(slots.size())
    // A malformed line ends every search that gets to it: a number without
    // an entry above it is EX_INVALID.
    bool malformed = false;
    std::vector<problem> problems;
};

namespace micr {
namespace {

// One path that names something huge cannot exhaust memory.
constexpr std::size_t largest_table_file = std::size_t{64} << 20;

// The nine digits of a routing number as a number, or false when the text is
// not nine digits: only such an entry can ever match a transit field.
bool routing_key(const char* text, std::size_t length, std::uint32_t& key) {
    if (length != routing_number_length) return false;
    key = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (!is_digit(text[i])) return false;
        key = key * 10 + static_cast<std::uint32_t>(text[i] - '0');
    }
    return true;
}

std::size_t slot_of(const micr_table& table, std::uint32_t key) {
    // Fibonacci hashing: the high bits of the product spread nearby numbers.
    return static_cast<std::size_t>((key * 0x9E3779B1u) >> table.shift);
}

// Finds the slot that holds `key`, or the free slot where it belongs.
std::size_t find_slot(const micr_table& table, std::uint32_t key) {
    const std::size_t mask = table.slots.size() - 1;
    std::size_t i = slot_of(table, key);
    while (table.slots[i].entry != 0 && table.slots[i].key != key) i = (i + 1) & mask;
    return i;
}

struct candidate {
    std::uint32_t key;
    exception_entry entry;
};

void build_hash(micr_table& table, const std::vector<candidate>& candidates) {
    // At most half full, so that probes stay short.
    std::size_t size = 16;
    unsigned bits = 4;
    while (size < 2 * candidates.size()) {
        size *= 2;
        ++bits;
    }
    table.slots.assign(size, micr_table::slot{0, 0});
    table.shift = 32 - bits;
    table.entries.reserve(candidates.size());
    for (const candidate& c : candidates) {
        const std::size_t i = find_slot(table, c.key);
        if (table.slots[i].entry != 0) continue;  // the first entry for a number wins
        table.entries.push_back(c.entry);
        table.slots[i] = {c.key, static_cast<std::uint32_t>(table.entries.size())};
    }
}

micr_table* make_table(const char* text, std::size_t length) {
    auto table = std::make_unique<micr_table>();
    std::vector<candidate> candidates;
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
            table->malformed = true;
        } else if (judged.kind == table_line_kind::entry && !table->malformed) {
            // Entries below a malformed line are never reached by a search.
            std::uint32_t key;
            if (!routing_key(judged.tokens[1].text, judged.tokens[1].length, key)) continue;
            candidate c{key, {}};
            read_entry(judged, c.entry);
            candidates.push_back(c);
        }
    }
    build_hash(*table, candidates);
    return table.release();
}

}  // namespace

micr_exception_state lookup_table(const micr_table& table, const char* transit, exception_entry& entry) {
    std::uint32_t key;
    if (routing_key(transit, text_length(transit, MICR_TRANSIT_SIZE), key)) {
        const micr_table::slot& found = table.slots[find_slot(table, key)];
        if (found.entry != 0) {
            entry = table.entries[found.entry - 1];
            return EX_USED;
        }
    }
    return table.malformed ? EX_INVALID : EX_NORMAL;
}

micr_table* read_table(text_source& source) {
    std::string bytes;
    constexpr std::size_t chunk = 1 << 16;
    for (;;) {
        const std::size_t used = bytes.size();
        bytes.resize(used + chunk);
        const long got = read_bytes(source, bytes.data() + used, chunk);
        if (got < 0) return nullptr;
        bytes.resize(used + static_cast<std::size_t>(got));
        if (got == 0) break;
        if (bytes.size() > largest_table_file) {
            errno = EFBIG;
            return nullptr;
        }
    }
    return make_table(bytes.data(), bytes.size());
}

}  // namespace micr

micr_table* micr_table_open(const char* path) {
    if (path == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    // The table is read whole, past the source's own buffering.
    char unused[1];
    micr::text_source source;
    if (!micr::open_text_source(source, path, unused, sizeof unused)) return nullptr;  // a directory: EISDIR
    micr_table* table = nullptr;
    struct stat info {};
    if (::fstat(source.fd, &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<std::uintmax_t>(info.st_size) > micr::largest_table_file) {
        errno = EFBIG;
    } else {
        try {
            table = micr::read_table(source);
        } catch (const std::bad_alloc&) {
            errno = ENOMEM;
        }
    }
    const int saved = errno;
    micr::close_text_source(source);
    errno = saved;
    return table;
}

micr_table* micr_table_from_text(const char* text, size_t length) {
    if (text == nullptr && length > 0) {
        errno = EINVAL;
        return nullptr;
    }
    try {
        return micr::make_table(text != nullptr ? text : "", length);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return nullptr;
    }
}

void micr_table_free(micr_table* table) { delete table; }

size_t micr_table_problem_count(const micr_table* table) { return table != nullptr ? table->problems.size() : 0; }

long micr_table_problem_line(const micr_table* table, size_t index) {
    if (table == nullptr || index >= table->problems.size()) return 0;
    return table->problems[index].line;
}

const char* micr_table_problem_message(const micr_table* table, size_t index) {
    if (table == nullptr || index >= table->problems.size()) return "";
    return table->problems[index].message.c_str();
}
