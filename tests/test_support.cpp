#include "test_support.h"

#include "fields.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace micr_test {

void expect_field(const char* name, const char* text, signed char status, const expected_field& want) {
    SCOPED_TRACE(name);
    EXPECT_STREQ(text, want.text);
    EXPECT_EQ(static_cast<int>(status), want.status)
        << "got " << micr_status_name(status) << ", want " << micr_status_name(want.status);
}

bool same_result(const micr_result& a, const micr_result& b) {
    if (a.status != b.status || a.exception_state != b.exception_state ||
        a.unrecognized_symbols != b.unrecognized_symbols)
        return false;
    for (const micr::field_index f : micr::all_fields)
        if (micr::status_of(a, f) != micr::status_of(b, f) ||
            std::strcmp(micr::text_of(a, f), micr::text_of(b, f)) != 0)
            return false;
    return true;
}

temp_dir::temp_dir(bool enter) {
    std::string pattern = (std::filesystem::temp_directory_path() / "micr-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    if (enter) {
        previous_ = std::filesystem::current_path().string();
        std::filesystem::current_path(path_);
    }
}

temp_dir::~temp_dir() {
    std::error_code ignored;
    if (!previous_.empty()) std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream whole;
    whole << in.rdbuf();  // in bulk: the outputs of large runs are read in unoptimised builds too
    return std::move(whole).str();
}

micr_result parse_reading_order(const std::string& line) {
    const std::string reversed(line.rbegin(), line.rend());
    // Exactly the text and its terminator, so a read past the end is caught.
    std::unique_ptr<char[]> text(new char[reversed.size() + 1]);
    std::memcpy(text.get(), reversed.c_str(), reversed.size() + 1);
    const micr_result* result = parse_micr_line(text.get());
    EXPECT_EQ(std::string(text.get()), reversed) << "the parser changed its input";
    return *result;
}

program_run run_program(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                        const std::string& input) {
    // Files instead of pipes: no deadlock whatever the program writes.
    temp_dir io(false);
    const std::string in_path = io.file("stdin"), out_path = io.file("stdout"), err_path = io.file("stderr");
    write_file(in_path, input);
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open(in_path.c_str(), O_RDONLY);
        const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
            chdir(cwd.c_str()) != 0)
            _exit(127);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    program_run run;
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) throw std::runtime_error("cannot run " + program);
    run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = read_file(out_path);
    run.err = read_file(err_path);
    return run;
}

}  // namespace micr_test
