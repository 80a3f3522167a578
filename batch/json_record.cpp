// JSON Lines records.
#include <array>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "record_columns.h"
#include "record_format.h"

namespace micr::batch {
namespace {

// In a JSON string, printable ASCII but the quote and the backslash stands
// as it is; flagged are exactly the other bytes.
struct json_rule {
    static constexpr std::array<bool, 256> byte = [] {
        std::array<bool, 256> plain{};
        for (int c = 0x20; c <= 0x7e; ++c) plain[static_cast<std::size_t>(c)] = c != '"' && c != '\\';
        return plain;
    }();
    // Each byte alone: its low seven bits, so that no sum carries into the
    // next byte.
    static constexpr std::uint64_t flagged(std::uint64_t x) {
        const std::uint64_t low = x & ~highs;
        const std::uint64_t plain = (low + ones * (0x80 - 0x20))  // 0x20 or above
                                    & ~(low + ones)               // not DEL
                                    & ((low ^ ones * '"') + ~highs) & ((low ^ ones * '\\') + ~highs) & ~x;
        return ~plain & highs;
    }
    static byte_block flagged(byte_block x) { return (x < ' ') | (x == 0x7f) | (x == '"') | (x == '\\'); }
    static constexpr char quote = '"';
    static std::string quoted(std::string_view utf8) { return json_string(utf8); }
};

// Each column's key, in column order, with what stands around it: '{'
// before the first of the record and of a group, ',' before the others, and
// after the key of a name the quote that opens its value.  Every group has
// its keys here: a record passes over those of the groups it does not carry.
struct json_keys {
    std::vector<piece> keys;
    std::vector<std::size_t> spans;  // by key: the keys of its column, a group's members included
    std::size_t error = 0;           // the index of the error column's key
    bool opens = true;               // the next key is the first of the record or of a group
    template <class Value>
    void column(column_name name, const Value&) {
        if constexpr (std::is_same_v<Value, cell::error>) error = keys.size();
        keys.push_back(make_piece(
            {opens ? "{\"" : ",\"", name.stem, name.suffix, std::is_same_v<Value, cell::name> ? "\":\"" : "\":"}));
        spans.push_back(1);
        opens = false;
    }
    template <class Get, class Members>
    void group(group_name name, bool, const Get&, Members members) {
        using Value = group_value<Get>;
        const std::size_t first = keys.size();
        column({name.key}, Value{});
        opens = true;
        members(*this, Value{});
        spans[first] = keys.size() - first;
    }
};

[[gnu::noinline]] json_keys build_keys() {
    json_keys k;
    all_columns(k, record_values{});
    return k;
}

// Built on first use, after the name tables that the column list reads.
const json_keys& keys() {
    static const json_keys built = build_keys();
    return built;
}

// A record's values, each after its key.  The record of a parsed line has
// no error key; that of a line that could not be parsed is written apart.
//
// Held by value, cursor included, and never handed out by address, so that
// the compiler may keep the cursor in a register: bytes written through it
// could otherwise be the cursor itself.
class json_values {
public:
    json_values(char* at, const json_keys& keys) : out_(at), keys_(&keys), key_(keys.keys.data()) {}
    cursor& out() { return out_; }
    void column(column_name, const cell::written& v) {
        key();
        out_.put(v.bytes);
    }
    [[gnu::always_inline]] void column(column_name, long v) {
        key();
        out_.number(v);
    }
    [[gnu::always_inline]] void column(column_name, const cell::text& v) {
        key();
        out_.text<json_rule>(v.bytes, v.utf8);
    }
    [[gnu::always_inline]] void column(column_name, const cell::field& v) {
        key();
        out_.text<json_rule>(v.text, v.width);
    }
    [[gnu::always_inline]] void column(column_name, const cell::name& v) {
        key();
        out_.put(v.text);
        out_.put('"');
    }
    void column(column_name, const std::optional<long>& v) {
        key();
        if (v)
            out_.number(*v);
        else
            out_.put("null");
    }
    void column(column_name, const cell::optional_text& v) {
        key();
        if (!v.bytes.empty())
            out_.text<json_rule>(v.bytes);
        else
            out_.put("null");
    }
    [[gnu::always_inline]] void column(column_name, const cell::optional_field& v) {
        key();
        if (v.text[0] != '\0')
            out_.text<json_rule>(v.text, v.width);
        else
            out_.put("null");
    }
    [[gnu::always_inline]] void column(column_name, const cell::optional_name& v) {
        key();
        if (v.text != nullptr) {
            out_.put('"');
            out_.put(*v.text);
            out_.put('"');
        } else {
            out_.put("null");
        }
    }
    [[gnu::always_inline]] void column(column_name, const cell::digits& v) {
        key();
        if (v.text[0] != '\0')
            out_.bare(v.text, v.width);
        else
            out_.put("null");
    }
    void column(column_name, const cell::name_list& v) {
        key();
        out_.put('[');
        for (std::size_t i = 0; i < v.count; ++i) {
            if (i > 0) out_.put(',');
            out_.put('"');
            out_.put(std::string_view(v.names[i]));
            out_.put('"');
        }
        out_.put(']');
    }
    void column(column_name, const cell::error&) { ++key_; }
    template <class Get, class Members>
    void group(group_name, bool carried, const Get& get, Members members) {
        if (carried)
            *this = carried_group(*this, get, members);
        else
            key_ += span();
    }

private:
    // Kept out of line: records without groups, the common case, are written
    // faster without their code in the way.
    template <class Get, class Members>
    [[gnu::noinline]] static json_values carried_group(json_values self, const Get& get, Members members) {
        if (const auto v = get()) {
            self.key();
            members(self, *v);
            self.out_.put('}');
        } else {
            const std::size_t keys = self.span();
            self.key();
            self.out_.put("null");
            self.key_ += keys - 1;
        }
        return self;
    }
    void key() { out_.put(*key_++); }
    // The keys of the next column, a group's members included.
    std::size_t span() const { return keys_->spans[static_cast<std::size_t>(key_ - keys_->keys.data())]; }
    cursor out_;
    const json_keys* keys_;
    const piece* key_;  // the next column's
};

void json_value(cursor& out, std::string_view bytes, bool utf8) { out.text<json_rule>(bytes, utf8); }

char* json_record(char* at, const record_values& r) {
    json_values values(at, keys());
    all_columns(values, r);
    values.out().put("}\n");
    return values.out().end();
}

char* json_error_record(char* at, const record_values& r) {
    const json_keys& k = keys();
    json_values values(at, k);
    place_columns(values, r);
    cursor& out = values.out();
    out.put(k.keys[k.error]);
    out.text<json_rule>(r.error);
    out.put("}\n");
    return out.end();
}

}  // namespace

std::string json_string(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (const char c : utf8) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (const auto b = static_cast<unsigned char>(c); b < 0x20) {
                    constexpr char hex[] = "0123456789abcdef";
                    out += "\\u00";
                    out += hex[b >> 4];
                    out += hex[b & 0xf];
                } else {
                    out += c;  // DEL and the bytes of multi-byte characters too
                }
        }
    }
    out += '"';
    return out;
}

const format_writer json_writer = {json_value, json_record, json_error_record};

}  // namespace micr::batch
