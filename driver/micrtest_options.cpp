#include "micrtest_options.h"

#include <string_view>

namespace micr {
namespace {

// Options that take a value, given as --name=VALUE or --name VALUE.
struct valued_option {
    std::string_view name;
    const char* micrtest_options::*value;
};
constexpr valued_option valued_options[] = {
    {"--table", &micrtest_options::table},
    {"--junit", &micrtest_options::junit},
    {"--html", &micrtest_options::html},
};

struct flag_option {
    std::string_view name;
    bool micrtest_options::*flag;
};
constexpr flag_option flag_options[] = {
    {"--summary", &micrtest_options::summary},
    {"--help", &micrtest_options::help},
    {"--version", &micrtest_options::version},
};

}  // namespace

std::string parse_micrtest_options(int argc, const char* const* argv, micrtest_options& options) {
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (options_ended || !arg.starts_with("--")) {
            options.files.push_back(argv[i]);
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }
        const std::string_view name = arg.substr(0, arg.find('='));
        bool known = false;
        for (const flag_option& f : flag_options) {
            if (name != f.name) continue;
            if (name.size() != arg.size()) return "option '" + std::string(name) + "' takes no value";
            options.*f.flag = true;
            known = true;
        }
        for (const valued_option& v : valued_options) {
            if (name != v.name) continue;
            if (name.size() != arg.size()) {
                options.*v.value = argv[i] + name.size() + 1;
            } else if (i + 1 < argc) {
                options.*v.value = argv[++i];
            } else {
                return "option '" + std::string(name) + "' needs a file name";
            }
            known = true;
        }
        if (!known) return "unrecognized option '" + std::string(arg) + "'";
    }
    return {};
}

}  // namespace micr
