#include "app/application.h"

#include "base/errors.h"

#include <exception>

ClipvaneApplication::ClipvaneApplication(int& argc, char** argv) : QApplication(argc, argv) {}

void ClipvaneApplication::setErrorReporter(std::function<void(const QString&)> reporter) {
    reporter_ = std::move(reporter);
}

bool ClipvaneApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        runGuarded([] { throw; },
                   [this](const QString& text) {
                       if (reporter_)
                           reporter_(text);
                   });
        return false;
    }
}

void runGuarded(const std::function<void()>& body,
                const std::function<void(const QString&)>& report) {
    try {
        body();
    } catch (const AppError& e) {
        report(e.message());
    } catch (const std::exception& e) {
        report(QString::fromUtf8(e.what()));
    } catch (...) {
        report(QStringLiteral("Unknown error"));
    }
}
