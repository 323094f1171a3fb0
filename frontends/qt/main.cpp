// jotwell: the lists and items of Jotwell in a window.

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QImage>
#include <QQuickWindow>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <exception>
#include <memory>
#include <optional>

#include "frontends/qt/AppHost.h"
#include "frontends/qt/InstanceChannel.h"
#include "frontends/qt/QuitOnSignals.h"
#include "platform/foundation/FolderLock.h"

namespace {

// A second start hands over to the running one: its window comes forward (with the settings
// dialog open for --settings) and this start ends. True when it answered.
bool handOver(const QString& channel, bool settingsWanted, QString* whyNot) {
    return jw::qt::InstanceChannel::forward(
        channel, settingsWanted ? QStringLiteral("settings") : QStringLiteral("show"), whyNot);
}

}  // namespace

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
    const QCommandLineOption settingsOption(
        QStringLiteral("settings"),
        QStringLiteral("Open the settings (the cloud folder and sync), in the Jotwell already "
                       "running over this data folder if there is one."));
    parser.addOptions({dataDir, cloudDir, size, screenshot, settingsOption});
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
    // Widgets only for the print dialog; the window is Qt Quick.
    QApplication app(argc, argv);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Jotwell"));
    QGuiApplication::setDesktopFileName(QStringLiteral("jotwell"));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/Jotwell/icons/jotwell.svg")));

    try {
        jw::qt::HostSettings settings;
        settings.paths = jw::AppPaths::resolve(
            parser.isSet(dataDir)
                ? std::optional<std::filesystem::path>(parser.value(dataDir).toStdString())
                : std::nullopt);
        settings.paths.createDirectories();
        const bool settingsWanted = parser.isSet(settingsOption);
        const QString channelName =
            jw::qt::InstanceChannel::serverName(settings.paths.dataDirectory);
        QString whyNot;
        if (!parser.isSet(screenshot) && handOver(channelName, settingsWanted, &whyNot)) {
            return 0;
        }
        settings.cloudDirectoryFromCommandLine = parser.isSet(cloudDir);
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
        std::unique_ptr<jw::qt::AppHost> started;
        try {
            started = std::make_unique<jw::qt::AppHost>(settings);
        } catch (const jw::FolderInUse& error) {
            // Another Jotwell starting at the same moment may be about to listen: give it a
            // moment before saying no.
            whyNot.clear();
            if (error.holder() == "jotwell" && !parser.isSet(screenshot)) {
                for (int attempt = 0; attempt < 20; ++attempt) {
                    if (handOver(channelName, settingsWanted, &whyNot)) {
                        return 0;
                    }
                    QThread::msleep(250);
                }
            }
            std::fprintf(stderr,
                         "jotwell: cannot start: %s%s.\nIf that program is not in use, it is "
                         "stuck: end it, then start Jotwell again.\n",
                         error.what(),
                         whyNot.isEmpty()
                             ? ""
                             : qPrintable(QStringLiteral(", and it does not answer (") + whyNot +
                                          QLatin1Char(')')));
            return 1;
        }
        auto& host = *started;
        // A logout or `kill` ends the program through the same shutdown as closing the window.
        jw::qt::QuitOnSignals quitOnSignals;
        jw::qt::InstanceChannel channel;
        if (!channel.listen(channelName, &whyNot)) {
            // The window works all the same; only a later start cannot reach it.
            std::fprintf(stderr, "jotwell: a later start cannot reach this window: %s\n",
                         qPrintable(whyNot));
        }
        QObject::connect(&channel, &jw::qt::InstanceChannel::requested, &host,
                         [&host](const QString& request) {
                             host.bringForward();
                             if (request == QStringLiteral("settings")) {
                                 host.settingsPanel().requestOpen();
                             }
                         });
        if (settingsWanted) {
            host.settingsPanel().requestOpen();
        }
        if (parser.isSet(screenshot)) {
            // Long enough for the first merge and the first frames.
            QTimer::singleShot(2500, &host, [&] {
                const bool saved = host.window()->grabWindow().save(parser.value(screenshot));
                QCoreApplication::exit(saved ? 0 : 1);
            });
        }
        return QApplication::exec();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "jotwell: %s\n", error.what());
        return 1;
    }
}
