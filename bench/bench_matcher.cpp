// Throughput of the related-video search over a watch page of about 2 MB with 400 items, next
// to a bare PCRE2-JIT match loop over the same bytes, and the matcher's share of the bare loop's
// throughput at the end (goal: at least 0.9 for the search). The bare loops skip the UTF-8
// check, which is unsafe on pages not known to be valid; the per-page runs include it.

#include "discovery/perl_regex.h"
#include "discovery/related_videos.h"
#include "support/watch_page.h"

#include <benchmark/benchmark.h>
#include <pcre2.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

constexpr int kItems = 400;
constexpr qsizetype kPageBytes = 2 * 1024 * 1024;

const QByteArray& page() {
    static const QByteArray bytes = [] {
        QList<QByteArray> items;
        qsizetype itemBytes = 0;
        for (int i = 0; i < kItems; ++i) {
            const QByteArray n = QByteArray::number(i);
            items += relatedItemMarkup(
                "vid" + n + "xYz_-", "//i.ytimg.com/vi/vid" + n + "/default.jpg",
                QByteArray::number(i % 60) + ":" + QByteArray::number(10 + i % 50),
                "Related video &amp; n\xC2\xB0 " + n, n + ",123 views");
            itemBytes += items.last().size();
        }
        return watchPage(items, (kPageBytes - itemBytes) / kItems);
    }();
    return bytes;
}

const QByteArray& pattern() {
    static const QByteArray bytes = builtInRelatedPattern().toUtf8();
    return bytes;
}

void finish(benchmark::State& state, int matches) {
    if (matches != kItems)
        state.SkipWithError("wrong number of matches");
    state.SetBytesProcessed(state.iterations() * page().size());
    state.counters["page_MB"] = page().size() / 1e6;
}

// Every matcher run reads the groups or not, as the bare loop it is set against.
void readGroups(TPerlRegEx& re) {
    for (int g = 1; g <= 5; ++g)
        benchmark::DoNotOptimize(re.GetGroups(g));
}

template <bool kGroups>
void BM_BarePcre2Jit(benchmark::State& state) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_compile_context* cc = pcre2_compile_context_create(nullptr);
    pcre2_set_newline(cc, PCRE2_NEWLINE_ANY);
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern().constData()),
                                     pattern().size(), PCRE2_UTF, &error, &offset, cc);
    pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
    pcre2_match_data* md = pcre2_match_data_create(100, nullptr);
    const auto* subject = reinterpret_cast<PCRE2_SPTR>(page().constData());
    const auto length = static_cast<PCRE2_SIZE>(page().size());
    int matches = 0;
    for (auto _ : state) {
        matches = 0;
        PCRE2_SIZE start = 0;
        while (pcre2_jit_match(code, subject, length, start, PCRE2_NOTEMPTY, md, nullptr) > 0) {
            ++matches;
            const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md);
            if constexpr (kGroups) {
                for (int g = 1; g <= 5; ++g) {
                    benchmark::DoNotOptimize(QByteArray(page().constData() + ov[2 * g],
                                                        qsizetype(ov[2 * g + 1] - ov[2 * g])));
                }
            }
            start = ov[1];
        }
        benchmark::DoNotOptimize(matches);
    }
    finish(state, matches);
    pcre2_match_data_free(md);
    pcre2_code_free(code);
    pcre2_compile_context_free(cc);
}
BENCHMARK(BM_BarePcre2Jit<false>)->Name("BM_BareLoop")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BarePcre2Jit<true>)->Name("BM_BareLoopGroups")->Unit(benchmark::kMillisecond);

// The search loop alone: Match and MatchAgain over a subject set once.
template <bool kGroups>
void BM_MatcherSearch(benchmark::State& state) {
    TPerlRegEx re;
    re.SetRegEx(pattern());
    re.SetSubject(page());
    re.Study();
    int matches = 0;
    for (auto _ : state) {
        matches = 0;
        for (bool found = re.Match(); found; found = re.MatchAgain()) {
            ++matches;
            if constexpr (kGroups)
                readGroups(re);
        }
    }
    finish(state, matches);
}
BENCHMARK(BM_MatcherSearch<false>)->Name("BM_MatcherSearch")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatcherSearch<true>)->Name("BM_MatcherSearchGroups")->Unit(benchmark::kMillisecond);

// What a caller does per page: set pattern and subject (with the one UTF-8 check of the page),
// study, and search, reading the five groups of every match.
void BM_MatcherPage(benchmark::State& state) {
    TPerlRegEx re;
    int matches = 0;
    for (auto _ : state) {
        matches = 0;
        re.SetRegEx(pattern());
        re.SetSubject(page());
        re.Study();
        for (bool found = re.Match(); found; found = re.MatchAgain()) {
            ++matches;
            readGroups(re);
        }
    }
    finish(state, matches);
}
BENCHMARK(BM_MatcherPage)->Unit(benchmark::kMillisecond);

// The same with the groups decoded into texts, as the Dig command and the explorer get them.
void BM_RelatedVideoScan(benchmark::State& state) {
    TPerlRegEx re;
    const QString text = builtInRelatedPattern();
    int matches = 0;
    for (auto _ : state) {
        matches = 0;
        RelatedVideoScan scan(re, text, page());
        scan.study();
        for (RelatedVideo v; scan.next(v);)
            ++matches;
    }
    finish(state, matches);
}
BENCHMARK(BM_RelatedVideoScan)->Unit(benchmark::kMillisecond);

void BM_StrictUtf8Check(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(isStrictUtf8(page().constData(), page().size()));
    state.SetBytesProcessed(state.iterations() * page().size());
}
BENCHMARK(BM_StrictUtf8Check)->Unit(benchmark::kMillisecond);

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    // Keeps the median of repeated runs (--benchmark_repetitions=N) when there is one.
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto it = run.counters.find("bytes_per_second");
            if (it == run.counters.end())
                continue;
            const std::string name = run.run_name.function_name;
            if (run.aggregate_name == "median")
                medians_[name] = it->second;
            else if (run.aggregate_name.empty())
                rates_[name] = it->second;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const auto& [name, rate] : medians_)
            rates_[name] = rate;
        const std::pair<const char*, const char*> pairs[] = {
            {"BM_MatcherSearch", "BM_BareLoop"},
            {"BM_MatcherSearchGroups", "BM_BareLoopGroups"},
            {"BM_MatcherSearchGroups", "BM_BareLoop"},
            {"BM_MatcherPage", "BM_BareLoopGroups"},
            {"BM_RelatedVideoScan", "BM_BareLoopGroups"},
        };
        for (const auto& [name, base] : pairs) {
            if (rates_[name] > 0 && rates_[base] > 0) {
                std::printf("%-24s %8.1f MB/s = %.3f of %-18s %8.1f MB/s\n", name,
                            rates_[name] / 1e6, rates_[name] / rates_[base], base,
                            rates_[base] / 1e6);
            }
        }
    }

  private:
    std::map<std::string, double> rates_;
    std::map<std::string, double> medians_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
