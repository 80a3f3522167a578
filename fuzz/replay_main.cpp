// Runs a fuzz target over files without libFuzzer: every regular file named on
// the command line, or found in a directory named there, is handed to the
// target once, in an exact-size buffer.  Fails when it finds no file at all,
// so that a lost corpus cannot pass as a clean run.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_checks.h"

namespace {

std::vector<char> read_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        const fs::path named = fs::absolute(argv[i]);
        if (fs::is_directory(named)) {
            for (const fs::directory_entry& entry : fs::directory_iterator(named))
                if (entry.is_regular_file()) files.push_back(entry.path());
        } else if (fs::is_regular_file(named)) {
            files.push_back(named);
        } else {
            std::fprintf(stderr, "no such file or directory: %s\n", argv[i]);
            return 1;
        }
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "no corpus files found\n");
        return 1;
    }
    // Read everything first: the target may change the working directory.
    std::vector<std::vector<char>> inputs;
    for (const fs::path& file : files) inputs.push_back(read_bytes(file));

    LLVMFuzzerInitialize(&argc, &argv);
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::fprintf(stderr, "%s\n", files[i].c_str());
        const std::size_t size = inputs[i].size();
        std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[size]);
        std::copy(inputs[i].begin(), inputs[i].end(), data.get());
        LLVMFuzzerTestOneInput(data.get(), size);
    }
    std::printf("%zu corpus files ran clean\n", files.size());
    return 0;
}
