// What the benchmark families share: where the inputs are, the results of
// the benchmarks that have run so far (for the ratios printed at the end),
// and the notes about anything a benchmark found wrong on the way.
#ifndef CKP_BENCH_HARNESS_HPP
#define CKP_BENCH_HARNESS_HPP

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include "records.hpp"

namespace bench {

struct Options {
    std::string dataDir;     // generated inputs; outputs go to its out/ folder
    std::string tool;        // the ckp command, empty when it is not built
    int reps = 0;            // repetitions; 0: the per-family defaults
    double setupLimit = 300; // seconds a 1M-entry setup load may be predicted to take
};

const Options& options();

// Median over the repetitions of one benchmark, per iteration, in seconds.
struct Result {
    double cpu = 0;   // process CPU time (a child's user + system time for process rows)
    double wall = 0;  // elapsed time
    double bytes = 0; // bytes processed per iteration
    std::map<std::string, double> counters; // medians of the user counters
    bool failed = false;
    std::string message;
};

// Results by benchmark name, filled as the benchmarks finish.
const Result* result(const std::string& name);
void storeResult(const std::string& name, const Result& r);

// A line for the report printed after the table; the same text once only.
void note(const std::string& text);
const std::vector<std::string>& notes();

// Input and output paths.
std::string dataPath(const std::string& file);
std::string outPath(const std::string& file);
bool haveInput(const std::string& file);

// Reads the .counts file that the generator wrote beside a record file.
bool expectedCounts(const std::string& tag, Counts& counts);

int reps(int fallback);

// Benchmark families, registered in the order they run.
void registerRead();
void registerScale();
void registerTokenizer();
void registerWrite();
void registerTransfer();
void registerSetup();
void registerProcess();

// Child mode of the benchmark program: loads one setup file and prints
// "<rss before, kB> <peak rss after, kB> <load result>".
int peakLoadChild(const char* file);
// Runs argv[0] with argv, its output dropped, and prints its peak resident
// memory in KB, its exit status and its CPU seconds.
int peakRunChild(char** argv);

} // namespace bench

#endif
