#include "app/application.h"
#include "app/command_line.h"
#include "app/desktop_platform.h"
#include "app/site_config.h"
#include "app/tform1.h"

#include <QStyleFactory>

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (wantsCommandLine(arguments))
        return commandLineMain(argc, argv);

    // Qt WebEngine shares GL contexts with the widgets; this must be set before
    // the application.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ClipvaneApplication app(argc, argv);
    ClipvaneApplication::setApplicationName(QStringLiteral("Clipvane"));
    ClipvaneApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    DesktopPlatform platform;
    app.setErrorReporter([&platform](const QString& text) { platform.reportError(text); });
    TForm1 Form1(SiteConfig::fromBuild(), platform);
    Form1.show();
    return ClipvaneApplication::exec();
}
