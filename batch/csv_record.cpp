// CSV rows.
#include <array>
#include <cstdint>
#include <string>

#include "record_columns.h"
#include "record_format.h"

namespace micr::batch {
namespace {

// In a CSV field, ASCII but the separator, the quote and the line ends
// stands as it is, without quotes.
struct csv_rule {
    static constexpr std::array<bool, 256> byte = [] {
        std::array<bool, 256> plain{};
        for (int c = 0; c < 0x80; ++c)
            plain[static_cast<std::size_t>(c)] = c != ',' && c != '"' && c != '\r' && c != '\n';
        return plain;
    }();
    // Each byte alone, as in json_rule::flagged; control bytes below 0x0e,
    // NUL, LF and CR among them, are flagged all.
    static constexpr std::uint64_t flagged(std::uint64_t x) {
        const std::uint64_t low = x & ~highs;
        const std::uint64_t plain =
            (low + ones * (0x80 - 0x0e)) & ((low ^ ones * '"') + ~highs) & ((low ^ ones * ',') + ~highs) & ~x;
        return ~plain & highs;
    }
    static byte_block flagged(byte_block x) { return (x < 0x0e) | (x == '"') | (x == ','); }
    static constexpr char quote = '\0';  // a plain CSV field needs no quotes
    static std::string quoted(std::string_view utf8) { return csv_field(utf8); }
};

// Cells left empty: each is its comma.
struct csv_empty_cells {
    cursor& out;
    template <class Value>
    void column(column_name, const Value&) {
        out.put(',');
    }
};

// A row's cells, each followed by a comma; the end of the row replaces the
// last one.  Holds its cursor by value and is never handed out by address,
// as json_values.
class csv_cells {
public:
    explicit csv_cells(char* at) : out_(at) {}
    cursor& out() { return out_; }
    void column(column_name, const cell::written& v) { cell(v.bytes); }
    [[gnu::always_inline]] void column(column_name, long v) {
        out_.number(v);
        out_.put(',');
    }
    [[gnu::always_inline]] void column(column_name, const cell::text& v) {
        out_.text<csv_rule>(v.bytes, v.utf8);
        out_.put(',');
    }
    [[gnu::always_inline]] void column(column_name, const cell::field& v) {
        out_.text<csv_rule>(v.text, v.width);
        out_.put(',');
    }
    [[gnu::always_inline]] void column(column_name, const cell::name& v) {
        out_.put(v.text);
        out_.put(',');
    }
    void column(column_name, const std::optional<long>& v) {
        if (v) out_.number(*v);
        out_.put(',');
    }
    void column(column_name, const cell::optional_text& v) { text(v.bytes); }
    [[gnu::always_inline]] void column(column_name, const cell::optional_field& v) {
        out_.text<csv_rule>(v.text, v.width);
        out_.put(',');
    }
    [[gnu::always_inline]] void column(column_name, const cell::optional_name& v) {
        if (v.text != nullptr) out_.put(*v.text);
        out_.put(',');
    }
    [[gnu::always_inline]] void column(column_name, const cell::digits& v) {
        out_.bare(v.text, v.width);
        out_.put(',');
    }
    void column(column_name, const cell::error& v) { text(v.reason); }
    void column(column_name, const cell::name_list& v) {
        for (std::size_t i = 0; i < v.count; ++i) {
            if (i > 0) out_.put('|');
            out_.put(std::string_view(v.names[i]));
        }
        out_.put(',');
    }
    template <class Get, class Members>
    void group(group_name, bool carried, const Get& get, Members members) {
        if (carried) out_ = carried_group(out_, get, members);
    }
    // Ends the row.
    char* end() {
        out_.back(1);
        out_.put('\n');
        return out_.end();
    }

private:
    // Kept out of line: rows without groups, the common case, are written
    // faster without their code in the way.
    template <class Get, class Members>
    [[gnu::noinline]] static cursor carried_group(cursor out, const Get& get, Members members) {
        if (const auto v = get()) {
            csv_cells cells(out.end());
            members(cells, *v);
            return cells.out_;
        }
        csv_empty_cells empty{out};
        members(empty, group_value<Get>{});
        return out;
    }
    void text(std::string_view bytes) {
        out_.text<csv_rule>(bytes);
        out_.put(',');
    }
    void cell(std::string_view written) {
        out_.put(written);
        out_.put(',');
    }
    cursor out_;
};

// The cells after file and line of a line that could not be parsed: all
// empty but the error.
struct csv_error_cells {
    csv_cells& cells;
    template <class Value>
    void column(column_name, const Value&) {
        cells.out().put(',');
    }
    void column(column_name name, const cell::error& v) { cells.column(name, v); }
    template <class Get, class Members>
    void group(group_name, bool carried, const Get&, Members members) {
        if (carried) members(*this, group_value<Get>{});
    }
};

// The header row: each column's name, a group's members after its prefix.
struct csv_names {
    std::string row;
    const char* prefix = "";
    template <class Value>
    void column(column_name name, const Value&) {
        if (!row.empty()) row += ',';
        row.append(prefix).append(name.stem).append(name.suffix);
    }
    template <class Get, class Members>
    void group(group_name name, bool carried, const Get&, Members members) {
        if (!carried) return;
        prefix = name.prefix;
        members(*this, group_value<Get>{});
        prefix = "";
    }
};

void csv_value(cursor& out, std::string_view bytes, bool utf8) { out.text<csv_rule>(bytes, utf8); }

char* csv_record(char* at, const record_values& r) {
    csv_cells cells(at);
    all_columns(cells, r);
    return cells.end();
}

char* csv_error_record(char* at, const record_values& r) {
    csv_cells cells(at);
    place_columns(cells, r);
    csv_error_cells rest{cells};
    line_columns(rest, r);
    return cells.end();
}

}  // namespace

std::string csv_field(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string csv_header(const record_options& options) {
    csv_names names;
    record_values columns;
    columns.groups = groups_of(options);
    all_columns(names, columns);
    return names.row + '\n';
}

const format_writer csv_writer = {csv_value, csv_record, csv_error_record};

}  // namespace micr::batch
