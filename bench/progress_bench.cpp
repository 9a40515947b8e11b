// What the job's durable progress adds to each message, piece by piece,
// through the same calls the job makes: the mark written before the copy
// (its record's hash, the line, the flush) and a log line flushed after it,
// next to the same line left in the stream's buffer as before. The files
// are in QV_BENCH_DIR (default: /dev/shm when writable, else the temporary
// folder), as the demo's data folder is in the mailing benchmarks.
#include "control.h"
#include "data/job_progress.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

const char kRecord[] = "Name12345,Last12345,Company 26,City8,C012345,user12345@example.com\n";
const char kLogLine[] = "(22:41.07) # 12345, To: user12345@example.com. Sent Successfully\n";

// A file of its own for each benchmark, removed after it. The C runtime's
// text mode, as the job opens its logs.
class File {
public:
    explicit File(const char* name) {
        const char* base = std::getenv("QV_BENCH_DIR");
        const fs::path folder = base                            ? fs::path(base)
                                : access("/dev/shm", W_OK) == 0 ? fs::path("/dev/shm")
                                                                : fs::temp_directory_path();
        path_ = (folder / (std::string("qv-progress-") + std::to_string(getpid()) + "-" + name))
                    .string();
        file_ = CrtOpen(substitute::WindowsPath(path_).c_str(), "w");
    }
    ~File() {
        CrtClose(file_);
        std::remove(path_.c_str());
    }
    CrtFile* Get() const { return file_; }

private:
    std::string path_;
    CrtFile* file_ = nullptr;
};

void BM_RecordHash(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(ListRecordHash(kRecord));
}

// The mark before each copy: hash, line, flush.
void BM_SendingMark(benchmark::State& state) {
    File file("JobState.txt");
    if (!file.Get()) {
        state.SkipWithError("cannot open the file");
        return;
    }
    long line = 2;
    for (auto _ : state) {
        if (!WriteJobStateSending(file.Get(), line, ListRecordHash(kRecord), line - 2,
                                  "r01@example.com"))
            state.SkipWithError("the mark was not written");
        ++line;
    }
}

// A line of the current job log or the sent list, flushed as the job now
// does after each message, and left buffered as it did before.
void BM_LogLine(benchmark::State& state, bool flushed) {
    File file(flushed ? "flushed.txt" : "buffered.txt");
    if (!file.Get()) {
        state.SkipWithError("cannot open the file");
        return;
    }
    for (auto _ : state) {
        CrtPrintf(file.Get(), "%s", kLogLine);
        if (flushed)
            CrtFlush(file.Get());
    }
}

void BM_LogLineFlushed(benchmark::State& state) {
    BM_LogLine(state, true);
}

void BM_LogLineBuffered(benchmark::State& state) {
    BM_LogLine(state, false);
}

} // namespace

BENCHMARK(BM_RecordHash);
BENCHMARK(BM_SendingMark);
BENCHMARK(BM_LogLineFlushed);
BENCHMARK(BM_LogLineBuffered);

BENCHMARK_MAIN();
