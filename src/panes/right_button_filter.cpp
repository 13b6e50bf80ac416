#include "panes/right_button_filter.h"

#include <QEvent>
#include <QMouseEvent>

#include <algorithm>

RightButtonFilter::RightButtonFilter(QObject* parent) : QObject(parent) {}

void RightButtonFilter::addPane(QWidget* pane) {
    std::erase_if(panes_, [](const QPointer<QWidget>& p) { return p.isNull(); });
    if (pane && std::find(panes_.begin(), panes_.end(), pane) == panes_.end())
        panes_.emplace_back(pane);
}

static bool isRightPress(const QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            return static_cast<const QMouseEvent*>(event)->button() == Qt::RightButton;
        case QEvent::ContextMenu:
            return true;
        default:
            return false;
    }
}

bool RightButtonFilter::drops(QObject* target, const QEvent* event) const {
    if (!target || !isRightPress(event) || !target->isWidgetType())
        return false;
    // Walk up within the target's window only: a popup that a pane opens is a window of its
    // own, not part of the pane's content.
    for (const QWidget* w = static_cast<const QWidget*>(target); !w->isWindow();) {
        w = w->parentWidget();
        if (!w)
            break;
        for (const QPointer<QWidget>& pane : panes_) {
            if (pane == w)
                return true;
        }
    }
    return false;
}

bool RightButtonFilter::eventFilter(QObject* watched, QEvent* event) {
    if (drops(watched, event))
        return true;
    return QObject::eventFilter(watched, event);
}
