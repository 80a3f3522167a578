// Text-mode line reading over memory and over files: line ends, Ctrl-Z,
// over-long lines, NUL bytes, and reading through very small buffers.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "line_reader.h"
#include "test_support.h"

namespace {

using namespace std::string_literals;

// One line as read_text_line hands it out.
struct read_line {
    std::string text;  // the bytes stored, NULs included
    std::size_t length = 0;
    bool too_long = false;
    bool has_nul = false;
    bool operator==(const read_line&) const = default;
};

std::ostream& operator<<(std::ostream& out, const read_line& line) {
    out << '"';
    for (const char c : line.text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 || byte > 126) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out << escaped;
        } else {
            out << c;
        }
    }
    return out << "\" length " << line.length << (line.too_long ? " too long" : "") << (line.has_nul ? " NUL" : "");
}

// A line that fits and holds no NUL unless its text does.
read_line fits(const std::string& text) { return {text, text.size(), false, text.find('\0') != std::string::npos}; }

std::vector<read_line> read_all(micr::text_source& source, std::size_t line_size) {
    std::vector<read_line> lines;
    std::vector<char> buffer(line_size);
    micr::text_line info;
    while (micr::read_text_line(source, buffer.data(), line_size, info)) {
        const std::size_t stored = info.length < line_size - 1 ? info.length : line_size - 1;
        EXPECT_EQ(buffer[stored], '\0') << "line not terminated after its stored bytes";
        lines.push_back({std::string(buffer.data(), stored), info.length, info.too_long, info.has_nul});
        if (lines.size() > 1000) break;  // a reader that never ends
    }
    // Once at the end, the source stays there.
    EXPECT_FALSE(micr::read_text_line(source, buffer.data(), line_size, info));
    EXPECT_FALSE(micr::read_text_line(source, buffer.data(), line_size, info));
    return lines;
}

std::vector<read_line> read_memory(const std::string& bytes, std::size_t line_size) {
    // Exactly the bytes, no terminator: a read past the end is caught.
    std::unique_ptr<char[]> data(new char[bytes.size()]);
    bytes.copy(data.get(), bytes.size());
    micr::text_source source;
    micr::memory_text_source(source, data.get(), bytes.size());
    return read_all(source, line_size);
}

std::vector<read_line> read_file_through(const std::string& path, std::size_t capacity, std::size_t line_size) {
    std::unique_ptr<char[]> buffer(new char[capacity]);
    micr::text_source source;
    EXPECT_TRUE(micr::open_text_source(source, path.c_str(), buffer.get(), capacity));
    std::vector<read_line> lines = read_all(source, line_size);
    micr::close_text_source(source);
    return lines;
}

// Read buffer sizes for files: the smallest ones put every CR LF pair and every
// Ctrl-Z on a refill boundary.
constexpr std::size_t capacities[] = {1, 2, 3, 7, 4096};

struct text_case {
    const char* why;
    std::string bytes;
    std::vector<read_line> lines;
};

void check_everywhere(const text_case& c, std::size_t line_size) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(read_memory(c.bytes, line_size), c.lines) << "from memory";
    micr_test::temp_dir dir(false);
    const std::string path = dir.file("input.txt");
    micr_test::write_file(path, c.bytes);
    for (const std::size_t capacity : capacities) {
        SCOPED_TRACE("file read through a buffer of " + std::to_string(capacity));
        EXPECT_EQ(read_file_through(path, capacity, line_size), c.lines);
    }
}

TEST(ReadTextLine, LineEndsCtrlZAndNul) {
    const text_case rows[] = {
        {"empty input", "", {}},
        {"one line without line feed", "abc", {fits("abc")}},
        {"one line with line feed: no empty line after it", "abc\n", {fits("abc")}},
        {"last line without line feed is returned", "abc\ndef", {fits("abc"), fits("def")}},
        {"CR LF", "abc\r\ndef\r\n", {fits("abc"), fits("def")}},
        {"CR LF and LF mixed", "a\r\nb\nc\r\n", {fits("a"), fits("b"), fits("c")}},
        {"lone CR inside a line is kept", "a\rb\n", {fits("a\rb")}},
        {"CR at the end of the input is kept", "abc\r", {fits("abc\r")}},
        {"of two CRs before LF only the last goes", "a\r\r\n", {fits("a\r")}},
        {"CR after LF begins the next line", "a\n\rb\n", {fits("a"), fits("\rb")}},
        {"LF CR at the end", "a\n\r", {fits("a"), fits("\r")}},
        {"CR LF alone is an empty line", "\r\n", {fits("")}},
        {"empty lines", "\n\n", {fits(""), fits("")}},
        {"empty line between two", "a\n\nb\n", {fits("a"), fits(""), fits("b")}},
        {"CR before Ctrl-Z is kept", "abc\r\x1a", {fits("abc\r")}},
        {"Ctrl-Z between CR and LF: the CR stays", "ab\r\x1a\ncd\n", {fits("ab\r")}},
        {"Ctrl-Z mid-line: the part before it is the last line",
         "ab\x1a"
         "cd\nef\n",
         {fits("ab")}},
        {"Ctrl-Z at the start of a line",
         "ab\n\x1a"
         "cd\n",
         {fits("ab")}},
        {"Ctrl-Z after the last line feed", "ab\n\x1a", {fits("ab")}},
        {"Ctrl-Z alone", "\x1a", {}},
        {"Ctrl-Z first, lines behind it",
         "\x1a"
         "ab\ncd\n",
         {}},
        {"NUL inside a line is flagged and kept", "a\0b\nc\n"s, {fits("a\0b"s), fits("c")}},
        {"line of a NUL alone", "\0\n"s, {fits("\0"s)}},
        {"NUL at the end without line feed", "ab\0"s, {fits("ab\0"s)}},
        {"bytes above 127 are ordinary", "\xff\xfe\n\x80", {fits("\xff\xfe"), fits("\x80")}},
        {"tab and form feed are ordinary", "\t\f\n", {fits("\t\f")}},
    };
    for (const auto& row : rows) check_everywhere(row, 256);
}

TEST(ReadTextLine, LinesLongerThanTheBuffer) {
    // Line buffer of 5 bytes: room for 4 characters.
    const text_case rows[] = {
        {"exactly the room", "abcd\nxy\n", {fits("abcd"), fits("xy")}},
        {"one more than the room; the next line is read normally",
         "abcde\nxy\n",
         {{"abcd", 5, true, false}, fits("xy")}},
        {"much longer, ended by CR LF", "abcdefghij\r\nxy", {{"abcd", 10, true, false}, fits("xy")}},
        {"too long last line without line feed", "xy\nabcdefgh", {fits("xy"), {"abcd", 8, true, false}}},
        {"too long, ended by Ctrl-Z",
         "abcdef\x1a"
         "gh\n",
         {{"abcd", 6, true, false}}},
        {"CR before LF does not count", "abcd\r\n", {fits("abcd")}},
        {"a CR that stays counts", "abcd\r", {{"abcd", 5, true, false}}},
        {"lone CR makes a line too long", "ab\rcd\n", {{"ab\rc", 5, true, false}}},
        {"NUL flagged in the part that did not fit", "abcde\0f\n"s, {{"abcd", 7, true, true}}},
        {"NUL flagged in the stored part", "a\0cdef\n"s, {{"a\0cd"s, 6, true, true}}},
        {"several too-long lines in a row",
         "123456\n7890123\n45\n",
         {{"1234", 6, true, false}, {"7890", 7, true, false}, fits("45")}},
    };
    for (const auto& row : rows) check_everywhere(row, 5);
}

TEST(ReadTextLine, LineBufferOfOneAndTwoBytes) {
    check_everywhere({"one byte: room for nothing", "a\n\nbc", {{"", 1, true, false}, fits(""), {"", 2, true, false}}},
                     1);
    check_everywhere({"two bytes: room for one", "a\nbc\n\r\n", {fits("a"), {"b", 2, true, false}, fits("")}}, 2);
}

// The same file through read buffers of every small size gives the same lines
// as through a big one, whatever line buffer is used.
TEST(ReadTextLine, TinyReadBuffersGiveTheSameLines) {
    const std::string bytes =
        "first\r\nsecond\rstill second\n\n\r\nlong line of many characters, longer than the line buffer\r\r\n"
        "x\0y\r\n\rz\r\nlast\r\x1a"
        "after the end\n"s;
    micr_test::temp_dir dir(false);
    const std::string path = dir.file("input.txt");
    micr_test::write_file(path, bytes);
    for (const std::size_t line_size : {std::size_t{1}, std::size_t{5}, std::size_t{16}, std::size_t{256}}) {
        SCOPED_TRACE("line buffer " + std::to_string(line_size));
        const std::vector<read_line> expected = read_file_through(path, 4096, line_size);
        ASSERT_EQ(expected.size(), 8u);
        EXPECT_EQ(expected, read_memory(bytes, line_size));
        for (std::size_t capacity = 1; capacity <= 17; ++capacity) {
            SCOPED_TRACE("read buffer " + std::to_string(capacity));
            EXPECT_EQ(read_file_through(path, capacity, line_size), expected);
        }
    }
    // What those lines are, with room for all of them.
    const std::vector<read_line> lines = read_memory(bytes, 256);
    const std::vector<read_line> expected = {
        fits("first"),
        fits("second\rstill second"),
        fits(""),
        fits(""),
        fits("long line of many characters, longer than the line buffer\r"),
        fits("x\0y"s),
        fits("\rz"),
        fits("last\r"),
    };
    EXPECT_EQ(lines, expected);
}

// Everything a read hands out, and where the source stands after it.
struct read_result {
    std::vector<read_line> lines;
    std::vector<bool> terminated;
    bool stopped_at_ctrl_z = false;
    bool operator==(const read_result&) const = default;
};

read_result read_whole(micr::text_source& source, bool ctrl_z_ends, std::size_t line_size, micr::long_lines rest) {
    source.ctrl_z_ends = ctrl_z_ends;
    read_result result;
    std::vector<char> buffer(line_size);
    micr::text_line info;
    while (micr::read_text_line(source, buffer.data(), line_size, info, rest) && result.lines.size() <= 1000) {
        const std::size_t stored = info.length < line_size - 1 ? info.length : line_size - 1;
        result.lines.push_back({std::string(buffer.data(), stored), info.length, info.too_long, info.has_nul});
        result.terminated.push_back(info.terminated);
    }
    result.stopped_at_ctrl_z = source.stopped_at_ctrl_z;
    return result;
}

std::ostream& operator<<(std::ostream& out, const read_result& result) {
    for (std::size_t i = 0; i < result.lines.size(); ++i)
        out << result.lines[i] << (result.terminated[i] ? " LF" : "") << "\n";
    return out << (result.stopped_at_ctrl_z ? "stopped at Ctrl-Z" : "");
}

// Bytes handed to a source by its reader, as many as its buffer takes.
struct bytes_in_memory {
    std::string_view rest;
    static long read(void* context, char* buffer, std::size_t size) {
        auto& self = *static_cast<bytes_in_memory*>(context);
        const std::size_t count = self.rest.copy(buffer, size);
        self.rest.remove_prefix(count);
        return static_cast<long>(count);
    }
};

read_result read_through(const std::string& bytes, std::size_t capacity, bool ctrl_z_ends, std::size_t line_size,
                         micr::long_lines rest) {
    std::vector<char> buffer(capacity);
    bytes_in_memory input{bytes};
    micr::text_source source;
    micr::fd_text_source(source, -1, buffer.data(), buffer.size());
    source.reader = {&bytes_in_memory::read, &input};
    return read_whole(source, ctrl_z_ends, line_size, rest);
}

TEST(ReadTextLine, LinesTakenWholeFromTheBufferAreThoseReadByteByByte) {
    // A line that lies whole in the read buffer is taken in one pass; through
    // a buffer of one byte none ever does.  Random inputs of every kind of
    // byte the reader decides on, in both modes, for line buffers around a
    // word's size and larger, must give the same lines either way.
    std::mt19937 engine(20261211);
    auto pick = [&engine](std::size_t n) { return static_cast<std::size_t>(engine() % n); };
    const std::string special = "\n\n\n\r\r\0\x1a\t\x80\xff"s;
    for (int i = 0; i < 300; ++i) {
        std::string bytes;
        for (std::size_t n = pick(160); n > 0; --n)
            bytes += pick(6) == 0 ? special[pick(special.size())] : static_cast<char>('a' + pick(26));
        for (const bool ctrl_z_ends : {true, false})
            for (const std::size_t line_size : {1u, 2u, 7u, 8u, 9u, 16u, 17u, 4096u})
                for (const auto rest : {micr::long_lines::skip_rest, micr::long_lines::stop}) {
                    SCOPED_TRACE(::testing::Message()
                                 << "input " << i << ", text mode " << ctrl_z_ends << ", line buffer " << line_size
                                 << ", stop " << (rest == micr::long_lines::stop));
                    const read_result byte_by_byte = read_through(bytes, 1, ctrl_z_ends, line_size, rest);
                    ASSERT_EQ(read_through(bytes, 4096, ctrl_z_ends, line_size, rest), byte_by_byte);
                    ASSERT_EQ(read_through(bytes, 64, ctrl_z_ends, line_size, rest), byte_by_byte);
                    const std::unique_ptr<char[]> data(new char[bytes.size()]);  // exactly the bytes: no slack
                    bytes.copy(data.get(), bytes.size());
                    micr::text_source source;
                    micr::memory_text_source(source, data.get(), bytes.size());
                    ASSERT_EQ(read_whole(source, ctrl_z_ends, line_size, rest), byte_by_byte);
                }
    }
}

TEST(OpenTextSource, MissingFileAndDirectoryFail) {
    micr_test::temp_dir dir(false);
    char buffer[64];
    micr::text_source source;
    EXPECT_FALSE(micr::open_text_source(source, dir.file("no-such-file").c_str(), buffer, sizeof buffer));
    EXPECT_FALSE(micr::open_text_source(source, dir.path().c_str(), buffer, sizeof buffer));
    EXPECT_FALSE(micr::open_text_source(source, "", buffer, sizeof buffer));

    micr_test::write_file(dir.file("empty"), "");
    ASSERT_TRUE(micr::open_text_source(source, dir.file("empty").c_str(), buffer, sizeof buffer));
    EXPECT_TRUE(read_all(source, 16).empty());
    micr::close_text_source(source);
}

}  // namespace
