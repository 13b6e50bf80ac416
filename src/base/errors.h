#pragma once

#include <QString>

#include <exception>
#include <string>

// Any error that may leave an event handler. Its text is what the error report shows.
class AppError : public std::exception {
  public:
    explicit AppError(QString message)
        : message_(std::move(message)), utf8_(message_.toStdString()) {}
    const QString& message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

  private:
    QString message_;
    std::string utf8_;
};

// A download that did not end in a complete successful response. Callers catch it around
// every fetch and tell the user in their own words; its text is for logs and tests only.
class FetchError : public AppError {
  public:
    using AppError::AppError;
};

// A fetch broken off on purpose (the user pressed "Stop" or closed the window while it waited).
// Not a download failure: callers end quietly instead of showing a message.
class FetchAborted : public FetchError {
  public:
    using FetchError::FetchError;
};
