#pragma once

#include "app/application.h"
#include "app/platform.h"
#include "panes/web_pane.h"

#include <QHash>
#include <QStringList>

#include <memory>
#include <vector>

namespace bench {

// A pane that shows nothing and loads nothing: the benchmark measures the dig, not a browser.
class PlainPane : public WebPane {
  public:
    explicit PlainPane(QWidget* parent);
    QWidget* widget() override { return widget_; }
    void navigate(const QString&) override {}
    void stop() override {}
    void setNavigationHandler(std::function<bool(const QString&)>) override {}

  private:
    QWidget* widget_;
};

// Dialogs are answered at once and kept, so that a failed dig shows up in the report instead of
// blocking the run.
class BenchPlatform : public Platform {
  public:
    explicit BenchPlatform(QString folder) : folder_(std::move(folder)) {}
    void showMessage(const QString& text) override { messages.append(text); }
    bool confirm(const QString&) override { return false; }
    void reportError(const QString& text) override { errors.append(text); }
    void openUrl(const QString&) override {}
    QString scratchFolder() const override { return folder_; }
    std::unique_ptr<WebPane> createWebPane(QWidget* parent) override {
        return std::make_unique<PlainPane>(parent);
    }

    bool clean() const { return messages.isEmpty() && errors.isEmpty(); }

    QStringList messages;
    QStringList errors;

  private:
    QString folder_;
};

// Times every paint event while enabled, per widget, without the paints of its children that
// happen inside it, so that the figures add up to the time spent painting.
class ProfilingApplication : public ClipvaneApplication {
  public:
    using ClipvaneApplication::ClipvaneApplication;

    struct Share {
        QString widget;
        int paints = 0;
        double ms = 0;
    };

    bool notify(QObject* receiver, QEvent* event) override;
    // Largest first.
    std::vector<Share> shares() const;

    bool enabled = false;

  private:
    static QString widgetName(QObject* object);

    std::vector<double> nested_;
    QHash<QString, Share> shares_;
};

}  // namespace bench
