// End-to-end property of micrtest: on generated test-case files that mix
// test cases, comments, empty lines, CRLF endings, malformed lines, over-long
// lines and NUL bytes, every line that is neither empty nor a comment gives
// exactly one report block or one skip message, and the exit status is 0 only
// when no line was skipped and no field was marked.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

constexpr std::size_t longest_line = 511;
constexpr char skip_prefix[] = "Skipping malformed test case on line ";
constexpr char dash_line[] = "---------------------------------------------------------";

// Test cases whose expectations agree with the parser when PARSE.DAT is an
// empty table (so the default split runs), each with 20 fields.
const char* const agreeing_cases[] = {
    // Amount, on-us, transit; section 0 is one four-digit group (the serial
    // number), section 1 the account number.
    "1,t987654320t 12345678o 0101 a0000012500a,personal cheque,0,0000012500,0,,2,0101,0,12345678,0,,2,"
    "12345678o 0101,0,,2,987654320,0",
    // The serial number comes from the auxiliary on-us field; 5 is the
    // external processing code; the closing on-us symbol leaves the on-us text.
    "2,o004567o 5 t123456780t 12345678o a0000012345a,business cheque,0,0000012345,0,,2,004567,0,12345678,0,"
    "5,0,12345678,0,004567,0,123456780,0",
    // The unreadable mark stops the parse at the on-us field, which keeps its
    // leading blank; nothing after it is scanned.
    "3,t987654320t 1234?678o 0101 a0000012500a,unreadable mark,1,0000012500,0,,2,,2,,2,,2, 1234?678o 0101,4,,2,,2",
    // 3*(1+4+7) + 7*(2+5+8) + (3+6+9) = 159 fails the check digit; the parse
    // still completes.
    "4,t123456789t 12345678o 0101 a0000000100a,check digit fails,0,0000000100,0,,2,0101,0,12345678,0,,2,"
    "12345678o 0101,0,,2,123456789,1",
    // The line ends inside the amount field: not terminated, stopped early.
    "5,0000012500a,amount without its left symbol,1,0000012500,5,,2,,2,,2,,2,,2,,2,,2",
};

std::vector<std::string> split_fields(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, ',')) fields.push_back(field);
    if (!line.empty() && line.back() == ',') fields.emplace_back();
    return fields;
}

std::string join_fields(const std::vector<std::string>& fields, std::size_t count) {
    std::string line;
    for (std::size_t i = 0; i < count && i < fields.size(); ++i) line += (i == 0 ? "" : ",") + fields[i];
    return line;
}

// What a generated file must give.
struct expectation {
    int blocks = 0;
    int marked_blocks = 0;
    std::vector<long> skipped_lines;
    long ctrl_z_line = 0;  // where a Ctrl-Z with bytes after it ends the file, else 0
};

class file_generator {
public:
    explicit file_generator(unsigned start_value) : engine_(start_value) {}

    // How often each kind of line was made.
    int made[12] = {};

    // What a file may hold besides comments, empty lines and agreeing test cases.
    enum class mix { clean, with_marked_cases, anything };

    // One file: its bytes, and what micrtest must print for it.
    std::string make(mix kinds, expectation& expect) {
        mix_ = kinds;
        std::string file;
        const int lines = pick(1, 30);
        long number = 0;
        bool ended_by_line_feed = true;
        for (int i = 0; i < lines; ++i) {
            const bool last = i == lines - 1;
            std::string line = make_line(++number, expect);
            // A last line without a line feed counts like any other.
            ended_by_line_feed = !(last && pick(0, 3) == 0);
            if (ended_by_line_feed) line += pick(0, 1) == 0 ? "\n" : "\r\n";
            file += line;
        }
        // Ctrl-Z ends the file: whatever follows it is never read, and micrtest says so.
        if (pick(0, 4) == 0) {
            expectation ignored;
            expect.ctrl_z_line = ended_by_line_feed ? number + 1 : number;
            file += '\x1a';
            mix_ = mix::anything;
            file += make_line(0, ignored) + "\n" + make_line(0, ignored) + "\n";
        }
        return file;
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine_); }

    std::string agreeing_case() { return agreeing_cases[pick(0, static_cast<int>(std::size(agreeing_cases)) - 1)]; }

    std::string text(std::size_t length, const char* alphabet) {
        const std::string letters(alphabet);
        std::string out;
        for (std::size_t i = 0; i < length; ++i)
            out += letters[static_cast<std::size_t>(pick(0, static_cast<int>(letters.size()) - 1))];
        return out;
    }

    std::string make_line(long number, expectation& expect) {
        auto skip = [&](std::string line) {
            expect.skipped_lines.push_back(number);
            return line;
        };
        static constexpr int clean_kinds[] = {0, 1, 2, 8, 3};  // the last one marks a field
        const int kind = mix_ == mix::anything ? pick(0, 11)
                         : mix_ == mix::clean  ? clean_kinds[pick(0, 3)]
                                               : clean_kinds[pick(0, 4)];
        if (number > 0) ++made[kind];
        switch (kind) {
            case 0:  // an empty line (with CRLF its carriage return is dropped)
                return "";
            case 1:  // a comment, commas and all
                return "#" + text(static_cast<std::size_t>(pick(0, 60)), "abc ,#0123o");
            case 2: {  // a test case whose expectations agree
                ++expect.blocks;
                return agreeing_case();
            }
            case 3: {  // one expected status changed: the amount line is marked
                std::vector<std::string> f = split_fields(agreeing_case());
                f[5] = f[5] == "3" ? "1" : "3";
                ++expect.blocks;
                ++expect.marked_blocks;
                return join_fields(f, f.size());
            }
            case 4: {  // fewer than 19 commas
                std::vector<std::string> f = split_fields(agreeing_case());
                return skip(join_fields(f, static_cast<std::size_t>(pick(1, 19))));
            }
            case 5: {  // an expected account number longer than its 22 characters
                std::vector<std::string> f = split_fields(agreeing_case());
                f[10] = text(static_cast<std::size_t>(pick(23, 40)), "0123456789");
                return skip(join_fields(f, f.size()));
            }
            case 6: {  // a status written with two characters
                std::vector<std::string> f = split_fields(agreeing_case());
                f[static_cast<std::size_t>(5 + 2 * pick(0, 6))] += "0";
                return skip(join_fields(f, f.size()));
            }
            case 7: {  // a NUL byte anywhere in a test case or a comment
                std::string line = pick(0, 1) == 0 ? agreeing_case() : "# comment";
                line.insert(static_cast<std::size_t>(pick(0, static_cast<int>(line.size()))), 1, '\0');
                return skip(line);
            }
            case 8: {  // a test case padded to 511 characters is still read whole
                std::vector<std::string> f = split_fields(agreeing_case());
                const std::size_t length = join_fields(f, f.size()).size();
                f[2] += std::string(longest_line - length, '.');
                ++expect.blocks;
                return join_fields(f, f.size());
            }
            case 9: {  // over-long: a test case or a comment of 512 characters and more
                std::vector<std::string> f = split_fields(agreeing_case());
                const std::size_t length = join_fields(f, f.size()).size();
                const std::size_t extra = static_cast<std::size_t>(pick(0, 400));
                f[2] += std::string(longest_line + 1 - length + extra, '.');
                if (pick(0, 1) == 0) return skip(join_fields(f, f.size()));
                return skip("#" + std::string(longest_line + extra, '#'));
            }
            case 10:  // a blank before '#' makes no comment
                return skip(" # not a comment");
            default:  // junk with a few commas and carriage returns, never empty once read
                return skip("x" + text(static_cast<std::size_t>(pick(0, 18)), "xyz019ato?d ,\r\t"));
        }
    }

    std::mt19937 engine_;
    mix mix_ = mix::anything;
};

struct observed {
    int blocks = 0;
    int marked_blocks = 0;
    std::vector<long> skipped_lines;
    long ctrl_z_line = 0;  // where a Ctrl-Z with bytes after it ends the file, else 0
};

// The file's bytes with control characters written as escapes, for a failure message.
std::string printable(const std::string& bytes) {
    std::string out;
    for (const char c : bytes) {
        if (c == '\n') {
            out += "\\n\n";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    return out;
}

observed read_report(const std::string& out) {
    observed seen;
    std::istringstream in(out);
    std::string line, previous;
    bool in_block = false;
    while (std::getline(in, line)) {
        if (line.rfind(skip_prefix, 0) == 0) {
            seen.skipped_lines.push_back(std::stol(line.substr(std::size(skip_prefix) - 1)));
            in_block = false;
        } else if (line.rfind("MICR line: ", 0) == 0 && previous == dash_line) {
            ++seen.blocks;
            in_block = true;
        } else if (in_block && line.rfind('*', 0) == 0) {
            ++seen.marked_blocks;
            in_block = false;  // one mark is enough to call the block marked
        }
        previous = line;
    }
    return seen;
}

TEST(DriverProperty, EveryLineThatIsNeitherEmptyNorACommentGivesOneBlockOrOneSkipMessage) {
    file_generator generator(0x4d494352u);
    micr_test::temp_dir dir(false);
    micr_test::write_file(dir.file("PARSE.DAT"), "");
    int clean_runs = 0, runs_with_only_marks = 0, runs_with_skips = 0;
    const file_generator::mix mixes[] = {file_generator::mix::clean, file_generator::mix::with_marked_cases,
                                         file_generator::mix::anything};
    for (int file = 0; file < 60; ++file) {
        SCOPED_TRACE("generated file " + std::to_string(file));
        expectation expect;
        const std::string bytes = generator.make(mixes[file % 3], expect);
        micr_test::write_file(dir.file("cases.txt"), bytes);
        const micr_test::program_run run = micr_test::run_program(MICRTEST_PATH, {"cases.txt"}, dir.path());
        const observed seen = read_report(run.out);
        EXPECT_EQ(seen.blocks, expect.blocks);
        EXPECT_EQ(seen.marked_blocks, expect.marked_blocks);
        EXPECT_EQ(seen.skipped_lines, expect.skipped_lines);
        EXPECT_EQ(run.exit_status, expect.skipped_lines.empty() && expect.marked_blocks == 0 ? 0 : 2);
        EXPECT_EQ(run.err, expect.ctrl_z_line == 0
                               ? std::string()
                               : "micrtest: input ends at a Ctrl-Z byte on line " + std::to_string(expect.ctrl_z_line) +
                                     "; the rest of the file is not read\n");
        if (!expect.skipped_lines.empty())
            ++runs_with_skips;
        else
            ++(expect.marked_blocks > 0 ? runs_with_only_marks : clean_runs);
        if (HasFailure()) {
            ADD_FAILURE() << "the generated file:\n" << printable(bytes);
            return;
        }
    }
    // The generator must keep making every kind of line and both outcomes,
    // or the property above says little.
    for (int kind = 0; kind < 12; ++kind) {
        SCOPED_TRACE("kind of line " + std::to_string(kind));
        EXPECT_GE(generator.made[kind], 5);
    }
    EXPECT_GE(clean_runs, 5);
    EXPECT_GE(runs_with_only_marks, 5);
    EXPECT_GE(runs_with_skips, 5);
}

}  // namespace
