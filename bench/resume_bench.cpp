// How long a mailing takes to send its first message, through the front door
// as the demo runs it (the client loads the extension, the user clicks
// "Quorsend", types the list's path and presses Send), over a list of
// QV_RESUME_RECORDS records (default 100,000):
//
//   BM_ContinueToFirstMessage  the last mailing of this list and subject
//                              stopped after all but the last ten records:
//                              the job reads its sent list, counts the list
//                              taking those records out, asks (answered Yes)
//                              and passes over them to the first one unsent;
//   BM_FreshToFirstMessage     the same list mailed afresh: the counting pass
//                              and the first copy, for comparison;
//   BM_SentRecordsLoad         the sent list alone read into SentRecords,
//                              with the bytes it holds afterwards;
//   BM_TakeEveryRecord         what one pass over the list adds: each
//                              record's address looked up in it (and taken
//                              when held);
//   BM_MillionSentLoad/D       a sent list of 1,000,000 records holding D
//                              distinct addresses (1,000,000 or 1,000) read
//                              into SentRecords: the time, and the bytes it
//                              holds, which grow with D alone.
//
// The time runs from the press of Send to the simulated client's first
// delivery. The inputs are made once in a folder of QV_BENCH_DIR (default:
// /dev/shm when writable, else the temporary folder), removed at the end.
#include "base/dialog_ids.h"
#include "control.h"
#include "data/job_progress.h"
#include "data/mailing_list.h"
#include "data/settings.h"
#include "engine/mailing_job.h"
#include "extension/extension_object.h"
#include "mail_client.h"

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr long kUnsent = 10; // the records the stopped mailing did not reach
const char kSubject[] = "Hello [[First Name]]";
const char kContinueQuestion[] = "The last mailing of this list with this subject did not finish";

struct Inputs {
    fs::path folder, list, sentList, jobState, appData, outbox;
    std::string listWindows; // the path the user types, as the job gets it
    long records = 0;
};

std::string Record(long i) {
    char line[160];
    std::snprintf(line, sizeof line,
                  "Name%ld,Last%ld,Company %ld,City%ld,C%06ld,user%ld@example.com\r\n", i, i,
                  i % 97, i % 13, i, i);
    return line;
}

void Remove(const fs::path& folder) {
    std::error_code error;
    fs::remove_all(folder, error);
}

// The list, and what a mailing of it that stopped before its last ten
// records leaves: its sent list (the header and every record mailed, as the
// job writes them) and its job state, whose last mark names the last record
// sent, already recorded (the process died after recording it: nothing is in
// doubt).
const Inputs& TheInputs() {
    static Inputs in;
    if (!in.folder.empty())
        return in;
    const char* records = std::getenv("QV_RESUME_RECORDS");
    in.records = records ? std::atol(records) : 100000;
    if (in.records <= kUnsent)
        in.records = kUnsent + 1;
    const char* base = std::getenv("QV_BENCH_DIR");
    fs::path root = base                            ? fs::path(base)
                    : access("/dev/shm", W_OK) == 0 ? fs::path("/dev/shm")
                                                    : fs::temp_directory_path();
    std::string folder = (root / "qv-resume-XXXXXX").string();
    if (!mkdtemp(folder.data())) {
        std::perror("resume_bench: mkdtemp");
        std::exit(2);
    }
    in.folder = folder;
    std::atexit([] { Remove(TheInputs().folder); });
    in.list = in.folder / "list.csv";
    in.sentList = in.folder / "tosent.txt";
    in.jobState = in.folder / "JobState.txt";
    in.appData = in.folder / "appdata";
    in.outbox = in.folder / "outbox";
    fs::create_directories(in.appData / "Quorvel");
    fs::create_directories(in.outbox);
    in.listWindows = substitute::WindowsPath(in.list.string());

    const std::string header = "First Name,Last Name,Company,City,Code,E-Mail\r\n";
    std::ofstream list(in.list, std::ios::binary), sent(in.sentList, std::ios::binary);
    list << header;
    sent << header;
    const long sentCount = in.records - kUnsent;
    std::string last;
    for (long i = 0; i < in.records; ++i) {
        const std::string line = Record(i);
        list << line;
        if (i < sentCount) {
            sent << line;
            last = line;
        }
    }
    // The list's path is ASCII here, so its UTF-8 is the path itself. The
    // record on line n of the file is record n - 2 (the header is line 1).
    std::ofstream state(in.jobState, std::ios::binary);
    state << "Quorvel job state 1\r\nList: " << in.listWindows << "\r\nSubject: " << kSubject
          << "\r\n";
    for (long i = std::max(0L, sentCount - 3); i < sentCount; ++i)
        state << "Sending " << i + 2 << ' ' << std::hex << ListRecordHash(Record(i).c_str())
              << std::dec << ' ' << i << "\r\n";
    if (!list || !sent || !state) {
        std::fprintf(stderr, "resume_bench: cannot write the inputs in %s\n", folder.c_str());
        std::exit(2);
    }
    return in;
}

LRESULT CALLBACK ComposeWindowProc(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

struct Mailing {
    double toFirstMessage = 0; // seconds from Send to the first delivery
    double whole = 0;          // seconds from Send to the job's end
    size_t delivered = 0;
    bool askedToContinue = false;
};

// One mailing as the demo runs it, with the data folder as `continuing`
// wants it: the stopped mailing's sent list and job state, or nothing.
Mailing RunMailing(const Inputs& in, bool continuing) {
    const fs::path data = in.appData / "Quorvel";
    for (const char* name : {"tosent.txt", "JobState.txt", "CurrentJob.txt", "JobHistory.txt"})
        fs::remove(data / name);
    if (continuing) {
        fs::copy_file(in.sentList, data / "tosent.txt");
        fs::copy_file(in.jobState, data / "JobState.txt");
    }
    Remove(in.outbox);
    fs::create_directories(in.outbox);

    substitute::Reset();
    substitute::SetSpecialFolder(CSIDL_APPDATA, substitute::WindowsPath(in.appData.string()));
    substitute::SetModulePath("C:\\Program Files\\Quorvel\\Quorvel.dll");
    CreateDirectoryA("C:\\Program Files", nullptr);
    CreateDirectoryA("C:\\Program Files\\Quorvel", nullptr);
    KeepLibraryModule(substitute::LibraryModule());
    LPEXCHEXT extension = ExchEntryPoint();
    if (!extension) {
        std::fprintf(stderr, "resume_bench: ExchEntryPoint gave no extension\n");
        std::exit(2);
    }
    JobOptions.Pause = 0;
    JobOptions.DoSendRecv = 0;
    JobOptions.ToList[0] = '\0';

    Mailing m;
    Clock::time_point pressed, first, ended;
    bool delivered = false;
    substitute::SetMessageBoxResponder([&m](const substitute::MessageBoxCall& box) {
        if (box.text.rfind(kContinueQuestion, 0) == 0) {
            m.askedToContinue = true;
            return IDYES;
        }
        return (box.flags & (MB_YESNO | MB_YESNOCANCEL)) ? IDNO : IDOK;
    });

    sim::Config config;
    config.deliveryFolder = substitute::WindowsPath(in.outbox.string());
    config.submitMilliseconds = 150; // virtual time, as in the demo
    config.keepDelivered = false;
    config.onDelivered = [&](const sim::Delivery&) {
        if (!delivered) {
            delivered = true;
            first = Clock::now();
        }
    };
    {
        sim::MailClient client(config);
        client.SetTracing(false);
        client.InstallExtension(extension);
        extension->Release();
        sim::Draft draft;
        draft.subject = kSubject;
        draft.body = "Dear [[First Name]] [[Last Name]] of [[Company]],\r\n\r\nA short note.\r\n";
        draft.bodyFormat = olFormatPlain;
        draft.window = substitute::CreateTestWindow(ComposeWindowProc);
        sim::Ptr<IDispatch> inspector = client.OpenCompose(draft);
        sim::Ptr<IDispatch> button = client.FindControl(inspector.Get(), "Standard", "Quorsend");
        if (!button) {
            std::fprintf(stderr, "resume_bench: the compose window got no button\n");
            std::exit(2);
        }
        const std::string list = in.listWindows;
        substitute::At(GetTickCount() + 500, [list] {
            substitute::Type(substitute::ActiveDialog(), IDC_LIST_PATH, list);
        });
        substitute::At(GetTickCount() + 1000, [&pressed] {
            pressed = Clock::now();
            substitute::Click(substitute::ActiveDialog(), IDC_SEND_PAUSE);
        });
        // The review is part of the way from Send to the first message.
        substitute::OnDialogShown([](HWND dialog, int templateId) {
            if (templateId == IDD_REVIEW)
                substitute::Click(dialog, IDOK);
        });
        client.Click(button.Get());
        ended = Clock::now();
        m.delivered = client.DeliveredCount();
    }
    substitute::SetMessageBoxResponder(nullptr);
    m.toFirstMessage = std::chrono::duration<double>(first - pressed).count();
    m.whole = std::chrono::duration<double>(ended - pressed).count();
    if (!delivered)
        m.toFirstMessage = -1;
    return m;
}

void ToFirstMessage(benchmark::State& state, bool continuing) {
    const Inputs& in = TheInputs();
    const size_t expected = continuing ? kUnsent : static_cast<size_t>(in.records);
    double whole = 0;
    for (auto _ : state) {
        const Mailing m = RunMailing(in, continuing);
        if (m.toFirstMessage < 0 || m.delivered != expected || m.askedToContinue != continuing) {
            state.SkipWithError(("delivered " + std::to_string(m.delivered) + " of " +
                                 std::to_string(expected) +
                                 (m.askedToContinue ? ", asked" : ", not asked") + " to continue")
                                    .c_str());
            break;
        }
        state.SetIterationTime(m.toFirstMessage);
        whole += m.whole;
    }
    state.counters["records"] = static_cast<double>(in.records);
    state.counters["whole_job_s"] = benchmark::Counter(whole, benchmark::Counter::kAvgIterations);
}

void BM_ContinueToFirstMessage(benchmark::State& state) {
    ToFirstMessage(state, true);
}

void BM_FreshToFirstMessage(benchmark::State& state) {
    ToFirstMessage(state, false);
}

// The bytes malloc has handed out and not had back (MemAlloc is malloc
// here), those of its own mappings included.
size_t BytesInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// The sent list read back, and what it holds: the bytes in use after the
// load, less before it.
void BM_SentRecordsLoad(benchmark::State& state) {
    const Inputs& in = TheInputs();
    const std::string path = substitute::WindowsPath(in.sentList.string());
    SelectListDelimiter(in.list.string().c_str());
    double held = 0;
    long count = 0;
    for (auto _ : state) {
        const size_t before = BytesInUse();
        SentRecords sent;
        if (sent.Load(path.c_str()) != SentListOk) {
            state.SkipWithError("the sent list did not load");
            break;
        }
        held = static_cast<double>(BytesInUse() - before);
        count = sent.Count();
    }
    state.counters["records"] = static_cast<double>(count);
    state.counters["held_bytes"] = held;
    state.counters["bytes_per_record"] = count ? held / static_cast<double>(count) : 0;
}

// What each of the job's two passes over the list adds for the sent list:
// every record of the list looked up and, when held, taken; then everything
// given back for the next pass.
void BM_TakeEveryRecord(benchmark::State& state) {
    const Inputs& in = TheInputs();
    SelectListDelimiter(in.list.string().c_str());
    SentRecords sent;
    if (sent.Load(substitute::WindowsPath(in.sentList.string()).c_str()) != SentListOk) {
        state.SkipWithError("the sent list did not load");
        return;
    }
    std::vector<std::string> addresses;
    for (long i = 0; i < in.records; ++i)
        addresses.push_back("user" + std::to_string(i) + "@example.com");
    long taken = 0;
    for (auto _ : state) {
        taken = 0;
        for (const std::string& address : addresses)
            taken += sent.Take(address.c_str()) ? 1 : 0;
        sent.GiveBack();
    }
    if (taken != sent.Count())
        state.SkipWithError("not every record sent was taken");
    state.counters["ns_per_record"] = benchmark::Counter(
        static_cast<double>(in.records),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// A sent list of a million records whose addresses repeat every `distinct`
// records, written once per size in the inputs' folder.
std::string MillionSentList(long distinct) {
    const fs::path path = TheInputs().folder / ("million-" + std::to_string(distinct) + ".txt");
    if (!fs::exists(path)) {
        std::ofstream sent(path, std::ios::binary);
        sent << "First Name,Last Name,Company,City,Code,E-Mail\r\n";
        for (long i = 0; i < 1000000; ++i) {
            char line[160];
            std::snprintf(line, sizeof line,
                          "Name%ld,Last%ld,Company %ld,City%ld,C%06ld,user%ld@example.com\r\n", i,
                          i, i % 97, i % 13, i, i % distinct);
            sent << line;
        }
    }
    return substitute::WindowsPath(path.string());
}

void BM_MillionSentLoad(benchmark::State& state) {
    const std::string path = MillionSentList(static_cast<long>(state.range(0)));
    SelectListDelimiter(TheInputs().list.string().c_str());
    double held = 0;
    for (auto _ : state) {
        const size_t before = BytesInUse();
        SentRecords sent;
        if (sent.Load(path.c_str()) != SentListOk || sent.Count() != 1000000) {
            state.SkipWithError("the sent list did not load");
            break;
        }
        held = static_cast<double>(BytesInUse() - before);
    }
    state.counters["held_bytes"] = held;
    state.counters["bytes_per_distinct"] = held / static_cast<double>(state.range(0));
}

} // namespace

BENCHMARK(BM_SentRecordsLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MillionSentLoad)->Arg(1000000)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TakeEveryRecord)->Unit(benchmark::kMillisecond);
// The slowest and the fastest of the repetitions, beside the median.
static void WithMinAndMax(benchmark::internal::Benchmark* b) {
    b->ComputeStatistics("min", [](const std::vector<double>& v) {
         return *std::min_element(v.begin(), v.end());
     })->ComputeStatistics("max", [](const std::vector<double>& v) {
        return *std::max_element(v.begin(), v.end());
    });
}

BENCHMARK(BM_ContinueToFirstMessage)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(7)
    ->Apply(WithMinAndMax)
    ->Unit(benchmark::kMillisecond);
// Each of these mails the whole list: three are enough to see its order.
BENCHMARK(BM_FreshToFirstMessage)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Apply(WithMinAndMax)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
