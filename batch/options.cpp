#include "options.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <string_view>
#include <utility>
#include <vector>

namespace micr::batch {
namespace {

// The values an option takes by name.
template <class Value>
struct named {
    const char* name;
    Value value;
};

template <class Value, std::size_t N>
bool set_named(std::string_view name, const named<Value> (&choices)[N], Value& value) {
    for (const named<Value>& choice : choices)
        if (name == choice.name) {
            value = choice.value;
            return true;
        }
    return false;
}

constexpr named<output_format> formats[] = {
    {"jsonl", output_format::json_lines}, {"json", output_format::json_lines}, {"csv", output_format::csv}};
constexpr named<text_encoding> encodings[] = {{"latin1", text_encoding::latin1}, {"utf8", text_encoding::utf8}};
// Reader conventions, in micr_translate's order: transit, on-us, amount,
// dash, unreadable mark, blank; null is the library's own.
constexpr named<const char*> conventions[] = {{"default", nullptr}, {"TOAD", "TOAD! "}, {"bcd", "dcb-! "}};

// A convention by name, or six characters of one's own.
bool set_symbols(const char* value, const char*& symbols) {
    if (set_named(value, conventions, symbols)) return true;
    char probe[1];
    if (std::strlen(value) != 6 || micr_translate(value, "", 0, probe, sizeof probe) != 0) return false;
    symbols = value;
    return true;
}

// A number of parsing threads: digits alone, from 1 to max_jobs.
bool set_jobs(std::string_view value, unsigned& jobs) {
    unsigned n = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (value.empty() || error != std::errc() || end != value.data() + value.size() || n < 1 || n > max_jobs)
        return false;
    jobs = n;
    return true;
}

// Options that take one value: each may be given once.
constexpr std::string_view single_valued[] = {"--format",      "--symbols",   "--encoding",        "--table",
                                              "--check-table", "--directory", "--check-directory", "--jobs"};
// Options that only check a file, and stand alone.
constexpr std::string_view check_options[] = {"--check-table", "--check-directory"};

template <std::size_t N>
bool one_of(std::string_view name, const std::string_view (&names)[N]) {
    return std::find(names, names + N, name) != names + N;
}

}  // namespace

command_line parse_options(int argc, const char* const* argv) {
    command_line line;
    options& opt = line.opt;
    auto stop = [&line](command_line::request what, std::string error = {}) {
        line.what = what;
        line.error = std::move(error);
        return line;
    };
    using enum command_line::request;
    std::vector<std::string_view> given;  // the single-valued options seen
    bool options_ended = false;
    std::string_view check;  // the check option given
    int others = 0;          // options and file names besides it
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const std::size_t equals = arg.find('=');
        const std::string_view name = arg.substr(0, equals);  // of an option that takes a value
        // That option's value, after '=' or the next argument; null when missing.
        auto value_of = [&]() -> const char* {
            if (equals != std::string_view::npos) return argv[i] + equals + 1;
            return i + 1 < argc ? argv[++i] : nullptr;
        };
        const char* value = nullptr;
        if (!options_ended && one_of(name, single_valued)) {
            if (std::find(given.begin(), given.end(), name) != given.end())
                return stop(bad_usage, "option '" + std::string(name) + "' given twice");
            given.push_back(name);
        }
        if (!options_ended && one_of(name, check_options)) {
            if (!check.empty()) ++others;
            check = name;
        } else if (arg != "--" || options_ended) {
            ++others;
        }
        if (options_ended || arg == "-" || arg.empty() || arg[0] != '-') {
            opt.files.push_back(argv[i]);
        } else if (arg == "--") {
            options_ended = true;
        } else if (arg == "-h" || arg == "--help") {
            return stop(help);
        } else if (arg == "--version") {
            return stop(version);
        } else if (name == "--format") {
            if ((value = value_of()) == nullptr)
                return stop(bad_usage, "option '--format' needs a value: jsonl or csv");
            if (!set_named(value, formats, opt.format))
                return stop(bad_usage, "unknown format '" + std::string(value) + "' (use jsonl or csv)");
        } else if (name == "--table") {
            if ((opt.table = value_of()) == nullptr) return stop(bad_usage, "option '--table' needs a file name");
        } else if (name == "--check-table") {
            if ((opt.check_table = value_of()) == nullptr)
                return stop(bad_usage, "option '--check-table' needs a file name");
        } else if (arg == "--no-table") {
            opt.no_table = true;
        } else if (arg == "--explain") {
            opt.explain = true;
        } else if (name == "--directory") {
            if ((opt.directory = value_of()) == nullptr)
                return stop(bad_usage, "option '--directory' needs a file name");
        } else if (name == "--check-directory") {
            if ((opt.check_directory = value_of()) == nullptr)
                return stop(bad_usage, "option '--check-directory' needs a file name");
        } else if (arg == "--x9") {
            opt.x9 = true;
        } else if (name == "--symbols") {
            if ((value = value_of()) == nullptr)
                return stop(bad_usage, "option '--symbols' needs a value: default, TOAD, bcd or six characters");
            if (!set_symbols(value, opt.line.symbols))
                return stop(bad_usage, "unknown symbols '" + std::string(value) +
                                           "' (use default, TOAD, bcd or six distinct characters, no digit, a space "
                                           "only as the blank)");
        } else if (name == "--encoding") {
            if ((value = value_of()) == nullptr)
                return stop(bad_usage, "option '--encoding' needs a value: latin1 or utf8");
            if (!set_named(value, encodings, opt.line.encoding))
                return stop(bad_usage, "unknown encoding '" + std::string(value) + "' (use latin1 or utf8)");
        } else if (name == "--jobs") {
            const std::string range = "from 1 to " + std::to_string(max_jobs);
            if ((value = value_of()) == nullptr)
                return stop(bad_usage, "option '--jobs' needs a value: a number of threads " + range);
            if (!set_jobs(value, opt.jobs))
                return stop(bad_usage, "option '--jobs' takes a number of threads " + range + ", not '" +
                                           std::string(value) + "'");
        } else if (arg == "--salvage") {
            opt.line.flags |= MICR_SALVAGE;
        } else {
            return stop(bad_usage, "unknown option '" + std::string(arg) + "'");
        }
    }
    if (!check.empty() && others > 0)
        return stop(bad_usage, "option '" + std::string(check) + "' takes no other option and no file");
    if (opt.table != nullptr && opt.no_table) return stop(bad_usage, "--table and --no-table exclude each other");
    if (opt.files.empty()) opt.files.push_back("-");
    return line;
}

}  // namespace micr::batch
