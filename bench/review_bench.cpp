// The review of a mailing over a generated list of QV_REVIEW_RECORDS records
// (default 100,000): the counting pass with every record told to the review
// (addresses checked, repeats found, empty fields the message uses counted),
// next to the counting pass alone. The review's memory is printed as a
// counter: for the list of distinct addresses, and for one whose 100,000
// records hold only 1,000 addresses, so that what grows with the distinct
// addresses and what does not can be told apart.
#include "bench_inputs.h"
#include "counting_pass.h"

#include "data/mailing_list.h"
#include "data/review.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string ListPath, RepeatsPath;
long Records = 100000;

const char kSubject[] = "News for [[First Name]] at [[Company]]";
const char kBody[] = "Dear [[First Name]] [[Last Name]],\r\nthe office in [[City]] and [[Twon]]...";

struct Reviewed {
    long recipients = 0;
    size_t memory = 0;
    int findings = 0;
};

Reviewed ReviewList(const std::string& path) {
    ListFile* file = OpenListFile(path.c_str());
    MailingList list;
    MailingReview review;
    char address[kListAddressSize];
    char headerLine[kListRawSize] = "";
    list.onSkipped = [](void* context, const ListRecord& record, ListSkipReason reason,
                        const char*) {
        static_cast<MailingReview*>(context)->AddPassedOver(record, reason);
    };
    list.skipContext = &review;
    bool begun = false;
    long count = 0;
    while (ReadNextRecipient(&list, file, static_cast<int>(count), address,
                             count == 0 ? headerLine : nullptr, nullptr, &list.header,
                             &list.current)) {
        if (!begun)
            begun = review.Begin(&list.header, list.emailColumn, kSubject, kBody, nullptr);
        review.AddRecipient(list.current, address);
        ++count;
    }
    CloseListFile(file);
    Reviewed r{review.Recipients(), review.MemoryBytes(), review.FindingCount()};
    FreeListRecord(&list.header);
    FreeListRecord(&list.current);
    return r;
}

void BM_CountingPassAlone(benchmark::State& state) {
    SelectListDelimiter(ListPath.c_str());
    long count = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(count = CountingPass(ListPath.c_str(), nullptr));
    state.counters["recipients"] = static_cast<double>(count);
}

void BM_CountingPassWithReview(benchmark::State& state) {
    const std::string& path = state.range(0) == 0 ? ListPath : RepeatsPath;
    SelectListDelimiter(path.c_str());
    Reviewed r;
    for (auto _ : state)
        benchmark::DoNotOptimize((r = ReviewList(path)).recipients);
    state.counters["recipients"] = static_cast<double>(r.recipients);
    state.counters["review_bytes"] = static_cast<double>(r.memory);
    state.counters["findings"] = r.findings;
    state.SetLabel(state.range(0) == 0 ? "every address distinct" : "1,000 distinct addresses");
}

BENCHMARK(BM_CountingPassAlone)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_CountingPassWithReview)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The same list, its addresses repeating every 1,000 records.
bool WriteRepeats(const std::string& path, long records) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    std::fputs("First Name,Last Name,E-Mail,Company,Street,City,Phone,Notes\r\n", f);
    for (long i = 0; i < records; ++i)
        std::fprintf(f,
                     "Ann,Lee%ld,ann.lee%ld@example.com,Example %ld,%ld Harbour Road,Oslo,"
                     "+47 555 %07ld,no answer yet\r\n",
                     i % 997, i % 1000, i % 1000, i % 300, i);
    return std::fclose(f) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (const char* n = std::getenv("QV_REVIEW_RECORDS"))
        Records = std::atol(n) > 0 ? std::atol(n) : Records;
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = tmp && *tmp ? tmp : "/tmp";
    ListPath = folder + "/qv-review-bench.csv";
    RepeatsPath = folder + "/qv-review-bench-repeats.csv";
    if (!WriteBenchList(ListPath, Records) || !WriteRepeats(RepeatsPath, Records)) {
        std::fprintf(stderr, "review_bench: cannot write the lists in %s\n", folder.c_str());
        return 2;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(ListPath.c_str());
    std::remove(RepeatsPath.c_str());
    return 0;
}
