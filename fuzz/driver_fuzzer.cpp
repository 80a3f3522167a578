// Fuzz target: the test driver's loop on an arbitrary test-case file, read
// from memory, report written to memory.  PARSE.DAT is a fixed table.
//
// The file is modelled here line by line, independently of the reader: the
// input ends at the first Ctrl-Z; lines end at line feeds, a carriage return
// directly before a line feed is dropped, a last line without a line feed
// counts; a line is empty or a comment only when it is at most 511 characters
// long and holds no NUL byte.  Every other line must give exactly one report
// block or one skip message, in file order.  Over-long lines, lines with a NUL
// byte and lines with fewer than 19 commas must be skipped, with their own
// line number.  A block shows the line's MICR text, label and description
// exactly as they stand in the file, and has the shape the report promises.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "case_file.h"
#include "fields.h"
#include "fuzz_checks.h"

namespace {

using micr_fuzz::fail;
using micr_fuzz::require;

constexpr std::size_t longest_line = 511;
using micr::ctrl_z;
constexpr char skip_prefix[] = "Skipping malformed test case on line ";
constexpr std::string_view dash_line = "---------------------------------------------------------";
constexpr const char* parsed_status_names[6] = {"OK     ", "INVALID", "MISSING", "TOOLONG", "UNRECOG", "NOTERM "};
constexpr const char* exception_state_names[4] = {"EX_NORMAL", "EX_USED", "EX_OPEN_ERR", "EX_INVALID"};

constexpr char table[] =
    "#type routing   blanks section offset length side\n"
    "B    026009593 D      1       7      6      R\n"
    "P    011000015 A      1       0      4      L\n";

// A line of the file that must give a block or a skip message.
struct counted_line {
    long number;
    std::string text;  // as the driver sees it: no line feed, no dropped carriage return
    bool must_skip;    // over-long, NUL byte, or fewer than 19 commas
};

std::vector<counted_line> model_lines(const char* data, std::size_t size) {
    const auto* stop = static_cast<const char*>(std::memchr(data, ctrl_z, size));
    std::string_view rest(data, stop != nullptr ? static_cast<std::size_t>(stop - data) : size);
    std::vector<counted_line> lines;
    long number = 0;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        if (end != std::string_view::npos) {
            rest.remove_prefix(end + 1);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        } else {
            rest = {};
        }
        ++number;
        const bool too_long = line.size() > longest_line;
        const bool has_nul = line.find('\0') != std::string_view::npos;
        if (!too_long && !has_nul && (line.empty() || line.front() == '#')) continue;
        const auto commas = std::count(line.begin(), line.end(), ',');
        lines.push_back({number, std::string(line), too_long || has_nul || commas < 19});
    }
    return lines;
}

// The i-th comma-separated field of a line (the line has at least 19 commas).
std::string_view field_of(std::string_view line, int index) {
    for (int i = 0; i < index; ++i) line.remove_prefix(line.find(',') + 1);
    return line.substr(0, line.find(','));
}

bool starts_with(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool one_of(std::string_view text, const char* const* names, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        if (text == names[i]) return true;
    return false;
}

class report_reader {
public:
    explicit report_reader(std::string_view output) : rest_(output) {}
    bool at_end() const { return rest_.empty(); }
    std::string_view peek() const { return rest_.substr(0, rest_.find('\n')); }
    std::string_view next() {
        const std::size_t end = rest_.find('\n');
        require(end != std::string_view::npos, "the report ends inside a line");
        const std::string_view line = rest_.substr(0, end);
        rest_.remove_prefix(end + 1);
        return line;
    }

private:
    std::string_view rest_;
};

// Reads one block and checks its shape; returns whether a field line is marked.
bool read_block(report_reader& report, const counted_line& line) {
    const std::string text = line.text;
    require(report.next() == dash_line, "a block does not begin with the dash line", text.c_str());
    require(report.next() == std::string("MICR line: ").append(field_of(text, 1)),
            "the block does not show the MICR text as written", text.c_str());
    require(report.next() == dash_line, "no dash line after the MICR line", text.c_str());
    const std::string_view label = field_of(text, 0);
    std::string heading = std::string(" Exception:        ").append(label);
    if (label.size() < 3) heading.append(3 - label.size(), ' ');
    heading.append("  ").append(field_of(text, 2));
    require(report.next() == heading, "the block does not show label and description as written", text.c_str());

    const std::string_view state = report.next();
    require(starts_with(state, " exception_state:  ") && one_of(state.substr(19), exception_state_names, 4),
            "no exception-state line", text.c_str());
    const std::string_view status = report.next();
    require(status == " status: 0 unrecognized_symbols: 0" || status == " status: 0 unrecognized_symbols: 1" ||
                status == " status: 1 unrecognized_symbols: 0" || status == " status: 1 unrecognized_symbols: 1",
            "no status line with status and flag 0 or 1", text.c_str());

    bool marked = false;
    for (const micr::field_index id : micr::all_fields) {
        // The label right-justified in ten columns.
        const std::string padded = "  " + std::string(micr::fields[id].report_label);
        const char* field_label = padded.c_str();
        const std::string_view f = report.next();
        require(f.size() == 45 || f.size() == 82, "a field line is neither 45 nor 82 characters long", field_label);
        require(f[0] == (f.size() == 45 ? ' ' : '*'), "a field line's mark does not fit its length", field_label);
        require(f.substr(1, 10) == field_label && f[11] == ' ' && f[19] == ' ', "a field line out of shape",
                field_label);
        require(one_of(f.substr(12, 7), parsed_status_names, 6), "a parsed field status outside 0..5", field_label);
        if (f.size() == 82) {
            require(f.substr(45, 4) == "    " && f[56] == ' ', "a marked field line out of shape", field_label);
            marked = true;
        }
    }
    require(report.next().empty(), "a block does not end with an empty line", text.c_str());
    return marked;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    micr_fuzz::enter_scratch_directory();
    micr_fuzz::write_table(table);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto* bytes = reinterpret_cast<const char*>(data);
    micr::text_source input;
    micr::memory_text_source(input, bytes, size);
    char* output = nullptr;
    std::size_t output_size = 0;
    std::FILE* out = open_memstream(&output, &output_size);
    if (out == nullptr) fail("open_memstream failed");
    micr::table_file_parser parser;
    const micr::run_summary summary = micr::run_test_cases(input, out, parser);
    if (std::fclose(out) != 0) fail("cannot finish the report");
    const std::string report_text(output, output_size);
    std::free(output);

    report_reader report(report_text);
    int blocks = 0, marked_blocks = 0, skips = 0;
    for (const counted_line& line : model_lines(bytes, size)) {
        require(!report.at_end(), "a line that is neither empty nor a comment gave no output",
                std::to_string(line.number).c_str());
        const std::string_view head = report.peek();
        if (starts_with(head, skip_prefix)) {
            const std::string expected = std::string(skip_prefix) + std::to_string(line.number) + ": ";
            require(starts_with(head, expected) && head.size() > expected.size(),
                    "a skip message names another line or no reason", std::string(head).c_str());
            report.next();
            ++skips;
            continue;
        }
        require(!line.must_skip, "a malformed line was not skipped", std::to_string(line.number).c_str());
        ++blocks;
        if (read_block(report, line)) ++marked_blocks;
    }
    require(report.at_end(), "output left over after every line was accounted for");

    require(summary.cases == blocks && summary.skipped == skips && summary.marked_cases == marked_blocks,
            "the run's summary disagrees with its output");
    require(micr::run_exit_status(summary) == (skips == 0 && marked_blocks == 0 ? 0 : 2),
            "the exit status does not follow the rules");
    return 0;
}
