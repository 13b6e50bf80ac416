#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QWidget;
class WebPane;

// Everything the window needs from outside the process, behind one seam that tests replace
// with a recorder: dialogs, the error report, the default browser, the scratch-file folder
// and the web panes.
class Platform {
  public:
    virtual ~Platform() = default;

    // Plain message box with an OK button, captioned "Clipvane"; returns when it is closed.
    virtual void showMessage(const QString& text) = 0;
    // Modal confirmation dialog with OK and Cancel; true for OK only.
    virtual bool confirm(const QString& text) = 0;
    // The error report: an error that left an event handler.
    virtual void reportError(const QString& text) = 0;
    // Hands an address to the user's default web browser; the outcome is not looked at.
    virtual void openUrl(const QString& url) = 0;
    // Folder of the scratch files, with its trailing separator.
    virtual QString scratchFolder() const = 0;
    // Modal "save as" dialog offering the name filters ("CSV (*.csv)"); the chosen path, or empty
    // when cancelled. filter receives the index of the filter in use. Without dialogs: cancelled.
    virtual QString chooseSaveFile(const QString& caption, const QStringList& filters,
                                   int* filter) {
        Q_UNUSED(caption);
        Q_UNUSED(filters);
        Q_UNUSED(filter);
        return {};
    }
    // Creates an embedded web pane as a child of parent.
    virtual std::unique_ptr<WebPane> createWebPane(QWidget* parent) = 0;
};
