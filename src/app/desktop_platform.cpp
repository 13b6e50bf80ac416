#include "app/desktop_platform.h"

#include "panes/webengine_pane.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QUrl>

namespace {
QString appTitle() {
    return QStringLiteral("Clipvane");
}
}  // namespace

void DesktopPlatform::showMessage(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, appTitle(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

bool DesktopPlatform::confirm(const QString& text) {
    // No parent: the dialog is centred on the screen, as it may come up before
    // the window shows.
    QMessageBox box(QMessageBox::Question, appTitle(), text, QMessageBox::Ok | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok;
}

void DesktopPlatform::reportError(const QString& text) {
    QMessageBox box(QMessageBox::Critical, appTitle(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

void DesktopPlatform::openUrl(const QString& url) {
    QDesktopServices::openUrl(QUrl(url, QUrl::TolerantMode));
}

QString DesktopPlatform::scratchFolder() const {
    return QDir(QCoreApplication::applicationDirPath()).absolutePath() + QLatin1Char('/');
}

std::unique_ptr<WebPane> DesktopPlatform::createWebPane(QWidget* parent) {
    return std::make_unique<WebEnginePane>(parent);
}
