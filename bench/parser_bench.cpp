// parse_micr_line per cheque line over a generated corpus, in three settings
// of the exception table, each beside a baseline that does only the table I/O
// the parser cannot avoid for the same lines:
//
//   (a) no PARSE.DAT          baseline: the failed open, for every line whose
//                             parse reaches the table step
//   (b) 20-entry table        baseline: open, read() with the parser's chunk
//   (c) 1,000-entry table     size up to where the parser stops (the matching
//                             line, or the end of the table), close
//
// Where each parse stops is found once, before anything is timed.  After the
// runs the suite prints each scenario's time per line over its baseline's.
//
// Beside them, micr_parse with a table loaded once, of 1 and of 1,000
// entries: the second may cost at most 1.15 times the first; and the floor
// of a parse (byte_map_floor.h) over the same lines, which the 1,000-entry
// figure is reported against.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "byte_map_floor.h"
#include "corpus.h"
#include "parse_steps.h"

namespace {

constexpr std::size_t corpus_size = 12000;
constexpr double seconds_per_run = 0.1;
constexpr char table_name[] = "PARSE.DAT";

struct scenario {
    const char* key;
    const char* title;
    double target;
    const std::string* table;  // null: no PARSE.DAT
    std::string directory;
    std::vector<unsigned char> reads;  // per line, from micr_bench::table_reads
    benchmark::IterationCount iterations = 0;
};

std::vector<std::string> lines;          // reversed, as the parser takes them
std::vector<const char*> line_pointers;  // into `lines`
micr_bench::corpus generated;
scenario scenarios[3] = {
    {"a_no_table", "(a) no PARSE.DAT", 1.5, nullptr, {}, {}},
    {"b_table_20", "(b) 20-entry table", 1.2, nullptr, {}, {}},
    {"c_table_1000", "(c) 1,000-entry table", 1.2, nullptr, {}, {}},
};
std::string top_directory;
int start_directory = -1;

// micr_parse with a table loaded once: the look-up must cost the same
// whatever the size of the table.  The lines are the corpus without the
// cheques of 19 of the 20 table banks, so that both tables give every line
// the same outcome and only the size of the table differs.
struct core_scenario {
    const char* key;
    const char* title;
    micr_table* table = nullptr;
};
core_scenario core_scenarios[2] = {{"core/table_1", "1-entry table"}, {"core/table_1000", "1,000-entry table"}};
constexpr double core_target = 1.15;
constexpr char floor_key[] = "core/floor";
std::vector<std::string> printed_lines;  // as the reader delivers them

void fail(const char* what) {
    std::fprintf(stderr, "micr_bench: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

void enter(const scenario& s) {
    if (::chdir(s.directory.c_str()) != 0) fail("chdir");
}
void leave() {
    if (::fchdir(start_directory) != 0) fail("fchdir");
}

void write_table(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0)
        fail(path.c_str());
}

void remove_directories() {
    for (const scenario& s : scenarios) {
        ::unlink((s.directory + "/" + table_name).c_str());
        ::rmdir(s.directory.c_str());
    }
    ::rmdir(top_directory.c_str());
}

double one_pass_seconds() {
    const auto begin = std::chrono::steady_clock::now();
    for (const char* line : line_pointers) benchmark::DoNotOptimize(parse_micr_line(line));
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

void prepare() {
    generated = micr_bench::make_corpus(corpus_size);
    lines = micr_bench::reversed_lines(generated.cheques);
    for (const std::string& line : lines) line_pointers.push_back(line.c_str());
    scenarios[1].table = &generated.table_20;
    scenarios[2].table = &generated.table_1000;

    start_directory = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (start_directory < 0) fail("open .");
    char top[] = "/tmp/micr-bench-XXXXXX";
    if (::mkdtemp(top) == nullptr) fail("mkdtemp");
    top_directory = top;
    std::atexit(remove_directories);

    const std::string& kept_bank = generated.banks.front().routing;
    for (const micr_bench::cheque& c : generated.cheques)
        if (c.kind != micr_bench::cheque_kind::table_bank || c.text[micr::transit_field] == kept_bank)
            printed_lines.push_back(c.line);
    const std::string one_entry = micr_bench::table_entry(generated.banks.front());
    core_scenarios[0].table = micr_table_from_text(one_entry.data(), one_entry.size());
    core_scenarios[1].table = micr_table_from_text(generated.table_1000.data(), generated.table_1000.size());
    for (const core_scenario& c : core_scenarios)
        if (c.table == nullptr || micr_table_problem_count(c.table) != 0) fail("a benchmark table does not load");

    for (scenario& s : scenarios) {
        s.directory = top_directory + "/" + s.key;
        if (::mkdir(s.directory.c_str(), 0700) != 0) fail("mkdir");
        if (s.table != nullptr) write_table(s.directory + "/" + table_name, *s.table);
        enter(s);
        s.reads = micr_bench::table_reads(lines, s.table);
        // A whole number of passes over the corpus, so every line weighs the same.
        one_pass_seconds();
        const double pass = one_pass_seconds();
        const auto passes = std::max<benchmark::IterationCount>(
            1, static_cast<benchmark::IterationCount>(seconds_per_run / pass + 0.5));
        s.iterations = passes * static_cast<benchmark::IterationCount>(lines.size());
        leave();
    }
}

void print_corpus_summary() {
    std::map<std::string, int> kinds;
    for (const micr_bench::cheque& c : generated.cheques) ++kinds[micr_bench::kind_name(c.kind)];
    std::printf("Corpus: %zu cheque lines, generated with a fixed start value\n", lines.size());
    for (const auto& [name, count] : kinds) std::printf("  %-38s %6d\n", name.c_str(), count);

    int reaching = 0;
    for (unsigned char r : scenarios[0].reads) reaching += r != 0;
    std::printf("  lines whose parse reaches the table step: %d\n", reaching);

    for (int i = 1; i < 3; ++i) {
        scenario& s = scenarios[i];
        enter(s);
        int matched = 0;
        for (const char* line : line_pointers) matched += parse_micr_line(line)->exception_state == EX_USED;
        leave();
        long reads = 0;
        for (unsigned char r : s.reads) reads += r;
        std::printf("  %-24s %6zu bytes, %4d lines match (%.1f%%), %.2f read() calls per line\n", s.title,
                    s.table->size(), matched, 100.0 * matched / double(lines.size()),
                    double(reads) / double(lines.size()));
    }
    std::printf("\n");
    std::fflush(stdout);
}

void bm_parse(benchmark::State& state, const scenario* s) {
    enter(*s);
    const std::size_t n = line_pointers.size();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(parse_micr_line(line_pointers[i]));
        if (++i == n) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
    leave();
}

void bm_core(benchmark::State& state, const core_scenario* c) {
    const std::size_t n = printed_lines.size();
    std::size_t i = 0;
    micr_result result;
    for (auto _ : state) {
        const std::string& line = printed_lines[i];
        benchmark::DoNotOptimize(micr_parse(c->table, line.data(), line.size(), 0, &result));
        if (++i == n) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

// The floor over the lines micr_parse is timed on.
void bm_floor(benchmark::State& state) {
    static const micr_bench::byte_map_floor floor;
    const std::size_t n = printed_lines.size();
    std::size_t i = 0;
    unsigned char out[4096];
    for (auto _ : state) {
        const std::string& line = printed_lines[i];
        floor.map(line.data(), std::min(line.size(), sizeof out), out);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
        if (++i == n) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

// Only the table I/O: the same open, the same read sizes into a stack
// buffer, as far as the parser reads, and the close.
void bm_baseline(benchmark::State& state, const scenario* s) {
    enter(*s);
    char buffer[micr::table_read_size];
    const unsigned char* reads = s->reads.data();
    const std::size_t n = s->reads.size();
    std::size_t i = 0;
    for (auto _ : state) {
        const unsigned count = reads[i];
        if (count != 0) {
            const int fd = ::open(table_name, O_RDONLY | O_CLOEXEC);
            if (fd >= 0) {
                for (unsigned k = 0; k < count; ++k) benchmark::DoNotOptimize(::read(fd, buffer, sizeof buffer));
                ::close(fd);
            }
        }
        if (++i == n) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
    leave();
}

// The console report, then each scenario's median time per line over its
// baseline's median.
class ratio_reporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Iteration)
                samples_[name].push_back(run.GetAdjustedRealTime());
            else if (run.aggregate_name == "median")
                medians_[name] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::FILE* out = stdout;
        std::fflush(out);
        std::fprintf(out, "\nRatios (median ns per line, real time):\n");
        std::fprintf(out, "  %-24s %12s %12s %8s %8s\n", "scenario", "parser", "baseline", "ratio", "target");
        for (const scenario& s : scenarios) {
            const double parsed = median("parse/" + std::string(s.key));
            const double base = median("baseline/" + std::string(s.key));
            if (parsed <= 0 || base <= 0) continue;
            const double ratio = parsed / base;
            std::fprintf(out, "  %-24s %12.1f %12.1f %8.3f %6s%.1f %s\n", s.title, parsed, base, ratio, "<= ", s.target,
                         ratio <= s.target ? "met" : "NOT MET");
        }
        const double small = median(core_scenarios[0].key), large = median(core_scenarios[1].key);
        if (small > 0 && large > 0) {
            const double ratio = large / small;
            std::fprintf(out, "\nmicr_parse with a loaded table (median ns per line, %zu lines):\n",
                         printed_lines.size());
            std::fprintf(out, "  %-24s %12.1f\n  %-24s %12.1f\n  1,000 over 1 entry: %.3f <= %.2f %s\n",
                         core_scenarios[0].title, small, core_scenarios[1].title, large, ratio, core_target,
                         ratio <= core_target ? "met" : "NOT MET");
            if (const double floor = median(floor_key); floor > 0)
                std::fprintf(out, "  floor (each byte through a table) %6.1f\n  1,000 entries over the floor: %.2f\n",
                             floor, large / floor);
        }
        std::fflush(out);
    }

private:
    double median(const std::string& name) {
        if (auto m = medians_.find(name); m != medians_.end()) return m->second;
        auto found = samples_.find(name);
        if (found == samples_.end() || found->second.empty()) return 0;
        std::vector<double> v = found->second;
        std::sort(v.begin(), v.end());
        const std::size_t h = v.size() / 2;
        return v.size() % 2 == 1 ? v[h] : (v[h - 1] + v[h]) / 2;
    }
    std::map<std::string, std::vector<double>> samples_;
    std::map<std::string, double> medians_;
};

bool has_flag(int argc, char** argv, const char* prefix) {
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], prefix, std::strlen(prefix)) == 0) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // Defaults that make the ratios trustworthy on a shared machine: several
    // repetitions in random order, so that scenario and baseline see the same
    // load, and only their medians in the report.
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=15";
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    std::string aggregates = "--benchmark_display_aggregates_only=true";
    if (!has_flag(argc, argv, "--benchmark_repetitions")) args.push_back(repetitions.data());
    if (!has_flag(argc, argv, "--benchmark_enable_random_interleaving")) args.push_back(interleave.data());
    if (!has_flag(argc, argv, "--benchmark_display_aggregates_only")) args.push_back(aggregates.data());
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

    prepare();
    print_corpus_summary();
    for (const scenario& s : scenarios) {
        benchmark::RegisterBenchmark(("parse/" + std::string(s.key)).c_str(), bm_parse, &s)
            ->Iterations(s.iterations)
            ->Unit(benchmark::kNanosecond);
        benchmark::RegisterBenchmark(("baseline/" + std::string(s.key)).c_str(), bm_baseline, &s)
            ->Iterations(s.iterations)
            ->Unit(benchmark::kNanosecond);
    }
    for (const core_scenario& c : core_scenarios)
        benchmark::RegisterBenchmark(c.key, bm_core, &c)->Unit(benchmark::kNanosecond);
    benchmark::RegisterBenchmark(floor_key, bm_floor)->Unit(benchmark::kNanosecond);
    ratio_reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (const core_scenario& c : core_scenarios) micr_table_free(c.table);
    return 0;
}
