#include "support/dig_run.h"

#include "app/tform1.h"
#include "discovery/image_list.h"
#include "results/result_model.h"

#include <QComboBox>
#include <QPushButton>
#include <QTimer>

namespace bench {

std::optional<MemorySample> DigFigures::marginalFrom() const {
    for (const MemorySample& m : memory)
        if (m.rows > 0 && m.rows >= rows / 10 && m.rows < rows)
            return m;
    return std::nullopt;
}

std::optional<double> DigFigures::cpuPerRowEarly() const {
    if (!cpuAtFlatFrom)
        return std::nullopt;
    return cpuAtFlatFrom->cpuMs / cpuAtFlatFrom->rows;
}

std::optional<double> DigFigures::cpuPerRowLate() const {
    // A few rows past the first ones would compare little more than noise.
    if (!cpuAtFlatFrom || cpuAtLastRow.rows - cpuAtFlatFrom->rows < kFlatFrom)
        return std::nullopt;
    return (cpuAtLastRow.cpuMs - cpuAtFlatFrom->cpuMs) / (cpuAtLastRow.rows - cpuAtFlatFrom->rows);
}

std::pair<int, int> DigFigures::fetchesInLongestGap() const {
    const auto start = longestGapEnd - std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double, std::milli>(longestGapMs));
    std::pair<int, int> counts{0, 0};
    for (const FetchMark& m : marks)
        if (m.at >= start && m.at <= longestGapEnd)
            ++(m.watch ? counts.first : counts.second);
    return counts;
}

int DigFigures::gapsAbove(double ms) const {
    int count = 0;
    for (double g : gapsMs)
        count += g > ms;
    return count;
}

DigFigures runDig(TForm1& form, const QString& start, int depth) {
    DigFigures f;
    double cpuStart = 0;
    form.idhtp1.setRequestObserver([&f, &form](const QString& url) {
        const bool watch = url.contains(QLatin1String("/watch?v="));
        f.urls.append(url);
        f.marks.push_back({Clock::now(), watch});
        if (watch && ++f.watchFetches == 2)
            f.rowsAfterStartPage = form.lv1Items->count();
        if (!watch)
            ++f.thumbFetches;
        if (f.urls.size() % 32 == 0)
            f.memory.push_back({form.lv1Items->count(), statusKiB("VmRSS")});
    });
    bool pastFlatTo = false;
    const QMetaObject::Connection rowsCounted = QObject::connect(
        form.lv1Items, &QAbstractItemModel::rowsInserted, [&](const QModelIndex&, int, int) {
            const CpuSample now{form.lv1Items->count(), threadCpuMs() - cpuStart};
            if (!f.cpuAtFlatFrom && now.rows >= kFlatFrom)
                f.cpuAtFlatFrom = now;
            if (!pastFlatTo) {
                f.cpuAtLastRow = now;
                pastFlatTo = now.rows >= kFlatTo;
            }
        });
    form.edt1->setEditText(form.site().watchUrlPrefix() + start);
    form.cbb2->setCurrentText(QString::number(depth));

    // Fires whenever the event loop gets a turn; gaps between firings are the stalls.
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(2);
    Clock::time_point last;
    double lastCpu = 0;
    auto mark = [&](Clock::time_point now) {
        const double cpu = threadCpuMs();
        const double gap = msBetween(last, now);
        f.gapsMs.push_back(gap);
        if (gap > f.longestGapMs) {
            f.longestGapMs = gap;
            f.longestGapEnd = now;
            f.longestGapCpuMs = cpu - lastCpu;
        }
        last = now;
        lastCpu = cpu;
    };
    QObject::connect(&ticker, &QTimer::timeout, [&] { mark(Clock::now()); });

    f.rssBeforeKiB = statusKiB("VmRSS");
    f.peakWasReset = resetPeakRss();
    ticker.start();
    const auto began = Clock::now();
    last = began;
    lastCpu = threadCpuMs();
    cpuStart = lastCpu;
    form.btn5Click(form.btn5);
    const auto end = Clock::now();
    f.cpuMs = threadCpuMs() - cpuStart;
    // The tail after the last turn counts as well.
    mark(end);
    ticker.stop();
    f.wallMs = msBetween(began, end);
    f.peakKiB = statusKiB("VmHWM");
    f.rssAfterKiB = statusKiB("VmRSS");
    f.rows = form.lv1Items->count();
    f.imageBytes = form.ImageList1.storedBytes();
    form.idhtp1.setRequestObserver({});
    QObject::disconnect(rowsCounted);
    return f;
}

}  // namespace bench
