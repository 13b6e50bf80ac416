#include "support/bench_window.h"

#include "support/proc_readers.h"

#include <QEvent>
#include <QWidget>

#include <algorithm>

namespace bench {

PlainPane::PlainPane(QWidget* parent) : widget_(new QWidget(parent)) {}

bool ProfilingApplication::notify(QObject* receiver, QEvent* event) {
    if (!enabled || event->type() != QEvent::Paint)
        return ClipvaneApplication::notify(receiver, event);
    const auto start = Clock::now();
    nested_.push_back(0);
    const bool result = ClipvaneApplication::notify(receiver, event);
    const double inside = nested_.back();
    nested_.pop_back();
    const double total = msBetween(start, Clock::now());
    if (!nested_.empty())
        nested_.back() += total;
    Share& share = shares_[widgetName(receiver)];
    ++share.paints;
    share.ms += total - inside;
    return result;
}

std::vector<ProfilingApplication::Share> ProfilingApplication::shares() const {
    std::vector<Share> list;
    for (auto it = shares_.begin(); it != shares_.end(); ++it)
        list.push_back({it.key(), it.value().paints, it.value().ms});
    std::sort(list.begin(), list.end(), [](const Share& a, const Share& b) { return a.ms > b.ms; });
    return list;
}

QString ProfilingApplication::widgetName(QObject* object) {
    QString name = QString::fromLatin1(object->metaObject()->className()) + QLatin1Char(' ') +
                   object->objectName();
    // Scroll-area viewports all share one name; their owner tells them apart.
    if ((object->objectName().isEmpty() || object->objectName().startsWith(QLatin1String("qt_"))) &&
        object->parent())
        name += QStringLiteral(" of ") + widgetName(object->parent());
    return name;
}

}  // namespace bench
