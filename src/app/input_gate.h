#pragma once

#include <QObject>
#include <QPointer>

#include <deque>
#include <memory>

class QAbstractButton;
class QEvent;
class QWidget;

// Lets the window have its turns while a fetch blocks it, without letting the user start
// anything meanwhile. processEvents() delivers every pending event but holds user input back,
// except what must be able to end the fetch: a press of the stop button (pointer, or Space
// while it has the focus) and a close request of the window. Held input is delivered, in the
// order it came, the next time events are processed outside the gate (the dig's next row, or
// the event loop once the command has ended).
class InputGate : public QObject {
  public:
    InputGate(QWidget* window, QAbstractButton* stop);
    ~InputGate() override;
    InputGate(const InputGate&) = delete;
    InputGate& operator=(const InputGate&) = delete;

    void processEvents();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

  private:
    bool gating() const;
    bool mayPass(QObject* watched, QEvent* event);
    void hold(QObject* watched, const QEvent* event);
    void replay();

    struct Held {
        QPointer<QObject> receiver;
        std::unique_ptr<QEvent> event;
    };

    QPointer<QWidget> window_;
    QPointer<QAbstractButton> stop_;
    // The event loop level at which the gate processes events; a dialog opened meanwhile runs
    // a loop of its own, whose input is not held.
    int gateLevel_ = -1;
    bool replayPosted_ = false;
    Qt::MouseButtons passedButtons_;
    std::deque<Held> held_;
};
