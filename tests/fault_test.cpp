// Faults: reads that fail part-way, writes that fail, table files that are
// no regular file or that never end.  No failure may pass for success, no
// line may be lost without a word, and nothing may hang.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "batch_run.h"
#include "case_file.h"
#include "line_reader.h"
#include "parse_steps.h"
#include "test_support.h"

namespace {

using micr_test::program_run;
using micr_test::run_program;
using micr_test::temp_dir;
using micr_test::write_file;

// Bytes handed out `chunk` at a time; the read that would go past
// `fail_after` fails with EIO instead.
struct failing_bytes {
    std::string data;
    std::size_t fail_after = static_cast<std::size_t>(-1);
    std::size_t chunk = 4096;
    std::size_t position = 0;
    int reads = 0;

    static long read(void* context, char* buffer, std::size_t size) {
        auto& self = *static_cast<failing_bytes*>(context);
        ++self.reads;
        if (self.position >= self.fail_after) {
            errno = EIO;
            return -1;
        }
        std::size_t n = std::min({size, self.chunk, self.data.size() - self.position, self.fail_after - self.position});
        std::memcpy(buffer, self.data.data() + self.position, n);
        self.position += n;
        return static_cast<long>(n);
    }
};

micr::text_source source_over(failing_bytes& bytes, char* buffer, std::size_t size) {
    micr::text_source source;
    micr::fd_text_source(source, -1, buffer, size);
    source.reader = {&failing_bytes::read, &bytes};
    return source;
}

// A stream whose writes fail once `room` bytes have gone through.
struct failing_stream {
    std::string written;
    std::size_t room = 0;

    static ssize_t write(void* cookie, const char* data, std::size_t size) {
        auto& self = *static_cast<failing_stream*>(cookie);
        if (self.written.size() + size > self.room) {
            errno = ENOSPC;
            return -1;
        }
        self.written.append(data, size);
        return static_cast<ssize_t>(size);
    }
    std::FILE* open() {
        cookie_io_functions_t io{};
        io.write = &failing_stream::write;
        std::FILE* f = fopencookie(this, "w", io);
        std::setvbuf(f, nullptr, _IOFBF, 512);
        return f;
    }
};

const std::string cheque =
    "1,t987654320t 12345678o 0101 a0000012500a,personal cheque,0,0000012500,0,,2,0101,0,12345678,0,,2,"
    "12345678o 0101,0,,2,987654320,0\n";

// ---------------------------------------------------------------------------
// micrtest

TEST(ReadFault, MicrtestStopsAtAFailedReadWithoutASkipMessage) {
    temp_dir dir;  // no PARSE.DAT: what matters is where the run stops
    const std::string file = cheque + "# comment\n" + cheque + cheque;
    const struct {
        const char* why;
        std::size_t fail_after;
        int blocks;
    } rows[] = {
        {"at once", 0, 0},
        {"inside the first line", 40, 0},
        {"right after the first line", cheque.size(), 1},
        {"inside the fourth line", 2 * cheque.size() + 20, 2},
        {"where the end of the file would be read", file.size(), 3},
        {"never", static_cast<std::size_t>(-1), 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        failing_bytes bytes{file, row.fail_after, 7};
        char buffer[64];
        micr::text_source input = source_over(bytes, buffer, sizeof buffer);
        char* report = nullptr;
        std::size_t size = 0;
        std::FILE* out = open_memstream(&report, &size);
        micr::table_file_parser parser;
        const micr::run_summary summary = micr::run_test_cases(input, out, parser);
        std::fclose(out);
        const std::string text(report, size);
        std::free(report);
        EXPECT_EQ(summary.cases, row.blocks);
        EXPECT_EQ(summary.skipped, 0);
        EXPECT_EQ(text.find("Skipping"), std::string::npos) << "a line cut by the failure was judged";
        EXPECT_EQ(summary.read_error, row.fail_after <= file.size() ? EIO : 0);
    }
}

TEST(WriteFault, MicrtestStopsAtTheFirstFailedWrite) {
    temp_dir dir;
    std::string file;
    for (int i = 0; i < 50; ++i) file += cheque;
    micr::text_source input;
    micr::memory_text_source(input, file.data(), file.size());
    failing_stream stream{{}, 3000};
    std::FILE* out = stream.open();
    micr::table_file_parser parser;
    const micr::run_summary summary = micr::run_test_cases(input, out, parser);
    std::fclose(out);
    EXPECT_TRUE(summary.write_failed);
    EXPECT_LT(summary.cases, 50) << "the run went on after its report could not be written";
}

TEST(Fault, ProgramsReportReadAndWriteErrorsEndToEnd) {
    temp_dir dir(false);
    write_file(dir.file("cases.txt"), cheque);
    write_file(dir.file("lines.txt"), "a12a\n");
    const struct {
        const char* why;
        std::string program;
        std::vector<std::string> args;
        std::string out;
        std::string err;
        int exit_status;
    } rows[] = {
        {"micrtest: a file that cannot be read",
         MICRTEST_PATH,
         {"/proc/self/mem"},
         "Error reading input file (/proc/self/mem)\n",
         "",
         1},
        {"micrparse: a file that cannot be read, then one that can",
         MICRPARSE_PATH,
         {"--no-table", "/proc/self/mem", "lines.txt"},
         R"({"file":"lines.txt","line":1,"micr":"a12a","status":1,"exception_state":"EX_NORMAL",)"
         R"("unrecognized_symbols":0,"amount":"12","amount_status":"OK","account":"","account_status":"MISSING",)"
         R"("tpc":"","tpc_status":"MISSING","csn":"","csn_status":"MISSING","transit":"","transit_status":"MISSING",)"
         R"("epc":"","epc_status":"MISSING","onus":"","onus_status":"MISSING","auxonus":"","auxonus_status":"MISSING",)"
         R"("amount_cents":12,"transit_form":null,"routing_repair":null,"eft_routing":null})"
         "\n",
         "micrparse: error reading '/proc/self/mem': Input/output error\n",
         1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const program_run run = run_program(row.program, row.args, dir.path());
        EXPECT_EQ(run.out, row.out);
        EXPECT_EQ(run.err, row.err);
        EXPECT_EQ(run.exit_status, row.exit_status);
    }
}

// ---------------------------------------------------------------------------
// micrparse

// The ways micrparse's loop takes an input in: on the caller's thread line
// by line, or in blocks for parsing threads, where a source whose Ctrl-Z ends
// it is still read line by line.
struct reading {
    const char* what;
    unsigned jobs;
    bool ctrl_z_ends;
};
constexpr reading readings[] = {
    {"one thread", 1, true},
    {"two threads, line by line", 2, true},
    {"two threads, in blocks", 2, false},
};

// The CSV records of `bytes` read through `source` by micrparse's loop on
// `way`, written to a file; the summary of the input.
micr::batch::input_summary csv_records(micr::text_source& input, const reading& way, std::string& written) {
    const temp_dir dir(false);
    input.ctrl_z_ends = way.ctrl_z_ends;
    micr::batch::record_writer writer(micr::batch::output_format::csv);
    writer.set_file("-");
    const int fd = ::open(dir.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    EXPECT_GE(fd, 0);
    micr::batch::record_output out(fd, false, way.jobs);
    const micr::batch::input_summary summary = micr::batch::write_records(input, nullptr, {}, writer, out);
    EXPECT_TRUE(out.flush());
    out.finish();
    ::close(fd);
    written = micr_test::read_file(dir.file("out"));
    return summary;
}

TEST(ReadFault, MicrparseKeepsTheRecordsBeforeAFailedRead) {
    for (const reading& way : readings) {
        SCOPED_TRACE(way.what);
        const std::string lines = "a1a\na2a\na3a\n";
        failing_bytes bytes{lines, 6, 2};  // fails inside the second line
        char buffer[16];
        micr::text_source input = source_over(bytes, buffer, sizeof buffer);
        std::string written;
        const micr::batch::input_summary summary = csv_records(input, way, written);
        EXPECT_EQ(summary.read_error, EIO);
        EXPECT_EQ(summary.lines, 1);
        EXPECT_EQ(written.rfind("-,1,a1a,", 0), 0u) << written;
        EXPECT_EQ(written.find("-,2,"), std::string::npos) << "a line cut by the failure gave a record";
    }
}

TEST(ReadFault, MicrparseEndsAnInputAtACtrlZOnlyWhereTheSourceSaysSo) {
    for (const reading& way : readings) {
        SCOPED_TRACE(way.what);
        const std::string lines =
            "a1a\n\x1a"
            "a2a\na3a";
        micr::text_source input;
        micr::memory_text_source(input, lines.data(), lines.size());
        std::string written;
        const micr::batch::input_summary summary = csv_records(input, way, written);
        EXPECT_EQ(summary.lines, way.ctrl_z_ends ? 1 : 3);
        EXPECT_EQ(written.rfind("-,1,a1a,", 0), 0u) << written;
        EXPECT_EQ(written.find("-,2,\x1a"
                               "a2a,") != std::string::npos,
                  !way.ctrl_z_ends)
            << written;
        EXPECT_EQ(written.find("-,3,a3a,") != std::string::npos, !way.ctrl_z_ends) << written;
    }
}

TEST(WriteFault, MicrparseStopsAtTheFirstFailedWrite) {
    for (const reading& way : readings) {
        SCOPED_TRACE(way.what);
        std::string lines;
        for (int i = 0; i < 20000; ++i) lines += "t123456780t 12345678o 0101 a0000012500a\n";
        micr::text_source input;
        micr::memory_text_source(input, lines.data(), lines.size());
        input.ctrl_z_ends = way.ctrl_z_ends;
        micr::batch::record_writer writer(micr::batch::output_format::json_lines);
        writer.set_file("-");
        const int fd = ::open("/dev/full", O_WRONLY);  // every write fails with ENOSPC
        ASSERT_GE(fd, 0);
        micr::batch::record_output out(fd, false, way.jobs);
        const micr::batch::input_summary summary = micr::batch::write_records(input, nullptr, {}, writer, out);
        out.finish();
        ::close(fd);
        EXPECT_TRUE(summary.write_failed);
        EXPECT_EQ(out.error(), ENOSPC);
        EXPECT_LT(summary.lines, 20000) << "micrparse went on after a failed write";
    }
}

// ---------------------------------------------------------------------------
// The exception table

TEST(ReadFault, ATableSearchCutByAReadErrorCannotBeTrusted) {
    const std::string entry = "B 123456780 A 1 0 4 L\n";
    const std::string other = "B 026009593 A 1 0 4 L\n";
    const std::string bad = "B 12345678 A 1 0 4 L\n";
    const struct {
        const char* why;
        std::string table;
        std::size_t fail_after;
        int state;
    } rows[] = {
        {"before anything is read", entry, 0, EX_OPEN_ERR},
        {"inside the matching line", entry, 10, EX_OPEN_ERR},
        {"before the matching line", other + entry, other.size(), EX_OPEN_ERR},
        {"after the matching line: the outcome is known", entry + other, entry.size(), EX_USED},
        {"after a malformed line: the outcome is known", bad + other, bad.size(), EX_INVALID},
        {"before the end of a table without a match", other + other, other.size() + 5, EX_OPEN_ERR},
        {"a last line without line feed is not complete until the end is read", other + "B 123456780 A 1 0 4 L",
         other.size() + entry.size() - 1, EX_OPEN_ERR},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        failing_bytes bytes{row.table, row.fail_after, 8};
        char buffer[micr::table_read_size];
        micr::text_source table = source_over(bytes, buffer, sizeof buffer);
        micr::exception_entry entry_read{};
        EXPECT_EQ(micr::search_table(table, "123456780", entry_read), row.state);
        // micrtest reads its table once: the same bytes, the same failure,
        // the same answer.
        failing_bytes again{row.table, row.fail_after, 8};
        micr::text_source source = source_over(again, buffer, sizeof buffer);
        const micr::table_file once("");
        once.load(source);
        EXPECT_EQ(once.find_entry("123456780", entry_read), row.state) << "the table read once";
    }
}

TEST(ReadFault, ALoadedTableIsRefusedOnAnyReadError) {
    failing_bytes bytes{"B 123456780 A 1 0 4 L\nB 026009593 A 1 0 4 L\n", 30, 8};
    errno = 0;
    char buffer[16];
    micr::text_source source = source_over(bytes, buffer, sizeof buffer);
    EXPECT_EQ(micr::read_table(source), nullptr);
    EXPECT_EQ(errno, EIO);
}

TEST(TableFile, AnOverLongLineSettlesTheSearchWithoutReadingOn) {
    // Eight megabytes on one line, no line feed: one chunk is enough to know.
    failing_bytes bytes{std::string(8 << 20, 'x')};
    char buffer[micr::table_read_size];
    micr::text_source table = source_over(bytes, buffer, sizeof buffer);
    micr::exception_entry entry{};
    EXPECT_EQ(micr::search_table(table, "123456780", entry), EX_INVALID);
    EXPECT_EQ(bytes.reads, 1);
}

TEST(TableFile, WhatIsNoRegularFileIsNoTableAndNeverWaits) {
    temp_dir dir;
    const std::string line = "t123456780t 12345678o 0101 a0000012500a";
    const std::string reversed(line.rbegin(), line.rend());
    const struct {
        const char* why;
        void (*make)();
    } rows[] = {
        {"a FIFO without a writer", [] { ASSERT_EQ(mkfifo("PARSE.DAT", 0600), 0); }},
        {"a link to a device that never ends", [] { ASSERT_EQ(symlink("/dev/zero", "PARSE.DAT"), 0); }},
        {"a directory", [] { std::filesystem::create_directory("PARSE.DAT"); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        row.make();
        // A hang here is the failure: the parse must not wait for a writer or read forever.
        EXPECT_EQ(parse_micr_line(reversed.c_str())->exception_state, EX_OPEN_ERR);
        std::filesystem::remove("PARSE.DAT");
    }
}

// micrtest reads its table once, but without the size limit of a loaded
// table: the per-parse search it stands in for reads any file, and finds an
// entry on line 1 of a huge one.
TEST(TableFile, ReadOncePerRunHasNoSizeLimitAndAnswersLikeTheSearch) {
    temp_dir dir;
    const std::string entry = "B 123456780 A 1 0 4 L\n";
    write_file("huge.dat", entry);
    ASSERT_EQ(::truncate("huge.dat", (off_t{64} << 20) + 1), 0);  // sparse: NUL bytes after line 1
    errno = 0;
    EXPECT_EQ(micr_table_open("huge.dat"), nullptr);
    EXPECT_EQ(errno, EFBIG);
    const micr::table_file once("huge.dat");
    for (const char* transit : {"123456780", "026009593"}) {
        SCOPED_TRACE(transit);
        char buffer[micr::table_read_size];
        micr::text_source search;
        ASSERT_TRUE(micr::open_text_source(search, "huge.dat", buffer, sizeof buffer));
        micr::exception_entry entry_read{};
        const micr_exception_state searched = micr::search_table(search, transit, entry_read);
        micr::close_text_source(search);
        EXPECT_EQ(once.find_entry(transit, entry_read), searched);
    }
    micr::exception_entry applied{};
    EXPECT_EQ(once.find_entry("123456780", applied), EX_USED) << "line 1 of a huge file";
}

TEST(TableFile, OpenRefusesADirectoryAndAHugeFileAndReadsAPipe) {
    temp_dir dir;
    errno = 0;
    EXPECT_EQ(micr_table_open("."), nullptr);
    EXPECT_EQ(errno, EISDIR);

    // Sparse: 64 MiB and one byte, without filling the disk.
    const int fd = ::open("huge.dat", O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, (off_t{64} << 20) + 1), 0);
    ::close(fd);
    errno = 0;
    EXPECT_EQ(micr_table_open("huge.dat"), nullptr);
    EXPECT_EQ(errno, EFBIG);

    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const std::string text = "B 123456780 A 1 0 4 L\n";
    ASSERT_EQ(::write(ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(ends[1]);
    micr_table* table = micr_table_open(("/dev/fd/" + std::to_string(ends[0])).c_str());
    ::close(ends[0]);
    ASSERT_NE(table, nullptr);
    micr_result r;
    micr_parse(table, "t123456780t 12345678o", 21, 0, &r);
    EXPECT_EQ(r.exception_state, EX_USED);
    micr_table_free(table);
}

}  // namespace
