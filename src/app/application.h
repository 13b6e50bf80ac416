#pragma once

#include <QApplication>

#include <functional>

// The application object. An exception must never unwind through Qt's event
// dispatch: any that escapes a handler ends up here and goes to the error
// report, and the program goes on.
class ClipvaneApplication : public QApplication {
  public:
    ClipvaneApplication(int& argc, char** argv);
    void setErrorReporter(std::function<void(const QString&)> reporter);
    bool notify(QObject* receiver, QEvent* event) override;

  private:
    std::function<void(const QString&)> reporter_;
};

// Runs a handler body; an error that leaves it goes to report instead of
// further up.
void runGuarded(const std::function<void()>& body,
                const std::function<void(const QString&)>& report);
