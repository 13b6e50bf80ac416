#include "app/input_gate.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QThread>
#include <QWidget>
#include <QWindow>

namespace {

QEvent::Type replayEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// Input as the window system delivers it: to a window, which hands it on to its widgets. What
// a widget receives from its window was already let through (or held) at the window.
bool isUserInput(const QObject* receiver, QEvent::Type type) {
    switch (type) {
        case QEvent::InputMethod:  // goes to the focus object directly
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Enter:
        case QEvent::Leave:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TouchCancel:
        case QEvent::TabletPress:
        case QEvent::TabletMove:
        case QEvent::TabletRelease:
        case QEvent::NativeGesture:
        case QEvent::Close:
            return receiver->isWindowType();
        default:
            return false;
    }
}

}  // namespace

InputGate::InputGate(QWidget* window, QAbstractButton* stop) : window_(window), stop_(stop) {
    QCoreApplication::instance()->installEventFilter(this);
}

InputGate::~InputGate() {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

void InputGate::processEvents() {
    if (gateLevel_ >= 0) {
        // A turn inside a turn: nothing of the user's may act here either.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return;
    }
    {
        const QScopedValueRollback<int> level(gateLevel_, QThread::currentThread()->loopLevel());
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    if (!held_.empty() && !replayPosted_) {
        replayPosted_ = true;
        QCoreApplication::postEvent(this, new QEvent(replayEventType()));
    }
}

bool InputGate::gating() const {
    return gateLevel_ >= 0 && QThread::currentThread()->loopLevel() == gateLevel_;
}

bool InputGate::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (!gating()) {
        // A release after the gate has opened ends a press that the gate let through.
        if (type == QEvent::MouseButtonRelease && watched->isWindowType())
            passedButtons_ &= ~static_cast<QMouseEvent*>(event)->button();
        return false;
    }
    if (!isUserInput(watched, type) || mayPass(watched, event))
        return false;
    hold(watched, event);
    return true;
}

bool InputGate::mayPass(QObject* watched, QEvent* event) {
    QWidget* window = window_;
    QAbstractButton* stop = stop_;
    if (!window || !stop || watched != window->windowHandle())
        return false;
    switch (event->type()) {
        case QEvent::Close:
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            // An open popup menu takes every press for itself.
            if (mouse->button() != Qt::LeftButton || QApplication::activePopupWidget() ||
                !stop->isEnabled() || !stop->isVisible())
                return false;
            QWidget* under = window->childAt(mouse->position().toPoint());
            if (!under || (under != stop && !stop->isAncestorOf(under)))
                return false;
            passedButtons_ |= mouse->button();
            return true;
        }
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (!(passedButtons_ & mouse->button()))
                return false;
            passedButtons_ &= ~mouse->button();
            return true;
        }
        case QEvent::MouseMove:
            // The button follows the pointer between its press and its release.
            return passedButtons_ != Qt::NoButton;
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            const auto* key = static_cast<QKeyEvent*>(event);
            return (key->key() == Qt::Key_Space || key->key() == Qt::Key_Select) &&
                   QApplication::focusWidget() == stop;
        }
        default:
            return false;
    }
}

void InputGate::hold(QObject* watched, const QEvent* event) {
    // Only the last of a run of moves matters; a user moving the mouse through a long wait
    // must not pile up thousands of them.
    if (event->type() == QEvent::MouseMove && !held_.empty()) {
        Held& last = held_.back();
        if (last.receiver == watched && last.event->type() == QEvent::MouseMove &&
            static_cast<QMouseEvent*>(last.event.get())->buttons() ==
                static_cast<const QMouseEvent*>(event)->buttons()) {
            last.event.reset(event->clone());
            return;
        }
    }
    held_.push_back({watched, std::unique_ptr<QEvent>(event->clone())});
}

bool InputGate::event(QEvent* event) {
    if (event->type() != replayEventType())
        return QObject::event(event);
    replayPosted_ = false;
    // Delivered during a turn of the gate: the next turn's end asks again.
    if (!gating())
        replay();
    return true;
}

void InputGate::replay() {
    // A replayed event may start a fetch; what is held meanwhile joins the end of the queue.
    while (!held_.empty() && !gating()) {
        Held next = std::move(held_.front());
        held_.pop_front();
        if (next.receiver)
            QCoreApplication::sendEvent(next.receiver, next.event.get());
    }
}
