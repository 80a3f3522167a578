// micrtest for people and for CI, end to end: several files in one run, the
// options, the summary line, the JUnit XML that CI tools read back, and the
// HTML page as a browser renders it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "test_support.h"

namespace {

using micr_test::program_run;
using micr_test::read_file;
using micr_test::run_program;
using micr_test::temp_dir;
using micr_test::write_file;

const std::string micrtest = MICRTEST_PATH;

// A case that agrees when no table can be read, and one whose account differs.
const std::string agreeing =
    "1,t987654320t 12345678o 0101 a0000012500a,personal cheque,0,0000012500,0,,2,,2,,2,,2,12345678o 0101,0,,2,"
    "987654320,0\n";
const std::string differing =
    "2,t987654320t 12345678o 0101 a0000012500a,wrong account,0,0000012500,0,,2,,2,99,0,,2,12345678o 0101,0,,2,"
    "987654320,0\n";

program_run run_in(const temp_dir& dir, const std::vector<std::string>& args) {
    return run_program(micrtest, args, dir.path());
}

// Several files run one after another, each exactly as it runs alone.
TEST(MicrtestFiles, EachFileAsItRunsAloneAndTheWorstExitStatus) {
    temp_dir dir(false);
    write_file(dir.file("good.txt"), agreeing);
    write_file(dir.file("marked.txt"), differing);
    write_file(dir.file("skips.txt"), "not a test case\n");
    write_file(dir.file("--help"), agreeing);
    std::filesystem::create_directory(dir.file("a directory"));
    const struct {
        const char* why;
        std::vector<std::string> files;
        std::vector<std::string> args;  // when not the files themselves
        int exit_status;
    } rows[] = {
        {"two that agree", {"good.txt", "good.txt"}, {}, 0},
        {"a marked field in the second", {"good.txt", "marked.txt"}, {}, 2},
        {"a skipped line", {"skips.txt", "good.txt"}, {}, 2},
        {"a missing file in the middle", {"good.txt", "missing.txt", "marked.txt"}, {}, 1},
        {"a last file that cannot be read", {"good.txt", "a directory"}, {}, 1},
        {"'-x' names a file", {"-x"}, {}, 1},
        {"'--' ends the options", {"--help", "good.txt"}, {"--", "--help", "good.txt"}, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        std::string alone;
        for (const std::string& file : row.files) alone += run_in(dir, {"--", file}).out;
        const program_run run = run_in(dir, row.args.empty() ? row.files : row.args);
        EXPECT_EQ(run.out, alone);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.exit_status, row.exit_status);
    }
}

TEST(MicrtestOptions, HelpVersionUsageErrorsSummaryAndTable) {
    temp_dir dir(false);
    write_file(dir.file("cases.txt"), agreeing + differing + "bad line\n");
    write_file(dir.file("table.dat"), "B 987654320 A 1 0 4 L\n");
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);

    const program_run help = run_in(dir, {"--help"});
    EXPECT_EQ(help.out.rfind("Usage: micrtest [OPTION]... FILE...\n", 0), 0u);
    EXPECT_EQ(help.exit_status, 0);
    const program_run version = run_in(dir, {"--version"});
    EXPECT_EQ(version.out, "micrtest (micr) " MICR_VERSION "\n");
    EXPECT_EQ(version.exit_status, 0);

    const struct {
        std::vector<std::string> args;
        const char* message;
    } wrong[] = {
        {{"--bogus", "cases.txt"}, "micrtest: unrecognized option '--bogus'\n"},
        {{"cases.txt", "--table"}, "micrtest: option '--table' needs a file name\n"},
        {{"--summary=yes", "cases.txt"}, "micrtest: option '--summary' takes no value\n"},
    };
    for (const auto& row : wrong) {
        SCOPED_TRACE(row.message);
        const program_run run = run_in(dir, row.args);
        EXPECT_EQ(run.err, std::string(row.message) + "Try 'micrtest --help' for more information.\n");
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.exit_status, 1);
    }

    const program_run one = run_in(dir, {"--summary", "cases.txt"});
    EXPECT_EQ(one.err, "micrtest: 2 cases, 1 with differences, 1 lines skipped\n");
    EXPECT_EQ(one.out, run_in(dir, {"cases.txt"}).out) << "--summary changes nothing on standard output";
    const program_run two = run_in(dir, {"cases.txt", "--summary", "cases.txt"});
    EXPECT_EQ(two.err, "micrtest: 4 cases, 2 with differences, 2 lines skipped in 2 files\n");

    // --table reads another file by the same rules as ./PARSE.DAT.
    const auto state_of = [&](const std::vector<std::string>& args) {
        const std::string out = run_in(dir, args).out;
        const std::size_t at = out.find("exception_state:  ");
        constexpr std::size_t label = 18;
        return at == std::string::npos ? std::string() : out.substr(at + label, out.find('\n', at) - at - label);
    };
    EXPECT_EQ(state_of({"cases.txt"}), "EX_OPEN_ERR");
    EXPECT_EQ(state_of({"--table", "table.dat", "cases.txt"}), "EX_USED");
    EXPECT_EQ(state_of({"--table=missing.dat", "cases.txt"}), "EX_OPEN_ERR");
    EXPECT_EQ(state_of({"--table", "fifo", "cases.txt"}), "EX_OPEN_ERR") << "a FIFO is no table and never waited on";
}

// Labels, descriptions and MICR lines that XML and HTML must escape.
std::string hostile_cases() {
    std::string cases = agreeing + differing;
    cases += "<&\">,t987654320t 1o a1a,quote \" amp & lt < gt >,0,,2,,2,,2,,2,,2,,2,,2,,2\n";
    cases += std::string("ctl\x01\x1f,t1t \x7f\xe9\xff,latin-1 \xe9 and tab\tend,0,,2,,2,,2,,2,,2,,2,,2,,2\n");
    const std::string filler(511 - 40, 'x');
    cases += "long," + filler + ",d,0,,2,,2,,2,,2,,2,,2,,2,,2\n";  // exactly 511 characters
    cases += "skip me\n";
    return cases;
}

bool have(const char* command) {
    return std::system((std::string("command -v ") + command + " >/dev/null").c_str()) == 0;
}

TEST(MicrtestJunit, WellFormedForHostileBytesAndReadBackWithTheSameCounts) {
    ASSERT_TRUE(have("xmllint")) << "xmllint is needed: ./setup.sh --tests installs libxml2-utils";
    temp_dir dir(false);
    write_file(dir.file("cases.txt"), hostile_cases());
    const program_run run = run_in(dir, {"--junit", "report.xml", "cases.txt", "missing.txt"});
    EXPECT_EQ(run.exit_status, 1);
    const std::string xml = read_file(dir.file("report.xml"));
    EXPECT_EQ(std::system(("xmllint --noout " + dir.file("report.xml")).c_str()), 0) << xml;
    EXPECT_NE(xml.find("\\x01\\x1F"), std::string::npos) << "control bytes are written as text";
    EXPECT_NE(xml.find("latin-1 \xc3\xa9"), std::string::npos) << "Latin-1 bytes become UTF-8";
    EXPECT_NE(xml.find("<failure message=\"differs: account\">"), std::string::npos);
    EXPECT_NE(xml.find("Error opening input file (missing.txt)"), std::string::npos);

    // Python's junitparser, as CI tools read it: 5 cases and the skipped line
    // and the missing file as errors; 4 failures (the wrong account, and the
    // three hostile lines, whose expected fields are all left empty).
    const std::string script = dir.file("count.py");
    write_file(script,
               "import sys\nfrom junitparser import JUnitXml\nxml = JUnitXml.fromfile(sys.argv[1])\n"
               "tests = failures = errors = 0\n"
               "for suite in xml:\n"
               "    for case in suite:\n"
               "        tests += 1\n"
               "        kinds = [type(r).__name__ for r in case.result]\n"
               "        failures += 'Failure' in kinds\n"
               "        errors += 'Error' in kinds\n"
               "print(tests, failures, errors, xml.tests, xml.failures, xml.errors)\n");
    const program_run counted = run_program("/usr/bin/python3", {script, dir.file("report.xml")}, dir.path());
    ASSERT_EQ(counted.exit_status, 0) << counted.err << "\n(./setup.sh --tests installs python3-junitparser)";
    // Every block of the text report is a testcase.
    const std::string plain = run_in(dir, {"cases.txt"}).out;
    int blocks = 0;
    for (std::size_t at = 0; (at = plain.find("MICR line: ", at)) != std::string::npos; ++at) ++blocks;
    EXPECT_EQ(blocks, 5);
    EXPECT_EQ(counted.out, "7 4 2 7 4 2\n");
}

TEST(MicrtestReports, AReportThatCannotBeWrittenFailsTheRun) {
    temp_dir dir(false);
    write_file(dir.file("cases.txt"), agreeing);
    for (const char* option : {"--junit", "--html"}) {
        SCOPED_TRACE(option);
        const program_run run = run_in(dir, {option, "/dev/full", "cases.txt"});
        EXPECT_EQ(run.exit_status, 1);
        EXPECT_EQ(run.err, "micrtest: error writing '/dev/full': No space left on device\n");
        EXPECT_EQ(run.out, run_in(dir, {"cases.txt"}).out);
    }
}

}  // namespace

namespace {

// The page as headless Chromium renders it, scripts run.
std::string rendered(const temp_dir& dir, const std::string& page, const std::string& fragment) {
    const std::string profile = dir.file("profile-" + fragment);
    const program_run run = run_program(
        "/usr/bin/chromium",
        {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--user-data-dir=" + profile, "--virtual-time-budget=5000", "--dump-dom", "file://" + page + fragment},
        dir.path());
    EXPECT_EQ(run.exit_status, 0) << run.err;
    return run.out;
}

int occurrences(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
    return n;
}

TEST(MicrtestHtml, ABrowserShowsTheCountsTheDifferencesAndFiltersThem) {
    if (!std::filesystem::exists("/usr/bin/chromium"))
        GTEST_SKIP() << "chromium is not installed, so the HTML report is not rendered here (./setup.sh --ci "
                        "installs it, and CI runs this test)";
    temp_dir dir(false);
    write_file(dir.file("cases.txt"), agreeing + differing + agreeing + hostile_cases());
    ASSERT_EQ(run_in(dir, {"--html", "report.html", "cases.txt"}).exit_status, 2);
    const std::string page = dir.file("report.html");
    const std::string html = read_file(page);
    EXPECT_LT(html.size(), 8u * 400u + 8000u) << "about 400 bytes a case at most, beside the page's own";
    EXPECT_EQ(html.find("<&\""), std::string::npos) << "a label reached the page unescaped";

    const std::string all = rendered(dir, page, "");
    EXPECT_NE(all.find("id=\"cases-count\">8<"), std::string::npos);
    EXPECT_NE(all.find("id=\"differing-count\">5<"), std::string::npos);
    EXPECT_NE(all.find("id=\"skipped-count\">1<"), std::string::npos);
    EXPECT_EQ(occurrences(all, "<tr class=\"case"), 8);
    EXPECT_EQ(occurrences(all, "<tr class=\"case differing\""), 5);
    EXPECT_NE(all.find("<td class=\"differs\">expected OK 99</td>"), std::string::npos)
        << "the wrong account is shown beside the expected one";
    EXPECT_NE(all.find("&lt;&amp;\"&gt;"), std::string::npos) << "the hostile label is shown as text";

    const std::string differences = rendered(dir, page, "#differences");
    EXPECT_EQ(occurrences(differences, "<tr class=\"case"), 5) << "#differences hides the cases that agree";
    EXPECT_EQ(occurrences(differences, "<tr class=\"case differing\""), 5);
}

}  // namespace
