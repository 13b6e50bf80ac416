#pragma once

#include <QString>

#include <vector>

namespace bench {

// One figure: its name in a column, then its value.
void row(const char* name, const QString& value);
QString ms(double value);
QString kib(double bytes);
QString ratio(double value);

double median(std::vector<double> values);
double percentile(std::vector<double> values, double p);

}  // namespace bench
