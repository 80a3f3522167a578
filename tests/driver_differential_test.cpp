// micrtest's loop with its table read once per run, against the same loop
// parsing each case with parse_micr_line, which reads PARSE.DAT afresh for
// every cheque: over generated case files and tables, every report must be
// the same, byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "case_file.h"
#include "line_generator.h"
#include "test_support.h"

namespace {

// The original entry: the line reversed, the static record copied out.
class reversing_parser final : public micr::case_parser {
public:
    void parse(std::string_view micr_text, micr_result& result, micr::parse_notes*) override {
        const std::string reversed(micr_text.rbegin(), micr_text.rend());
        result = *parse_micr_line(reversed.c_str());
    }
};

struct run_output {
    std::string report;
    micr::run_summary summary;
};

run_output run_cases(const std::string& file, micr::case_parser& parser) {
    micr::text_source input;
    micr::memory_text_source(input, file.data(), file.size());
    char* report = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&report, &size);
    run_output run{{}, micr::run_test_cases(input, out, parser)};
    std::fclose(out);
    run.report.assign(report, size);
    std::free(report);
    return run;
}

// What stands where micrtest looks for its table.
enum class table_kind { regular, missing, fifo, directory, endless_device };

void place_table(table_kind kind, const std::string& text) {
    std::filesystem::remove_all(micr::default_table_name);
    switch (kind) {
        case table_kind::regular: micr_test::write_file(micr::default_table_name, text); break;
        case table_kind::missing: break;
        case table_kind::fifo: ASSERT_EQ(mkfifo(micr::default_table_name, 0600), 0); break;
        case table_kind::directory: std::filesystem::create_directory(micr::default_table_name); break;
        case table_kind::endless_device: ASSERT_EQ(symlink("/dev/zero", micr::default_table_name), 0); break;
    }
}

TEST(DriverDifferential, TableReadOncePerRunReportsWhatAReadPerCaseReports) {
    micr_test::temp_dir dir;
    micr_test::generator g(20261207);
    constexpr table_kind kinds[] = {table_kind::regular,   table_kind::regular,       table_kind::regular,
                                    table_kind::regular,   table_kind::missing,       table_kind::fifo,
                                    table_kind::directory, table_kind::endless_device};
    int used = 0;
    for (int round = 0; round < 120; ++round) {
        const table_kind kind = kinds[g.pick(std::size(kinds))];
        place_table(kind, g.table());
        std::string file;
        for (int i = 0; i < 40; ++i) {
            // micrtest keeps blanks at the line's right-hand end: they are part of the line.
            const std::string line = g.line() + (g.chance(10) ? " " : "");
            file += std::to_string(i) + "," + line + ",generated," + "0,,2,,2,,2,,2,,2,,2,,2," +
                    (g.chance(50) ? g.routing() : "") + ",0\n";
        }
        if (g.chance(20)) file.pop_back();  // the last case without a line feed
        SCOPED_TRACE("round " + std::to_string(round) + ", table kind " + std::to_string(static_cast<int>(kind)));
        reversing_parser per_case;
        micr::table_file_parser once_per_run;
        const run_output expected = run_cases(file, per_case);
        const run_output actual = run_cases(file, once_per_run);
        ASSERT_EQ(actual.report, expected.report);
        EXPECT_EQ(actual.summary.cases, expected.summary.cases);
        EXPECT_EQ(actual.summary.marked_cases, expected.summary.marked_cases);
        for (std::size_t at = 0; (at = actual.report.find("EX_USED", at)) != std::string::npos; ++at) ++used;
    }
    EXPECT_GT(used, 30) << "the generated tables hardly ever applied";
}

}  // namespace
