// The merge of a 2 MB HTML newsletter (mostly an embedded image) holding 30
// tokens, with a 40-field header, the way the job merges each recipient's
// copy: measure, copy the original into the buffer, replace. The same work
// with the plain field-by-field reference shows what the one-pass merge
// saves. A short subject is merged too.
#include "bench_inputs.h"
#include "reference_merge.h"

#include "data/merge.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Inputs {
    Inputs() {
        for (const std::string& name : BenchHeader())
            AddListValue(&header, name.data(), name.size());
        const std::vector<std::string> values = BenchValues(7);
        for (const std::string& value : values)
            AddListValue(&record, value.data(), value.size());
        html = BenchHtml(2 * 1024 * 1024, 30);
    }
    ~Inputs() {
        FreeListRecord(&header);
        FreeListRecord(&record);
    }
    ListRecord header;
    ListRecord record;
    std::string html;
};

const Inputs& Data() {
    static Inputs inputs;
    return inputs;
}

using Merge = int (*)(char*, int, const ListRecord*, const ListRecord*, int*);

// One recipient's merge of one text, as the job does it.
void MergeText(benchmark::State& state, Merge merge, const std::string& original) {
    const Inputs& in = Data();
    std::vector<char> buffer;
    std::string unmerged = original;
    for (auto _ : state) {
        int need = 0;
        if (!merge(unmerged.data(), 0, &in.header, &in.record, &need)) {
            state.SkipWithError("measuring failed");
            return;
        }
        buffer.resize(static_cast<size_t>(need) + 10);
        std::memcpy(buffer.data(), original.c_str(), original.size() + 1);
        if (!merge(buffer.data(), need + 1, &in.header, &in.record, nullptr)) {
            state.SkipWithError("merging failed");
            return;
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<long>(original.size()));
}

void BM_MergeHtml(benchmark::State& state) {
    MergeText(state, MergeFields, Data().html);
}
void BM_MergeHtmlReference(benchmark::State& state) {
    MergeText(state, ReferenceMergeFields, Data().html);
}
void BM_MergeSubject(benchmark::State& state) {
    MergeText(state, MergeFields, "News for [[First Name]] [[Last Name]] at [[Company]]");
}
void BM_MergeSubjectReference(benchmark::State& state) {
    MergeText(state, ReferenceMergeFields, "News for [[First Name]] [[Last Name]] at [[Company]]");
}

BENCHMARK(BM_MergeHtml)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MergeHtmlReference)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MergeSubject)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_MergeSubjectReference)->Unit(benchmark::kNanosecond);

} // namespace

BENCHMARK_MAIN();
