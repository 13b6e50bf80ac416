#include "app/desktop_platform.h"

#include "panes/webengine_pane.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>
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

QString DesktopPlatform::chooseSaveFile(const QString& caption, const QStringList& filters,
                                        int* filter) {
    QFileDialog dialog(QApplication::activeWindow(), caption);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    // A name typed without an extension gets the one of the filter in use, before the dialog
    // asks whether to replace an existing file.
    const auto suffixOf = [](const QString& nameFilter) {
        static const QRegularExpression pattern(QStringLiteral("\\(\\*\\.(\\w+)"));
        return pattern.match(nameFilter).captured(1);
    };
    dialog.setDefaultSuffix(suffixOf(filters.value(0)));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&](const QString& chosen) { dialog.setDefaultSuffix(suffixOf(chosen)); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    if (filter)
        *filter = int(filters.indexOf(dialog.selectedNameFilter()));
    return dialog.selectedFiles().constFirst();
}

std::unique_ptr<WebPane> DesktopPlatform::createWebPane(QWidget* parent) {
    return std::make_unique<WebEnginePane>(parent);
}
