#pragma once

#include "support/proc_readers.h"

#include <QStringList>

#include <optional>
#include <vector>

class TForm1;

namespace bench {

// The rows between which the processor time per row is compared: a flat cost keeps rows
// kFlatFrom to kFlatTo as cheap as the first kFlatFrom.
constexpr int kFlatFrom = 2000;
constexpr int kFlatTo = 10000;

struct FetchMark {
    Clock::time_point at;
    bool watch;
};

struct MemorySample {
    int rows;
    long rssKiB;
};

// Processor time of the window's thread since the dig began, when the list held `rows` rows.
struct CpuSample {
    int rows = 0;
    double cpuMs = 0;
};

struct DigFigures {
    int rows = 0;
    int watchFetches = 0;
    int thumbFetches = 0;
    double wallMs = 0;
    QStringList urls;
    std::vector<FetchMark> marks;
    std::vector<double> gapsMs;
    Clock::time_point longestGapEnd;
    double longestGapMs = 0;
    double longestGapCpuMs = 0;  // of it, on the processor
    double cpuMs = 0;            // the window's thread during the whole dig
    long rssBeforeKiB = 0;
    long rssAfterKiB = 0;
    long peakKiB = 0;
    bool peakWasReset = false;
    qsizetype imageBytes = 0;
    int rowsAfterStartPage = -1;
    std::vector<MemorySample> memory;
    std::optional<CpuSample> cpuAtFlatFrom;  // the first row count of kFlatFrom or more
    CpuSample cpuAtLastRow;                  // the last row added up to kFlatTo rows

    // The first sample past a tenth of the rows: fixed costs (fonts, caches, the decoder) are
    // paid by then, so growth from there on is what each further row costs.
    std::optional<MemorySample> marginalFrom() const;
    // Processor time per row for the first kFlatFrom rows, and for the rows after them up to
    // kFlatTo; empty when the dig listed too few (the later ones need kFlatFrom rows too).
    std::optional<double> cpuPerRowEarly() const;
    std::optional<double> cpuPerRowLate() const;
    // Fetches that started inside the longest gap: watch pages, thumbnails.
    std::pair<int, int> fetchesInLongestGap() const;
    int gapsAbove(double ms) const;
};

// Types the watch address of `start` into the input box, sets the depth and runs the Dig
// command once, timed from the call to its return. A 2 ms timer measures how long the event
// loop goes unserviced.
DigFigures runDig(TForm1& form, const QString& start, int depth);

}  // namespace bench
