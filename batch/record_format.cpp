#include "record_format.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include <nlohmann/json.hpp>

#include "fields.h"

namespace micr::batch {
namespace {

// Columns before the fields and after them; the CSV header and every record
// follow this one list, then the fields of the record in record order.
constexpr const char* leading_columns[] = {"file", "line", "micr", "status", "exception_state", "unrecognized_symbols"};
constexpr const char* error_column = "error";
// What a line tells beyond its fields, after every other column.
constexpr const char* fact_columns[] = {"amount_cents", "transit_form", "routing_repair"};

// A value escapes to at most six bytes per byte (a control byte as \u00XX);
// everything around the values fits in this.
constexpr std::size_t fixed_record_room = 4096;
constexpr std::size_t widest_escape = 6;

// Eight bytes at a time: whether some byte of a word is below n (n <= 128),
// above n (n < 128), or equal to b.  Exact about whether there is one.
constexpr std::uint64_t ones = 0x0101010101010101u, highs = 0x8080808080808080u;
constexpr bool has_below(std::uint64_t x, unsigned n) { return ((x - ones * n) & ~x & highs) != 0; }
constexpr bool has_above(std::uint64_t x, unsigned n) { return (((x + ones * (127 - n)) | x) & highs) != 0; }
constexpr bool has_byte(std::uint64_t x, unsigned char b) { return has_below(x ^ (ones * b), 1); }

// Which bytes stand in a value as they are: in a JSON string, printable
// ASCII but the quote and the backslash; in a CSV field, ASCII but the
// separator, the quote and the line ends.  Anything else goes the slow way.
struct json_rule {
    static constexpr std::array<bool, 256> byte = [] {
        std::array<bool, 256> plain{};
        for (int c = 0x20; c <= 0x7e; ++c) plain[static_cast<std::size_t>(c)] = c != '"' && c != '\\';
        return plain;
    }();
    static bool word(std::uint64_t x) {
        return !(has_below(x, 0x20) || has_above(x, 0x7e) || has_byte(x, '"') || has_byte(x, '\\'));
    }
    static constexpr char quote = '"';
};

struct csv_rule {
    static constexpr std::array<bool, 256> byte = [] {
        std::array<bool, 256> plain{};
        for (int c = 0; c < 0x80; ++c)
            plain[static_cast<std::size_t>(c)] = c != ',' && c != '"' && c != '\r' && c != '\n';
        return plain;
    }();
    static bool word(std::uint64_t x) {
        return (x & highs) == 0 && !(has_byte(x, ',') || has_byte(x, '"') || has_byte(x, '\r') || has_byte(x, '\n'));
    }
    static constexpr char quote = '\0';  // a plain CSV field needs no quotes
};

// A short constant text in a fixed-size array: copied with one fixed-size
// move, longer than the text, then the cursor moves on by the text's length.
struct piece {
    static constexpr std::size_t room = 32;
    char text[room] = {};
    std::size_t length = 0;
};

constexpr piece make_piece(std::initializer_list<const char*> parts) {
    piece p;
    for (const char* part : parts)
        for (; *part != '\0'; ++part) p.text[p.length++] = *part;
    return p;
}

// The constant pieces of a JSON record around each field's values, and the
// status and state names without the blanks that pad them.
struct json_pieces {
    piece text_key[field_count];    // ,"amount":
    piece status_key[field_count];  // ,"amount_status":"
    piece status_names[7];          // by status 0..5, then the catch-all
    piece state_names[5];           // by state 0..3, then the catch-all
    json_pieces() {
        for (const field_id f : all_fields) {
            text_key[f] = make_piece({",\"", fields[f].name, "\":"});
            status_key[f] = make_piece({",\"", fields[f].name, "_status\":\""});
        }
        // The parser's own names, without the blanks that pad them.
        for (int code = 0; code < 7; ++code) {
            const std::string_view name = micr_status_name(code);
            status_names[code] = make_piece({std::string(name.substr(0, name.find_last_not_of(' ') + 1)).c_str()});
        }
        for (int state = 0; state < 5; ++state) state_names[state] = make_piece({micr_exception_state_name(state)});
    }
    const piece& status_name(signed char status) const { return status_names[status >= 0 && status < 6 ? status : 6]; }
    const piece& state_name(signed char state) const { return state_names[state >= 0 && state < 4 ? state : 4]; }
};

const json_pieces pieces;

// A cursor into a buffer that has room for everything written through it,
// and for piece::room bytes more.
class cursor {
public:
    explicit cursor(char* at) : at_(at) {}
    template <std::size_t N>
    void put(const char (&text)[N]) {
        std::memcpy(at_, text, N - 1);
        at_ += N - 1;
    }
    void put(std::string_view text) {
        if (text.empty()) return;  // an empty view may have no data to copy from
        std::memcpy(at_, text.data(), text.size());
        at_ += text.size();
    }
    void put(const piece& p) {
        std::memcpy(at_, p.text, piece::room);
        at_ += p.length;
    }
    void put(char c) { *at_++ = c; }
    void number(long value) { at_ = std::to_chars(at_, at_ + 24, value).ptr; }
    // Copies `bytes`, between the rule's quotes, if every byte of it is plain
    // by `Rule`; returns false, having moved nothing, if one is not.
    template <class Rule>
    bool plain_bytes(std::string_view bytes) {
        char* to = at_;
        if (Rule::quote != '\0') *to++ = Rule::quote;
        std::size_t i = 0;
        for (; i + 8 <= bytes.size(); i += 8, to += 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes.data() + i, 8);
            if (!Rule::word(word)) return false;
            std::memcpy(to, &word, 8);
        }
        for (; i < bytes.size(); ++i) {
            if (!Rule::byte[static_cast<unsigned char>(bytes[i])]) return false;
            *to++ = bytes[i];
        }
        if (Rule::quote != '\0') *to++ = Rule::quote;
        at_ = to;
        return true;
    }
    // The same for a NUL-terminated text inside a buffer of `width` bytes.
    template <class Rule>
    bool plain_text(const char* text, std::size_t width) {
        char* to = at_;
        if (Rule::quote != '\0') *to++ = Rule::quote;
        std::size_t i = 0;
        // Whole words up to the one that holds the terminator.
        for (; i + 8 <= width; i += 8, to += 8) {
            std::uint64_t word;
            std::memcpy(&word, text + i, 8);
            if (has_below(word, 1) || !Rule::word(word)) break;
            std::memcpy(to, &word, 8);
        }
        for (; i < width && text[i] != '\0'; ++i) {
            if (!Rule::byte[static_cast<unsigned char>(text[i])]) return false;
            *to++ = text[i];
        }
        if (Rule::quote != '\0') *to++ = Rule::quote;
        at_ = to;
        return true;
    }
    char* end() const { return at_; }

private:
    char* at_;
};

// A value as JSON or CSV text; `utf8`: the bytes are valid UTF-8 and stand
// for themselves, else each byte is the code point of its value.
void json_text(cursor& out, std::string_view bytes, bool utf8 = false) {
    if (!out.plain_bytes<json_rule>(bytes))
        out.put(nlohmann::json(utf8 ? std::string(bytes) : latin1_to_utf8(bytes)).dump());
}

void csv_text(cursor& out, std::string_view bytes, bool utf8 = false) {
    if (!out.plain_bytes<csv_rule>(bytes)) out.put(csv_field(utf8 ? std::string(bytes) : latin1_to_utf8(bytes)));
}

// What the line tells beyond its fields.
struct line_facts {
    bool has_cents = false;
    unsigned long long cents = 0;   // the amount, when it is OK and below 2^53: exact in every JSON reader
    std::string_view transit_form;  // empty: none
    char repair[10] = {};
    std::size_t repair_length = 0;  // 0: no repair
};

line_facts facts_of(const micr_result& r) {
    line_facts facts;
    if (r.amount_status == ST_OK) {
        unsigned long long value = 0;
        for (const char* p = r.amount; *p != '\0'; ++p) value = value * 10 + static_cast<unsigned>(*p - '0');
        facts.has_cents = value < (1ull << 53);
        facts.cents = value;
    }
    if (r.transit_status == ST_OK)
        facts.transit_form = std::strchr(r.transit, dash_symbol) != nullptr ? "canadian" : "aba";
    if (r.transit_status == ST_UNRECOG && micr_repair_routing(r.transit, facts.repair) == 1)
        facts.repair_length = sizeof facts.repair - 1;
    return facts;
}

void json_facts(cursor& out, const line_facts& facts) {
    out.put(",\"amount_cents\":");
    if (facts.has_cents)
        out.number(static_cast<long>(facts.cents));
    else
        out.put("null");
    out.put(",\"transit_form\":");
    if (!facts.transit_form.empty())
        json_text(out, facts.transit_form);
    else
        out.put("null");
    out.put(",\"routing_repair\":");
    if (facts.repair_length != 0)
        json_text(out, std::string_view(facts.repair, facts.repair_length));
    else
        out.put("null");
}

void csv_facts(cursor& out, const line_facts& facts) {
    out.put(',');
    if (facts.has_cents) out.number(static_cast<long>(facts.cents));
    out.put(',');
    out.put(facts.transit_form);
    out.put(',');
    out.put(std::string_view(facts.repair, facts.repair_length));
}

// A text buffer of the record, up to its terminator and never past its end.
std::string_view text_view(const micr_result& r, field_id f) {
    const char* text = text_of(r, f);
    return std::string_view(text, strnlen(text, fields[f].width));
}

}  // namespace

bool valid_utf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = p + bytes.size();
    while (p < end) {
        const unsigned char b = *p;
        if (b < 0x80) {
            ++p;
            continue;
        }
        // Length and the range of the second byte, which rules out overlong
        // forms, surrogates and code points beyond U+10FFFF.
        std::size_t length;
        unsigned char low = 0x80, high = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            if (b == 0xE0) low = 0xA0;
            if (b == 0xED) high = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            if (b == 0xF0) low = 0x90;
            if (b == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (static_cast<std::size_t>(end - p) < length || p[1] < low || p[1] > high) return false;
        for (std::size_t i = 2; i < length; ++i)
            if (p[i] < 0x80 || p[i] > 0xBF) return false;
        p += length;
    }
    return true;
}

std::string latin1_to_utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

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

std::string csv_header() {
    std::string row;
    for (const char* name : leading_columns) row.append(name).append(",");
    for (const field_id f : all_fields)
        row.append(fields[f].name).append(",").append(fields[f].name).append("_status,");
    row.append(error_column);
    for (const char* name : fact_columns) row.append(",").append(name);
    row.append("\n");
    return row;
}

void record_writer::set_file(std::string_view name) {
    file_.assign(record_bound(name.size()), '\0');
    cursor out(file_.data());
    // A name that is no UTF-8 is written byte by byte, whatever the encoding.
    const bool utf8 = encoding_ == text_encoding::utf8 && valid_utf8(name);
    if (format_ == output_format::csv)
        csv_text(out, name, utf8);
    else
        json_text(out, name, utf8);
    file_.resize(static_cast<std::size_t>(out.end() - file_.data()));
}

std::size_t record_writer::record_bound(std::size_t line_length) const {
    std::size_t texts = 0;
    for (const field_id f : all_fields) texts += fields[f].width;
    return fixed_record_room + file_.size() + widest_escape * (line_length + texts);
}

char* record_writer::write_record(char* at, long line, std::string_view micr, const micr_result& result) const {
    cursor out(at);
    if (format_ == output_format::csv) {
        out.put(file_);
        out.put(',');
        out.number(line);
        out.put(',');
        csv_text(out, micr, encoding_ == text_encoding::utf8);
        out.put(',');
        out.number(result.status);
        out.put(',');
        out.put(pieces.state_name(result.exception_state));
        out.put(',');
        out.number(result.unrecognized_symbols);
        for (const field_id f : all_fields) {
            out.put(',');
            if (!out.plain_text<csv_rule>(text_of(result, f), fields[f].width)) csv_text(out, text_view(result, f));
            out.put(',');
            out.put(pieces.status_name(status_of(result, f)));
        }
        out.put(',');  // no error
        csv_facts(out, facts_of(result));
        out.put('\n');
        return out.end();
    }
    out.put("{\"file\":");
    out.put(file_);
    out.put(",\"line\":");
    out.number(line);
    out.put(",\"micr\":");
    json_text(out, micr, encoding_ == text_encoding::utf8);
    out.put(",\"status\":");
    out.number(result.status);
    out.put(",\"exception_state\":\"");
    out.put(pieces.state_name(result.exception_state));
    out.put("\",\"unrecognized_symbols\":");
    out.number(result.unrecognized_symbols);
    for (const field_id f : all_fields) {
        out.put(pieces.text_key[f]);
        if (!out.plain_text<json_rule>(text_of(result, f), fields[f].width)) json_text(out, text_view(result, f));
        out.put(pieces.status_key[f]);
        out.put(pieces.status_name(status_of(result, f)));
        out.put('"');
    }
    json_facts(out, facts_of(result));
    out.put("}\n");
    return out.end();
}

char* record_writer::write_error(char* at, long line, std::string_view reason) const {
    cursor out(at);
    if (format_ == output_format::csv) {
        out.put(file_);
        out.put(',');
        out.number(line);
        // micr, the three record values and two columns per field stay empty.
        for (std::size_t i = 0; i < std::size(leading_columns) - 2 + 2 * field_count; ++i) out.put(',');
        out.put(',');
        csv_text(out, reason);
        out.put(",,,\n");  // nothing the line tells
        return out.end();
    }
    out.put("{\"file\":");
    out.put(file_);
    out.put(",\"line\":");
    out.number(line);
    out.put(",\"error\":");
    json_text(out, reason);
    out.put("}\n");
    return out.end();
}

void record_writer::append_record(std::string& out, long line, std::string_view micr, const micr_result& result) const {
    const std::size_t used = out.size();
    out.resize(used + record_bound(micr.size()));
    out.resize(static_cast<std::size_t>(write_record(out.data() + used, line, micr, result) - out.data()));
}

void record_writer::append_error(std::string& out, long line, std::string_view reason) const {
    const std::size_t used = out.size();
    out.resize(used + record_bound(reason.size()));
    out.resize(static_cast<std::size_t>(write_error(out.data() + used, line, reason) - out.data()));
}

}  // namespace micr::batch
