// The mailing-list reader's passes over a generated list: the counting pass
// (the delimiter scan, then every recipient with the header kept), the
// sending pass (every recipient with its raw text) and, under both, the
// reading layer's lines alone; and the list's hash, which both passes fold
// into their reading. Throughput is in the bytes of the file. The
// list is QV_BENCH_LIST when set; otherwise one of QV_BENCH_RECORDS (default
// 1,000,000) records is generated in the temporary folder.
#include "bench_inputs.h"
#include "counting_pass.h"

#include "data/list_fingerprint.h"
#include "data/mailing_list.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string ListText;
long ListBytes = 0;

void BM_DelimiterScan(benchmark::State& state) {
    for (auto _ : state) {
        SelectListDelimiter(ListText.c_str());
        benchmark::DoNotOptimize(ListDelimiter);
    }
    state.SetBytesProcessed(state.iterations() * ListBytes);
}

// The reading layer alone: every physical line through text mode, as the
// record reader's ordinary way takes them; the floor under both passes.
void BM_ReadLines(benchmark::State& state) {
    long lines = 0;
    for (auto _ : state) {
        ListFile* file = OpenListFile(ListText.c_str());
        const char* line;
        size_t length;
        lines = 0;
        while (ReadListLine(file, &line, &length))
            ++lines;
        CloseListFile(file);
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(state.iterations() * ListBytes);
    state.counters["lines"] = static_cast<double>(lines);
}

void BM_CountingPass(benchmark::State& state) {
    SelectListDelimiter(ListText.c_str());
    long count = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(count = CountingPass(ListText.c_str(), nullptr));
    state.SetBytesProcessed(state.iterations() * ListBytes);
    state.counters["recipients"] = static_cast<double>(count);
}

void BM_SendingPass(benchmark::State& state) {
    SelectListDelimiter(ListText.c_str());
    long count = 0;
    for (auto _ : state) {
        ListFile* file = OpenListFile(ListText.c_str());
        MailingList list;
        list.emailColumn = 2;
        char address[kListAddressSize];
        char recordLine[kListRawSize];
        count = 0;
        while (ReadNextRecipient(&list, file, static_cast<int>(count), address, nullptr, recordLine,
                                 nullptr, &list.current))
            ++count;
        CloseListFile(file);
        FreeListRecord(&list.current);
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(state.iterations() * ListBytes);
    state.counters["recipients"] = static_cast<double>(count);
}

// The list's hash (list_fingerprint.h) over its bytes already in memory:
// what folding it into both passes' reading adds to each.
void BM_ListHash(benchmark::State& state) {
    std::string bytes;
    if (FILE* f = std::fopen(ListText.c_str(), "rb")) {
        bytes.resize(static_cast<size_t>(ListBytes));
        bytes.resize(std::fread(&bytes[0], 1, bytes.size(), f));
        std::fclose(f);
    }
    for (auto _ : state) {
        ListHash hash;
        // In the pieces the reading layer reads.
        for (size_t at = 0; at < bytes.size(); at += 65536)
            hash.Add(bytes.data() + at, std::min<size_t>(65536, bytes.size() - at));
        benchmark::DoNotOptimize(hash.Value());
    }
    state.SetBytesProcessed(state.iterations() * ListBytes);
}

BENCHMARK(BM_DelimiterScan)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ReadLines)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CountingPass)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SendingPass)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ListHash)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv) {
    const char* given = std::getenv("QV_BENCH_LIST");
    if (given && *given) {
        ListText = given;
    } else {
        const char* records = std::getenv("QV_BENCH_RECORDS");
        const char* tmp = std::getenv("TMPDIR");
        ListText = std::string(tmp && *tmp ? tmp : "/tmp") + "/qv-bench-list.csv";
        if (!WriteBenchList(ListText, records ? std::atol(records) : 1000000)) {
            std::fprintf(stderr, "list_bench: cannot write %s\n", ListText.c_str());
            return 1;
        }
    }
    if (FILE* f = std::fopen(ListText.c_str(), "rb")) {
        std::fseek(f, 0, SEEK_END);
        ListBytes = std::ftell(f);
        std::fclose(f);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!given || !*given)
        std::remove(ListText.c_str());
    return 0;
}
