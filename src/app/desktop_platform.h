#pragma once

#include "app/platform.h"

// The real outside world: Qt message boxes, the desktop's default browser, the
// executable's folder and Qt WebEngine panes.
class DesktopPlatform : public Platform {
  public:
    void showMessage(const QString& text) override;
    bool confirm(const QString& text) override;
    void reportError(const QString& text) override;
    void openUrl(const QString& url) override;
    QString scratchFolder() const override;
    QString chooseSaveFile(const QString& caption, const QStringList& filters,
                           int* filter) override;
    std::unique_ptr<WebPane> createWebPane(QWidget* parent) override;
};
