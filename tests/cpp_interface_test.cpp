// micr.hpp, the C++ interface: what it gives must be what micrparse writes
// and what the C interface gives for the same input, and its types must not
// let a field text outlive its result.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

#include "line_generator.h"
#include "micr.hpp"
#include "test_support.h"
#include "utf8.h"

namespace {

using micr_test::temp_dir;
using micr_test::write_file;

const std::string micrparse = MICRPARSE_PATH;
const std::string source_dir = MICR_SOURCE_DIR;

// What a field text reads as in micrparse's JSON: each byte the Latin-1
// character of its value, in UTF-8.
std::string utf8_of_latin1(std::string_view bytes) { return micr::batch::latin1_to_utf8(bytes); }

// A field text can only be read from a result that outlives it.
template <class R>
concept has_field_accessor = requires(R&& r) {
    std::forward<R>(r).account();
};
static_assert(has_field_accessor<micr::result&>);
static_assert(has_field_accessor<const micr::result&>);
static_assert(!has_field_accessor<micr::result>);
static_assert(!has_field_accessor<micr::result&&>);
template <class R>
concept iterable = requires(R&& r) {
    std::forward<R>(r).begin();
};
static_assert(iterable<const micr::result&> && !iterable<micr::result>);
template <class X>
concept has_x9_accessor = requires(X&& x) {
    std::forward<X>(x).on_us();
};
static_assert(has_x9_accessor<const micr::x9_fields&> && !has_x9_accessor<micr::x9_fields>);
static_assert(std::is_nothrow_copy_constructible_v<micr::result>);
static_assert(std::is_nothrow_move_constructible_v<micr::table> && !std::is_copy_constructible_v<micr::table>);
static_assert(std::is_nothrow_move_constructible_v<micr::directory> && !std::is_copy_constructible_v<micr::directory>);
static_assert(std::is_nothrow_copy_constructible_v<micr::table_error>);

// Every generated line through micrparse and through micr::parse, with the
// example table and without, plain and salvaged: the same fields by the same
// names in the same order, the same statuses by the same names, and the same
// overall status, state and unrecognised-symbol flag.
TEST(CppInterface, ParseGivesWhatMicrparseWrites) {
    micr_test::generator gen(20240611);
    std::vector<std::string> lines;
    std::string input;
    for (int i = 0; i < 3000; ++i) {
        lines.push_back(gen.line());
        input += lines.back() + "\n";
    }
    const temp_dir dir(false);
    write_file(dir.file("lines.txt"), input);
    const std::string table_path = source_dir + "/examples/PARSE.DAT";
    const micr::table table = micr::table::open(table_path);

    for (const bool with_table : {false, true})
        for (const bool salvage : {false, true}) {
            std::vector<std::string> args = {"--format", "jsonl"};
            if (with_table) {
                args.insert(args.end(), {"--table", table_path});
            } else {
                args.emplace_back("--no-table");
            }
            if (salvage) args.emplace_back("--salvage");
            args.push_back(dir.file("lines.txt"));
            const micr_test::program_run run = micr_test::run_program(micrparse, args, dir.path());
            ASSERT_EQ(run.exit_status, 0) << run.err;
            std::istringstream records(run.out);
            std::string record;
            std::size_t n = 0;
            for (; std::getline(records, record); ++n) {
                ASSERT_LT(n, lines.size());
                const auto json = nlohmann::ordered_json::parse(record);  // keys in the order written
                const micr::result r = micr::parse(lines[n], with_table ? &table : nullptr, {salvage});
                SCOPED_TRACE(json.dump());
                EXPECT_EQ(json["status"], static_cast<int>(r.status()));
                EXPECT_EQ(r.complete(), r.status() == micr::parse_status::complete);
                EXPECT_EQ(json["exception_state"].get<std::string>(), micr::to_string(r.exception()));
                EXPECT_EQ(json["unrecognized_symbols"], r.unrecognized_symbols() ? 1 : 0);
                auto key = json.begin();
                while (key.key() != "amount") ++key;
                std::size_t fields = 0;
                for (const micr::named_field f : r) {
                    EXPECT_EQ(key.key(), f.name);
                    EXPECT_EQ(key->get<std::string>(), utf8_of_latin1(f.text));
                    ++key;
                    EXPECT_EQ(key.key(), std::string(f.name) + "_status");
                    EXPECT_EQ(key->get<std::string>(), micr::to_string(f.status));
                    ++key;
                    const micr::field same = r[f.id];
                    EXPECT_EQ(same.text, f.text);
                    EXPECT_EQ(same.status, f.status);
                    ++fields;
                }
                EXPECT_EQ(fields, micr::result::size());
                EXPECT_EQ(r.amount().text, r[micr::field_id::amount].text);
                EXPECT_EQ(r.account().text, r[micr::field_id::account].text);
                EXPECT_EQ(r.tpc().text, r[micr::field_id::tpc].text);
                EXPECT_EQ(r.csn().text, r[micr::field_id::csn].text);
                EXPECT_EQ(r.transit().status, r[micr::field_id::transit].status);
                EXPECT_EQ(r.epc().text, r[micr::field_id::epc].text);
                EXPECT_EQ(r.onus().status, r[micr::field_id::onus].status);
                EXPECT_EQ(r.auxonus().text, r[micr::field_id::auxonus].text);
                // The routing repair micrparse offers is repair_routing's.
                const auto repair = micr::repair_routing(r.transit().text);
                if (json["routing_repair"].is_null()) {
                    EXPECT_TRUE(!repair || r.transit().status != micr::field_status::unrecognized);
                } else {
                    EXPECT_EQ(json["routing_repair"].get<std::string>(), repair.value_or("(none)"));
                }
            }
            EXPECT_EQ(n, lines.size());
        }
}

// Generated tables (malformed lines included) and lines against the C
// interface: parses, explanations, Check Detail Record fields, and the
// routing helpers give what the C functions give.
TEST(CppInterface, WrappersGiveWhatTheCInterfaceGives) {
    micr_test::generator gen(77);
    for (int round = 0; round < 300; ++round) {
        const std::string table_text = gen.table();
        const micr::table table = micr::table::from_text_lenient(table_text);
        micr_table* const c_table = micr_table_from_text(table_text.data(), table_text.size());
        ASSERT_NE(c_table, nullptr);
        const std::vector<micr::problem> problems = table.problems();
        ASSERT_EQ(problems.size(), micr_table_problem_count(c_table));
        for (std::size_t i = 0; i < problems.size(); ++i) {
            EXPECT_EQ(problems[i].line, micr_table_problem_line(c_table, i));
            EXPECT_EQ(problems[i].message, micr_table_problem_message(c_table, i));
        }
        for (int k = 0; k < 20; ++k) {
            const std::string line = gen.line();
            for (const bool salvage : {false, true}) {
                const unsigned flags = salvage ? MICR_SALVAGE : 0u;
                micr_result c;
                micr_explanation c_why;
                ASSERT_GE(micr_parse_explained(c_table, line.data(), line.size(), flags, &c, &c_why), 0);
                const micr::result r = micr::parse(line, table, {salvage});
                EXPECT_TRUE(micr_test::same_result(r.raw(), c)) << line;
                EXPECT_EQ(r.account().text, c.account);
                EXPECT_EQ(static_cast<int>(r.account().status), c.account_status);
                EXPECT_EQ(r.csn().text, c.csn);
                EXPECT_EQ(r.tpc().text, c.tpc);

                const auto [er, why] = micr::parse_explained(line, table, {salvage});
                EXPECT_TRUE(micr_test::same_result(er.raw(), c)) << line;
                EXPECT_EQ(why.table_line, c_why.table_line);
                const auto name = [](const std::optional<std::string_view>& rule) {
                    return rule ? std::string(*rule) : std::string("(none)");
                };
                const auto c_name = [](const char* rule) { return rule ? std::string(rule) : std::string("(none)"); };
                EXPECT_EQ(name(why.account_rule), c_name(c_why.account_rule));
                EXPECT_EQ(name(why.csn_rule), c_name(c_why.csn_rule));
                EXPECT_EQ(name(why.tpc_rule), c_name(c_why.tpc_rule));
                const std::pair<micr::span, micr_span> spans[] = {{why.amount, c_why.amount},
                                                                  {why.on_us, c_why.on_us},
                                                                  {why.transit, c_why.transit},
                                                                  {why.epc, c_why.epc},
                                                                  {why.auxiliary_on_us, c_why.auxiliary_on_us}};
                for (const auto& [mine, theirs] : spans) {
                    EXPECT_EQ(mine.start, theirs.start);
                    EXPECT_EQ(mine.length, theirs.length);
                    EXPECT_EQ(mine.of(line), line.substr(theirs.start, theirs.length));
                }

                micr_x9_fields c_x9;
                const int unusable = micr_x9_fields_of(line.data(), line.size(), flags, &c_x9);
                const micr::x9_fields x9 = micr::x9_fields_of(line, {salvage});
                EXPECT_EQ(static_cast<int>(x9.unusable()), unusable);
                EXPECT_EQ(x9.unusable(micr::x9_part::routing), (c_x9.unusable & MICR_X9_ROUTING) != 0);
                EXPECT_EQ(x9.unusable(micr::x9_part::amount), (c_x9.unusable & MICR_X9_AMOUNT) != 0);
                EXPECT_EQ(x9.auxiliary_on_us(), c_x9.auxiliary_on_us);
                EXPECT_EQ(x9.epc(), c_x9.epc);
                EXPECT_EQ(x9.routing(), c_x9.routing);
                EXPECT_EQ(x9.check_digit(), c_x9.check_digit);
                EXPECT_EQ(x9.on_us(), c_x9.on_us);
                EXPECT_EQ(x9.amount(), c_x9.amount);
                EXPECT_EQ(static_cast<char>(x9.micr_valid()), c_x9.micr_valid);
            }
            // The routing helpers on the transit field and on garbled texts of any length.
            micr_result c;
            micr_parse(nullptr, line.data(), line.size(), 0, &c);
            for (const std::string& transit : {std::string(c.transit), gen.from("0123456789d?x", gen.pick(11))}) {
                char out[10];
                const bool repaired = micr_repair_routing(transit.c_str(), out) == 1;
                const std::optional<std::string> repair = micr::repair_routing(transit);
                EXPECT_EQ(repair.has_value(), repaired) << transit;
                if (repair && repaired) {
                    EXPECT_EQ(*repair, out);
                }
                const bool eft = micr_eft_routing(transit.c_str(), out) == 1;
                const std::optional<std::string> routing = micr::eft_routing(transit);
                EXPECT_EQ(routing.has_value(), eft) << transit;
                if (routing && eft) {
                    EXPECT_EQ(*routing, out);
                }
            }
        }
        micr_table_free(c_table);
    }
}

// Conventions by name or as six characters: what micr_translate gives with
// the convention micrparse names; a convention the C interface refuses is
// std::invalid_argument.
TEST(CppInterface, TranslateNamesTheConventionsMicrparseNames) {
    micr_test::generator gen(5);
    const struct {
        const char* name;
        const char* symbols;
    } conventions[] = {{"default", nullptr}, {"TOAD", "TOAD! "}, {"bcd", "dcb-! "}, {"XYZW*_", "XYZW*_"}};
    for (int i = 0; i < 500; ++i) {
        std::string text = gen.from("0123456789toadTOADbc-!? XYZW*_\xe2\x91\x86\x87\x88\x89", gen.pick(40));
        for (const auto& c : conventions) {
            std::string out(text.size() + 1, '\0');
            const long n = micr_translate(c.symbols, text.data(), text.size(), out.data(), out.size());
            ASSERT_GE(n, 0);
            out.resize(static_cast<std::size_t>(n));
            EXPECT_EQ(micr::translate(text, c.name), out) << c.name << ": " << text;
        }
        EXPECT_EQ(micr::translate(text), micr::translate(text, "default"));
    }
    // Names are exact; six characters must make a convention the library takes.
    for (const char* bad : {"toad", "Default", "", "TOAD!", "TOAD!  ", "t1oad ", "ttoad?", " toad?"}) {
        char probe[4];
        if (std::strlen(bad) == 6) {
            ASSERT_LT(micr_translate(bad, "", 0, probe, sizeof probe), 0) << bad;
        }
        EXPECT_THROW((void)micr::translate("t1t", bad), std::invalid_argument) << bad;
    }
}

TEST(CppInterface, ErrorsAreExceptionsWithWhatTheCInterfaceSays) {
    // A NUL byte is the one refusal left.
    const std::string with_nul("t123456780t 1\0002o", 17);
    micr_result c;
    ASSERT_EQ(micr_parse(nullptr, with_nul.data(), with_nul.size(), 0, &c), MICR_PARSE_REFUSED);
    EXPECT_THROW((void)micr::parse(with_nul), std::invalid_argument);
    EXPECT_THROW((void)micr::parse_explained(with_nul), std::invalid_argument);
    EXPECT_THROW((void)micr::x9_fields_of(with_nul), std::invalid_argument);
    // A default result is what a refused parse leaves.
    EXPECT_TRUE(micr_test::same_result(micr::result().raw(), c));

    // Files that cannot be read: errno's code.
    const temp_dir dir(false);
    const auto code_of = [](auto load) {
        try {
            load();
        } catch (const std::system_error& e) {
            return e.code();
        }
        return std::error_code();
    };
    const std::string absent = dir.file("absent.dat");
    EXPECT_EQ(code_of([&] { (void)micr::table::open(absent); }), std::error_code(ENOENT, std::generic_category()));
    EXPECT_EQ(code_of([&] { (void)micr::table::open_lenient(dir.path()); }),
              std::error_code(EISDIR, std::generic_category()));
    EXPECT_EQ(code_of([&] { (void)micr::directory::open(absent); }), std::error_code(ENOENT, std::generic_category()));

    // A table with malformed lines: strict loading throws what micrparse
    // --check-table reports, lenient loading keeps the problems.
    micr_test::generator gen(3);
    int checked = 0;
    while (checked < 20) {
        const std::string text = gen.table();
        const std::string path = dir.file("table.dat");
        write_file(path, text);
        const micr::table lenient = micr::table::open_lenient(path);
        const micr_test::program_run run = micr_test::run_program(micrparse, {"--check-table", path}, dir.path());
        // micrparse's warnings are its own; the library reports problems alone.
        std::string problems;
        for (std::size_t at = 0, end; at < run.err.size(); at = end + 1) {
            end = run.err.find('\n', at);
            const std::string line = run.err.substr(at, end - at + 1);
            if (line.find(": warning: ") == std::string::npos) problems += line;
        }
        if (lenient.problems().empty()) {
            EXPECT_NE(run.exit_status, 1);
            EXPECT_NO_THROW((void)micr::table::open(path));
            continue;
        }
        ++checked;
        try {
            (void)micr::table::open(path);
            ADD_FAILURE() << "no table_error for\n" << text;
        } catch (const micr::table_error& e) {
            EXPECT_EQ(std::string(e.what()) + "\n", problems);
            ASSERT_EQ(e.problems().size(), lenient.problems().size());
            for (std::size_t i = 0; i < e.problems().size(); ++i) {
                EXPECT_EQ(e.problems()[i].line, lenient.problems()[i].line);
                EXPECT_EQ(e.problems()[i].message, lenient.problems()[i].message);
            }
            const micr::table_error copy = e;
            EXPECT_EQ(&copy.problems(), &e.problems());
        }
        try {
            (void)micr::table::from_text(text);
            ADD_FAILURE() << "no table_error for\n" << text;
        } catch (const micr::problem_error& e) {
            EXPECT_EQ(std::string_view(e.what()).substr(0, 11), "table text:");
            EXPECT_EQ(e.problems().size(), lenient.problems().size());
        }
    }

    // A moved-from table holds nothing and parses as no table.
    const std::string line = "t026009593t 001234 5678901o a0000004250a";
    micr::table first = micr::table::open(source_dir + "/examples/PARSE.DAT");
    micr::table second = std::move(first);
    EXPECT_EQ(first.get(), nullptr);  // NOLINT(bugprone-use-after-move)
    EXPECT_TRUE(first.problems().empty());
    EXPECT_EQ(micr::parse(line, second).exception(), micr::exception_state::used);
    EXPECT_EQ(micr::parse(line, first).exception(), micr::exception_state::normal);
    micr::table third = micr::table::from_text("");
    third = std::move(second);
    EXPECT_EQ(micr::parse(line, third).exception(), micr::exception_state::used);
}

// Names of the codes are the C interface's, trimmed.
TEST(CppInterface, CodeNamesAreTheCNames) {
    for (int s = -1; s <= 6; ++s) {
        std::string c = micr_status_name(s);
        while (!c.empty() && c.back() == ' ') c.pop_back();
        EXPECT_EQ(micr::to_string(static_cast<micr::field_status>(s)), c);
        EXPECT_EQ(micr::to_string(static_cast<micr::exception_state>(s)), micr_exception_state_name(s));
    }
    EXPECT_EQ(micr::version(), MICR_VERSION);
}

// A FedACH line for a routing number: name, city and state in their columns.
std::string fedach(const std::string& routing, char type, const std::string& new_routing, const std::string& name) {
    std::string line(155, ' ');
    const auto put = [&line](std::size_t first, const std::string& text) {
        line.replace(first - 1, text.size(), text);
    };
    put(1, routing);
    put(10, "O");
    put(11, "011000015");
    line[19] = type;
    put(21, "120126");
    put(27, new_routing);
    put(36, name);
    put(108, "SPRINGFIELD");
    put(128, "IL");
    return line;
}

// Look-ups give what the C interface gives, as owning strings; a strict load
// of a directory with problems throws them.
TEST(CppInterface, DirectoryLooksUpWhatTheCInterfaceFinds) {
    const std::string text = fedach("011000015", '1', "000000000", "FIRST BANK OF TESTING") + "\n" +
                             fedach("123456780", '2', "021000021", "OLD BANK") + "\r\n" +
                             fedach("12345678", '1', "000000000", "SHORT NUMBER") + "\n";
    EXPECT_THROW((void)micr::directory::from_text(text), micr::directory_error);
    const micr::directory dir = micr::directory::from_text_lenient(text);
    micr_directory* const c_dir = micr_directory_from_text(text.data(), text.size());
    ASSERT_EQ(dir.problems().size(), micr_directory_problem_count(c_dir));
    ASSERT_EQ(dir.problems().size(), 1u);
    EXPECT_EQ(dir.problems()[0].line, micr_directory_problem_line(c_dir, 0));
    for (const std::string routing : {"011000015", "123456780", "021000021", "12345678", "0110000150", ""}) {
        micr_bank c;
        const bool listed = routing.size() == 9 && micr_directory_find(c_dir, routing.c_str(), &c) == 1;
        std::optional<micr::bank> found = dir.find(routing);
        ASSERT_EQ(found.has_value(), listed) << routing;
        if (!found) continue;
        EXPECT_EQ(found->name, c.name);
        EXPECT_EQ(found->city, c.city);
        EXPECT_EQ(found->state, c.state);
        EXPECT_EQ(found->new_routing, c.new_routing);
    }
    micr_directory_free(c_dir);
}

}  // namespace
