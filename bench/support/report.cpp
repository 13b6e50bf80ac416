#include "support/report.h"

#include <algorithm>
#include <cstdio>

namespace bench {

void row(const char* name, const QString& value) {
    std::printf("  %-44s %s\n", name, value.toUtf8().constData());
}

QString ms(double value) {
    return QStringLiteral("%1 ms").arg(value, 0, 'f', value < 10 ? 2 : 1);
}

QString kib(double bytes) {
    return QStringLiteral("%1 KB").arg(bytes / 1024, 0, 'f', 1);
}

QString ratio(double value) {
    return QString::number(value, 'f', 2);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t at = std::min(values.size() - 1, std::size_t(p * double(values.size())));
    return values[at];
}

}  // namespace bench
