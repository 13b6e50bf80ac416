#pragma once

#include "app/platform.h"
#include "panes/web_pane.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>

// A web pane that only records what it is asked to load.
class RecordingPane : public WebPane {
  public:
    explicit RecordingPane(QWidget* parent) : widget_(new QWidget(parent)) {}
    QWidget* widget() override { return widget_; }
    void navigate(const QString& url) override { navigations.append(url); }
    void stop() override { ++stops; }
    void setNavigationHandler(std::function<bool(const QString&)> handler) override {
        this->handler = std::move(handler);
    }
    void setNewWindowHandler(std::function<void(const QString&)> handler) override {
        newWindowHandler = std::move(handler);
    }

    QStringList navigations;
    int stops = 0;
    std::function<bool(const QString&)> handler;
    std::function<void(const QString&)> newWindowHandler;

  private:
    QWidget* widget_;
};

// The outside world as tests see it: dialogs answered at once and recorded,
// browser opens recorded, scratch files in a temporary folder of the test's
// own.
class RecordingPlatform : public Platform {
    QTemporaryDir dir_;  // first: folder is made from it

  public:
    RecordingPlatform();

    void showMessage(const QString& text) override { messages.append(text); }
    bool confirm(const QString& text) override {
        confirmations.append(text);
        return confirmAnswer;
    }
    void reportError(const QString& text) override { errors.append(text); }
    void openUrl(const QString& url) override { opened.append(url); }
    QString scratchFolder() const override { return folder; }
    QString chooseSaveFile(const QString& caption, const QStringList& filters,
                           int* filter) override {
        saveDialogs.append(caption);
        saveFilters = filters;
        if (filter)
            *filter = saveFilterAnswer;
        return saveAnswer;
    }
    std::unique_ptr<WebPane> createWebPane(QWidget* parent) override;

    QStringList messages;
    QStringList confirmations;
    QStringList errors;
    QStringList opened;
    bool confirmAnswer = false;
    QStringList saveDialogs;            // captions of the save dialogs asked for
    QStringList saveFilters;            // the filters the last one offered
    QString saveAnswer;                 // the path chosen; empty: cancelled
    int saveFilterAnswer = 0;           // the filter in use when it was chosen
    QString folder;                     // with its trailing separator
    std::vector<RecordingPane*> panes;  // owned by the window
};
