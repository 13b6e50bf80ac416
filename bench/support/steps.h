#pragma once

#include <QByteArray>
#include <QColor>
#include <QStringList>

#include <vector>

namespace bench {

// Where the time of a dig goes when the window is left out: each step run alone over the bodies
// the bare replay collected, in the order the dig met them.
struct Breakdown {
    double scratchMs = 0;
    double scanMs = 0;
    double thumbMs = 0;
    int matches = 0;
};

Breakdown measureSteps(const QStringList& urls, const std::vector<QByteArray>& bodies,
                       const QString& folder, const QColor& background);

}  // namespace bench
