// micrparse's record formatting: the byte-to-UTF-8 mapping, JSON escaping
// and CSV quoting, and whole records in both formats against the JSON
// library's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "fields.h"
#include "record_format.h"
#include "utf8.h"

namespace {

using micr::batch::csv_field;
using micr::batch::latin1_to_utf8;

TEST(Latin1ToUtf8, EachByteBecomesTheCodePointOfTheSameValue) {
    const struct {
        std::string bytes;
        std::string utf8;
        const char* why;
    } rows[] = {
        {"", "", "nothing in, nothing out"},
        {"t123456780t 12345678o", "t123456780t 12345678o", "ASCII passes unchanged"},
        {std::string("\x7f", 1), std::string("\x7f", 1), "127 is the last one-byte code point"},
        {"\x80", "\xc2\x80", "128 is the first two-byte code point"},
        {"\xbf", "\xc2\xbf", "last byte with the C2 lead"},
        {"\xc0", "\xc3\x80", "first byte with the C3 lead"},
        {"\xe9", "\xc3\xa9", "e acute"},
        {"\xff", "\xc3\xbf", "255, the highest byte"},
        {"a1\xe9"
         "2a",
         "a1\xc3\xa9"
         "2a",
         "a high byte between ASCII bytes"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(latin1_to_utf8(row.bytes), row.utf8);
    }
}

// Decodes two-byte UTF-8 sequences back into single bytes, so that the test
// below shows nothing is lost.
std::string utf8_to_latin1(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out += utf8[i];
        } else {
            const auto next = static_cast<unsigned char>(utf8.at(++i));
            EXPECT_TRUE(b == 0xc2 || b == 0xc3) << "lead byte " << int{b};
            EXPECT_EQ(next & 0xc0, 0x80) << "continuation byte " << int{next};
            out += static_cast<char>(((b & 0x03) << 6) | (next & 0x3f));
        }
    }
    return out;
}

TEST(Latin1ToUtf8, EveryByteValueSurvivesTheRoundTrip) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(utf8_to_latin1(latin1_to_utf8(all)), all);
}

TEST(CsvField, QuotedOnlyWhenItHoldsASeparatorAQuoteOrALineEnd) {
    const struct {
        std::string text;
        std::string field;
        const char* why;
    } rows[] = {
        {"", "", "an empty text is an empty field"},
        {"12345678o 0101", "12345678o 0101", "blanks inside need no quotes"},
        {" 0101", " 0101", "a leading blank is kept as it is, unquoted"},
        {"1,2", "\"1,2\"", "a comma would split the field"},
        {"1\"2", "\"1\"\"2\"", "a quote is doubled inside quotes"},
        {"\"", "\"\"\"\"", "a quote alone"},
        {"1\r2", "\"1\r2\"", "a carriage return would end the row for some readers"},
        {"1\n2", "\"1\n2\"", "a line feed would end the row"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(csv_field(row.text), row.field);
    }
}

TEST(CsvHeader, NamesEveryColumnInRecordOrder) {
    EXPECT_EQ(micr::batch::csv_header(),
              "file,line,micr,status,exception_state,unrecognized_symbols,"
              "amount,amount_status,account,account_status,tpc,tpc_status,csn,csn_status,"
              "transit,transit_status,epc,epc_status,onus,onus_status,auxonus,auxonus_status,error,"
              "amount_cents,transit_form,routing_repair,eft_routing\n");
}

TEST(RecordWriter, ErrorRecordsCarryFileLineAndReasonOnly) {
    std::string json, csv;
    micr::batch::record_writer json_writer(micr::batch::output_format::json_lines);
    micr::batch::record_writer csv_writer(micr::batch::output_format::csv);
    json_writer.set_file("day,1.txt");
    csv_writer.set_file("day,1.txt");
    json_writer.append_error(json, 12, "line holds a NUL byte");
    csv_writer.append_error(csv, 12, "line holds a NUL byte");
    EXPECT_EQ(json, R"({"file":"day,1.txt","line":12,"error":"line holds a NUL byte"})"
                    "\n");
    // file and line, 20 empty cells (micr, the three record values and the
    // eight fields' text and status), the error, then four empty cells.
    EXPECT_EQ(csv, "\"day,1.txt\",12" + std::string(21, ',') + "line holds a NUL byte,,,,\n");
}

// Random texts: bytes of every value, or valid UTF-8 text of code points of
// every length, control characters and DEL among them.
class random_texts {
public:
    explicit random_texts(unsigned seed) : engine_(seed) {}
    std::size_t pick(std::size_t n) { return static_cast<std::size_t>(engine_() % n); }
    std::string bytes(std::size_t most) {
        std::string t;
        for (std::size_t n = pick(most + 1); n > 0; --n) t += static_cast<char>(pick(256));
        return t;
    }
    std::string utf8(std::size_t most) {
        // One code point from each range in turn, at random within it.
        static constexpr std::uint32_t ranges[][2] = {{0, 0x1f},       {0x20, 0x7f},     {0x80, 0x7ff},
                                                      {0x800, 0xd7ff}, {0xe000, 0xffff}, {0x10000, 0x10ffff}};
        std::string t;
        for (std::size_t n = pick(most + 1); n > 0; --n) {
            const auto& range = ranges[pick(std::size(ranges))];
            const auto c = range[0] + static_cast<std::uint32_t>(pick(range[1] - range[0] + 1));
            auto byte = [&t](std::uint32_t b) { t += static_cast<char>(b); };
            if (c < 0x80) {
                byte(c);
            } else if (c < 0x800) {
                byte(0xc0 | (c >> 6)), byte(0x80 | (c & 0x3f));
            } else if (c < 0x10000) {
                byte(0xe0 | (c >> 12)), byte(0x80 | ((c >> 6) & 0x3f)), byte(0x80 | (c & 0x3f));
            } else {
                byte(0xf0 | (c >> 18)), byte(0x80 | ((c >> 12) & 0x3f)), byte(0x80 | ((c >> 6) & 0x3f)),
                    byte(0x80 | (c & 0x3f));
            }
        }
        return t;
    }

private:
    std::mt19937 engine_;
};

TEST(JsonString, BytesAreThoseOfTheJsonLibrary) {
    random_texts random(20261208);
    for (int i = 0; i < 20000; ++i) {
        const std::string latin1 = latin1_to_utf8(random.bytes(24)), utf8 = random.utf8(12);
        ASSERT_TRUE(micr::batch::valid_utf8(utf8));
        ASSERT_EQ(micr::batch::json_string(latin1), nlohmann::json(latin1).dump()) << "text " << i;
        ASSERT_EQ(micr::batch::json_string(utf8), nlohmann::json(utf8).dump()) << "text " << i;
    }
}

// The record as the JSON library writes it, key by key: what the writer's
// constant bytes and hand-written values must reproduce exactly.  `file` and
// `micr` are written as UTF-8 text with `utf8`, byte by byte otherwise.  The
// groups that `options` asks for hold the values of split_of, bank_of and
// x9_of: this test is about how they are written, micrparse's tests about
// what they are.
nlohmann::ordered_json library_record(std::string_view file, long line, std::string_view micr,
                                      const micr::batch::parsed_line& parsed, bool utf8,
                                      const micr::batch::record_options& options) {
    const micr_result& r = parsed.result;
    auto text = [utf8](std::string_view bytes) { return utf8 ? std::string(bytes) : latin1_to_utf8(bytes); };
    auto name = [](signed char status) {
        std::string n = micr_status_name(status);
        return n.erase(n.find_last_not_of(' ') + 1);
    };
    nlohmann::ordered_json record;
    record["file"] = text(file);
    record["line"] = line;
    record["micr"] = text(micr);
    record["status"] = static_cast<int>(r.status);
    record["exception_state"] = micr_exception_state_name(r.exception_state);
    record["unrecognized_symbols"] = static_cast<int>(r.unrecognized_symbols);
    for (const micr::field_index f : micr::all_fields) {
        const std::string key = micr::fields[f].name;
        record[key] = latin1_to_utf8(micr::text_of(r, f));
        record[key + "_status"] = name(micr::status_of(r, f));
    }
    const unsigned long long cents = r.amount_status == ST_OK ? std::stoull(r.amount) : 0;
    if (r.amount_status == ST_OK && cents < (1ull << 53))
        record["amount_cents"] = cents;
    else
        record["amount_cents"] = nullptr;
    static const std::regex canadian("[0-9]{5}d[0-9]{3}");
    if (r.transit_status != ST_OK)
        record["transit_form"] = nullptr;
    else if (std::strchr(r.transit, 'd') == nullptr)
        record["transit_form"] = "aba";
    else
        record["transit_form"] = std::regex_match(r.transit, canadian) ? "canadian" : "dash";
    char repair[10];
    if (r.transit_status == ST_UNRECOG && micr_repair_routing(r.transit, repair) == 1)
        record["routing_repair"] = repair;
    else
        record["routing_repair"] = nullptr;
    char eft[10];
    if (r.transit_status == ST_OK && micr_eft_routing(r.transit, eft) == 1)
        record["eft_routing"] = eft;
    else
        record["eft_routing"] = nullptr;

    auto text_or_null = [](std::string_view t) {
        return t.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(std::string(t));
    };
    if (options.explain) {
        nlohmann::ordered_json& split = record["split_by"];
        if (const auto split_by = micr::batch::split_of(parsed)) {
            split["table_line"] =
                split_by->table_line ? nlohmann::ordered_json(*split_by->table_line) : nlohmann::ordered_json();
            split["account"] = text_or_null(split_by->account);
            split["csn"] = text_or_null(split_by->csn);
            split["tpc"] = text_or_null(split_by->tpc);
        }
    }
    if (options.directory != nullptr) {
        nlohmann::ordered_json& bank = record["bank"];
        if (const auto found = micr::batch::bank_of(r, options.directory)) {
            bank["name"] = found->name;
            bank["city"] = found->city;
            bank["state"] = found->state;
            bank["new_routing"] = text_or_null(found->new_routing);
        }
    }
    if (options.x9) {
        const micr_x9_fields f = micr::batch::x9_of(parsed).value();
        nlohmann::ordered_json& x9 = record["x9"];
        x9["auxiliary_on_us"] = f.auxiliary_on_us;
        x9["epc"] = f.epc;
        x9["routing"] = f.routing;
        x9["check_digit"] = f.check_digit;
        x9["on_us"] = f.on_us;
        x9["amount"] = f.amount;
        x9["micr_valid"] = std::string(1, f.micr_valid);
        x9["unusable"] = nlohmann::ordered_json::array();
        const std::pair<unsigned, const char*> bits[] = {{MICR_X9_AUXILIARY_ON_US, "auxiliary_on_us"},
                                                         {MICR_X9_ROUTING, "routing"},
                                                         {MICR_X9_ON_US, "on_us"},
                                                         {MICR_X9_AMOUNT, "amount"}};
        for (const auto& [bit, bit_name] : bits)
            if ((f.unusable & bit) != 0) x9["unusable"].push_back(bit_name);
    }
    return record;
}

// The cells of one CSV row, line feed included; quoted cells unquoted.
std::vector<std::string> csv_cells(const std::string& row) {
    std::vector<std::string> cells(1);
    bool quoted = false;
    for (std::size_t i = 0; i + 1 < row.size(); ++i) {
        const char c = row[i];
        if (c == '"' && quoted && row[i + 1] == '"')
            cells.back() += row[++i];
        else if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            cells.emplace_back();
        else
            cells.back() += c;
    }
    EXPECT_EQ(row.back(), '\n');
    return cells;
}

// Each CSV cell of a record as the JSON value under the same name, or of a
// group's member under the name after the group's prefix: a string as it is,
// a number as its digits, an array as its strings joined by '|', null, a
// null group and a missing key as nothing.
std::vector<std::string> cells_of(const nlohmann::ordered_json& record, const std::vector<std::string>& names) {
    const std::pair<std::string, std::string> groups[] = {{"split_by", "split_"}, {"bank", "bank_"}, {"x9", "x9_"}};
    std::vector<std::string> cells;
    for (const std::string& name : names) {
        const nlohmann::ordered_json* value = nullptr;
        if (record.contains(name)) value = &record.at(name);
        for (const auto& [key, prefix] : groups)
            if (value == nullptr && name.starts_with(prefix) && record.contains(key) && record.at(key).is_object())
                value = &record.at(key).at(name.substr(prefix.size()));
        std::string cell;
        if (value != nullptr && value->is_string()) {
            cell = value->get<std::string>();
        } else if (value != nullptr && value->is_array()) {
            for (const auto& item : *value) cell += (cell.empty() ? "" : "|") + item.get<std::string>();
        } else if (value != nullptr && !value->is_null()) {
            cell = value->dump();
        }
        cells.push_back(cell);
    }
    return cells;
}

struct directory_deleter {
    void operator()(micr_directory* d) const { micr_directory_free(d); }
};

TEST(RecordWriter, JsonBytesAreThoseOfTheJsonLibraryAndCsvCellsHoldTheSameValues) {
    // Random records over an alphabet that holds every kind of byte the
    // writer treats apart: plain ASCII, quote, backslash, control bytes, DEL,
    // bytes above 127; with --encoding=utf8, line and file name are UTF-8.
    // Each record carries a random choice of the optional groups.
    const std::string alphabet = std::string("0123456789 toad?\"\\\x01\x1f\x7f\x80\xe9\xff\t\r", 26) + "x,";
    random_texts random(20261207);
    auto text = [&](std::size_t most) {
        std::string t;
        for (std::size_t n = random.pick(most + 1); n > 0; --n) t += alphabet[random.pick(alphabet.size())];
        return t;
    };
    // Two banks whose texts need escaping and quoting, one of them moved.
    auto fedach = [](const std::string& start, const std::string& name, const std::string& city) {
        // From column 1: routing number, office, servicing bank, type, date, new routing number.
        std::string line(155, ' ');
        line.replace(0, start.size(), start).replace(35, name.size(), name).replace(107, city.size(), city);
        return line.replace(127, 2, "IL") + "\n";
    };
    const std::string listed = fedach("123456780O0110000151120126000000000", "\"QUOTED\" \\ BANK, INC", "SPRINGFIELD") +
                               fedach("011000015O0110000152120126021000021", "OLD BANK", "CITY");
    const std::unique_ptr<micr_directory, directory_deleter> directory(
        micr_directory_from_text(listed.data(), listed.size()));
    ASSERT_EQ(micr_directory_problem_count(directory.get()), 0u);
    const char* const rules[] = {nullptr, "right-lone-serial", "account-after-serial"};
    for (int i = 0; i < 4000; ++i) {
        const bool utf8 = i % 2 == 1;
        const auto encoding = utf8 ? micr::batch::text_encoding::utf8 : micr::batch::text_encoding::latin1;
        const micr::batch::record_options options{random.pick(2) == 1, random.pick(2) == 1 ? directory.get() : nullptr,
                                                  random.pick(2) == 1};
        micr::batch::record_writer json_writer(micr::batch::output_format::json_lines, encoding, options);
        micr::batch::record_writer csv_writer(micr::batch::output_format::csv, encoding, options);
        micr::batch::parsed_line parsed;
        micr_result& r = parsed.result;
        std::memset(&r, 0, sizeof r);
        r.status = static_cast<signed char>(random.pick(2));
        r.exception_state = static_cast<signed char>(random.pick(6)) - 1;  // -1 .. 4, names and "???????"
        r.unrecognized_symbols = static_cast<signed char>(random.pick(2));
        for (const micr::field_index f : micr::all_fields) {
            std::string t = text(micr::fields[f].width - 1);
            micr::status_of(r, f) = static_cast<signed char>(random.pick(8)) - 1;  // -1 .. 6
            // An amount that is OK holds digits: up to sixteen, so some reach past 2^53.
            if (f == micr::amount_field && r.amount_status == ST_OK)
                t = random.pick(3) == 0 ? "9007199254740992" : random.pick(2) ? "9007199254740991" : "0012";
            if (f == micr::transit_field && random.pick(2) == 0) {
                const char* const transits[] = {"12?456780", "12345d678", "d123", "123456780", "011000015"};
                t = transits[random.pick(std::size(transits))];
            }
            std::memcpy(micr::text_of(r, f), t.c_str(), t.size() + 1);
        }
        parsed.why.table_line = random.pick(3) == 0 ? static_cast<long>(random.pick(100000)) : 0;
        parsed.why.account_rule = rules[random.pick(std::size(rules))];
        parsed.why.csn_rule = rules[random.pick(std::size(rules))];
        parsed.why.tpc_rule = rules[random.pick(std::size(rules))];
        parsed.flags = random.pick(2) == 1 ? MICR_SALVAGE : 0;
        const std::string file = utf8 ? random.utf8(6) : text(12), micr = utf8 ? random.utf8(30) : text(60);
        parsed.text = micr;
        const long line = static_cast<long>(random.pick(1000000));
        json_writer.set_file(file);
        csv_writer.set_file(file);
        std::string json, csv;
        nlohmann::ordered_json expected;
        if (random.pick(8) == 0) {
            const std::string reason = text(20);
            json_writer.append_error(json, line, reason);
            csv_writer.append_error(csv, line, reason);
            expected["file"] = library_record(file, line, micr, parsed, utf8, {})["file"];
            expected["line"] = line;
            expected["error"] = latin1_to_utf8(reason);
        } else {
            json_writer.append_record(json, line, micr, parsed);
            csv_writer.append_record(csv, line, micr, parsed);
            expected = library_record(file, line, micr, parsed, utf8, options);
        }
        ASSERT_EQ(json, expected.dump() + "\n") << "record " << i;
        ASSERT_EQ(csv_cells(csv), cells_of(expected, csv_cells(micr::batch::csv_header(options))))
            << "record " << i << ": " << csv;
    }
}

// The cells of `row` joined back into a row.
std::string csv_row(const std::vector<std::string>& cells) {
    std::string row;
    for (const std::string& cell : cells) row += (row.empty() ? "" : ",") + cell;
    return row + "\n";
}

TEST(RecordWriter, EveryByteAtEveryPlaceOfEveryTextIsWrittenAsTheByteByByteEscapeWritesIt) {
    // Texts are copied a word at a time, their bytes judged eight at once,
    // up to the field's terminator or the end of its buffer.  Each byte value
    // at each place of the line and of each field, in texts that end at that
    // place or fill the buffer, with any bytes after the terminator, must
    // come out as json_string and csv_field write the text.  The statuses
    // are not OK, so no derived value reads the texts.
    micr::batch::record_writer json_writer(micr::batch::output_format::json_lines);
    micr::batch::record_writer csv_writer(micr::batch::output_format::csv);
    json_writer.set_file("f");
    csv_writer.set_file("f");
    const std::vector<std::string> header = csv_cells(micr::batch::csv_header());
    random_texts random(20261209);
    const std::string plain = "0123456789 toad?";
    micr::batch::parsed_line parsed;
    micr_result& r = parsed.result;
    std::memset(&r, 0, sizeof r);
    for (const micr::field_index f : micr::all_fields) micr::status_of(r, f) = ST_INVALID;

    // The record whose `column` holds `text`, against `empty`, the same
    // record with the column empty.
    struct record {
        std::string json, csv;
    };
    auto write = [&](std::string_view line) {
        record written;
        json_writer.append_record(written.json, 7, line, parsed);
        csv_writer.append_record(written.csv, 7, line, parsed);
        return written;
    };
    auto check = [&](const std::string& column, const record& empty, std::string_view line, std::string_view text) {
        const record written = write(line);
        const std::string key = "\"" + column + "\":";
        std::string json = empty.json;
        const std::size_t at = json.find(key + "\"\"");
        ASSERT_NE(at, std::string::npos) << column;
        ASSERT_EQ(written.json, json.replace(at + key.size(), 2, micr::batch::json_string(latin1_to_utf8(text))))
            << column;
        std::vector<std::string> cells = csv_cells(empty.csv);
        const auto cell = std::find(header.begin(), header.end(), column) - header.begin();
        cells.at(static_cast<std::size_t>(cell)) = csv_field(latin1_to_utf8(text));
        ASSERT_EQ(written.csv, csv_row(cells)) << column;
    };
    const record no_line = write("");
    const record no_fields = write("t");
    for (int b = 0; b < 256; ++b) {
        const char probe = static_cast<char>(b);
        SCOPED_TRACE("byte " + std::to_string(b));
        // The line: every length up to two words and a byte, every place.
        for (std::size_t length = 1; length <= 17; ++length)
            for (std::size_t place = 0; place < length; ++place) {
                std::string line;
                for (std::size_t i = 0; i < length; ++i) line += plain[random.pick(plain.size())];
                line[place] = probe;
                check("micr", no_line, line, line);
            }
        // Each field: the probe last, or inside a text that fills the buffer
        // without a terminator.
        for (const micr::field_index f : micr::all_fields) {
            const std::size_t width = micr::fields[f].width;
            char* const text = micr::text_of(r, f);
            for (std::size_t place = 0; place < width; ++place)
                for (const std::size_t length : {place + 1, width}) {
                    for (std::size_t i = 0; i < width; ++i)
                        text[i] = i < length ? plain[random.pick(plain.size())] : static_cast<char>(random.pick(256));
                    if (length < width) text[length] = '\0';
                    text[place] = probe;
                    check(micr::fields[f].name, no_fields, "t", std::string_view(text, strnlen(text, width)));
                }
            std::memset(text, 0, width);
        }
    }
}

TEST(RecordWriter, EveryCodeAndLineNumberAsTheJsonLibraryWritesThem) {
    // Statuses, exception states and the unreadable flag are bytes: each of
    // the 256 values, named or numbered as the library does.  Line numbers
    // of every length of digits.
    std::vector<long> lines = {0, std::numeric_limits<long>::max(), std::numeric_limits<long>::min()};
    for (long power = 1; power <= std::numeric_limits<long>::max() / 10; power *= 10)
        for (const long line : {power - 1, power, power + 1, 5 * power, -power}) lines.push_back(line);
    micr::batch::record_writer json_writer(micr::batch::output_format::json_lines);
    micr::batch::record_writer csv_writer(micr::batch::output_format::csv);
    json_writer.set_file("f");
    csv_writer.set_file("f");
    const std::vector<std::string> header = csv_cells(micr::batch::csv_header());
    micr::batch::parsed_line parsed;
    micr_result& r = parsed.result;
    std::memset(&r, 0, sizeof r);
    std::strcpy(r.amount, "12");
    std::strcpy(r.transit, "123456780");
    for (int code = -128; code < 128; ++code) {
        const auto c = static_cast<signed char>(code);
        r.status = r.exception_state = r.unrecognized_symbols = c;
        for (const micr::field_index f : micr::all_fields) micr::status_of(r, f) = c;
        const long line = lines[static_cast<std::size_t>(code + 128) % lines.size()];
        std::string json, csv;
        json_writer.append_record(json, line, "t", parsed);
        csv_writer.append_record(csv, line, "t", parsed);
        const nlohmann::ordered_json expected = library_record("f", line, "t", parsed, false, {});
        ASSERT_EQ(json, expected.dump() + "\n") << "code " << code;
        ASSERT_EQ(csv_cells(csv), cells_of(expected, header)) << "code " << code;
    }
}

}  // namespace
