// jotwell: the lists and items of Jotwell in a window.

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QImage>
#include <QQuickWindow>
#include <QTimer>

#include <cstdio>
#include <exception>
#include <optional>

#include "frontends/qt/AppHost.h"

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.push_back(QString::fromLocal8Bit(argv[i]));
    }
    QCoreApplication::setApplicationName(QStringLiteral("jotwell"));
    QCoreApplication::setApplicationVersion(QStringLiteral(JOTWELL_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Jotwell keeps named lists of checkable items.\n"
        "The data lives under $XDG_DATA_HOME/jotwell (or ~/.local/share/jotwell), the settings\n"
        "under $XDG_CONFIG_HOME/jotwell; --data-dir puts both in one folder."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption dataDir(
        QStringLiteral("data-dir"),
        QStringLiteral("Folder for the store and settings of this device."), QStringLiteral("DIR"));
    const QCommandLineOption cloudDir(
        QStringLiteral("cloud-dir"),
        QStringLiteral("The cloud folder shared with your other devices (default: "
                       "$JOTWELL_CLOUD_DIR, else a folder \"Cloud\" in the data folder)."),
        QStringLiteral("DIR"));
    const QCommandLineOption size(QStringLiteral("size"),
                                  QStringLiteral("The window's size in points, e.g. 1180x820."),
                                  QStringLiteral("WxH"), QStringLiteral("390x844"));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral(
            "Save a picture of the window to FILE (PNG) once it has settled, then quit."),
        QStringLiteral("FILE"));
    parser.addOptions({dataDir, cloudDir, size, screenshot});
    // Read before the window system is reached, so --help and --version work without a
    // display.
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "jotwell: %s\nRun jotwell --help for the options.\n",
                     qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(help)) {
        // The usage line names the program as people start it.
        std::fputs(qPrintable(parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                        QStringLiteral("jotwell"))),
                   stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("jotwell %s\n", JOTWELL_VERSION);
        return 0;
    }
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Jotwell"));
    QGuiApplication::setDesktopFileName(QStringLiteral("jotwell"));

    try {
        jw::qt::HostSettings settings;
        settings.paths = jw::AppPaths::resolve(
            parser.isSet(dataDir)
                ? std::optional<std::filesystem::path>(parser.value(dataDir).toStdString())
                : std::nullopt);
        settings.paths.createDirectories();
        settings.cloudDirectory = settings.paths.cloudDirectory(
            parser.isSet(cloudDir)
                ? std::optional<std::filesystem::path>(parser.value(cloudDir).toStdString())
                : std::nullopt);
        const auto dimensions = parser.value(size).split(QLatin1Char('x'));
        if (dimensions.size() != 2 || dimensions[0].toInt() <= 0 || dimensions[1].toInt() <= 0) {
            std::fprintf(stderr, "jotwell: --size takes WIDTHxHEIGHT, e.g. 1180x820\n");
            return 2;
        }
        settings.windowSize = QSize(dimensions[0].toInt(), dimensions[1].toInt());
        jw::qt::AppHost host(settings);
        if (parser.isSet(screenshot)) {
            // Long enough for the first merge and the first frames.
            QTimer::singleShot(2500, &host, [&] {
                const bool saved = host.window()->grabWindow().save(parser.value(screenshot));
                QCoreApplication::exit(saved ? 0 : 1);
            });
        }
        return QGuiApplication::exec();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "jotwell: %s\n", error.what());
        return 1;
    }
}
