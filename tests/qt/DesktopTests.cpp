// The desktop side of the window: the settings dialog on its shortcut, the share sheet's Save
// through the real QML, and one running program per data folder (the real binary, twice).

#include <gtest/gtest.h>

#include <QDir>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QLocalSocket>
#include <QProcess>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QTextLayout>

#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "frontends/qt/InstanceChannel.h"
#include "platform/foundation/FolderLock.h"
#include "platform/ui/ActivityViewController.h"
#include "platform/ui/SplitViewController.h"
#include "src/app/JotwellApplication.h"
#include "tests/qt/WindowDriver.h"
#include "tests/support/TestEnvironment.h"

namespace jw {
namespace {

using test::WindowDriver;

class Desktop : public ::testing::Test {
  protected:
    void launch(QSize size) {
        window_.launch(folder_.path() / "device", folder_.path() / "cloud", size);
    }
    QString textOf(const QString& name) {
        auto* item = window_.find(name);
        return item ? item->property("text").toString() : QStringLiteral("(hidden)");
    }
    test::TempDir folder_;
    WindowDriver window_;
};

// Whatever script a person writes in, the window's font or one the desktop falls back to has
// its letters: nothing shows as empty boxes. (The fallbacks are Debian packages of setup.)
TEST_F(Desktop, EveryScriptPeopleWriteInHasGlyphs) {
    const std::vector<std::pair<std::string, QString>> samples = {
        {"Latin", QStringLiteral("Crème brûlée")},
        {"Greek", QStringLiteral("Ψωμί")},
        {"Cyrillic", QStringLiteral("Молоко")},
        {"Arabic", QStringLiteral("حليب")},
        {"Hebrew", QStringLiteral("חלב")},
        {"Chinese", QStringLiteral("苹果")},
        {"Japanese", QStringLiteral("りんごとパン")},
        {"Korean", QStringLiteral("우유")},
        {"Devanagari", QStringLiteral("दूध")},
        {"Bengali", QStringLiteral("দুধ")},
        {"Thai", QStringLiteral("นม")},
        {"marks", QStringLiteral("⏰ ✔︎ ☐")}};
    std::string missing;
    for (const auto& [script, text] : samples) {
        QTextLayout layout(text, QGuiApplication::font());
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        const auto runs = layout.glyphRuns();
        const bool boxes = std::any_of(runs.begin(), runs.end(), [](const QGlyphRun& run) {
            const auto glyphs = run.glyphIndexes();
            return std::find(glyphs.begin(), glyphs.end(), 0u) != glyphs.end();
        });
        if (runs.isEmpty() || boxes) {
            missing += script + " ";
        }
    }
    EXPECT_EQ(missing, "");
}

// Ctrl+, opens the settings with the folder and the sync state and Escape closes them; Save on
// the share sheet writes the text, or says why not and keeps the sheet.
TEST_F(Desktop, TheSettingsOnTheirShortcutAndTheShareSheetsSave) {
    launch(WindowDriver::tablet);
    QTest::keyClick(&window_.window(), Qt::Key_Comma, Qt::ControlModifier);
    window_.waitUntil("the settings show",
                      [&] { return window_.find(QStringLiteral("settingsFolder")); });
    const auto cloud = QString::fromStdString((folder_.path() / "cloud").string());
    EXPECT_EQ(
        (QStringList{textOf("settingsFolder"), textOf("settingsState"), textOf("settingsWaiting"),
                     textOf("settingsProblem"), textOf("settingsReattach")})
            .join(" | ")
            .toStdString(),
        (cloud + " | attached | to export: 0 changed objects (0 files)\nto import: 0 files | "
                 "(hidden) | (hidden)")
            .toStdString());
    QTest::keyClick(&window_.window(), Qt::Key_Escape);
    window_.waitUntil("the settings close",
                      [&] { return !window_.find(QStringLiteral("settingsFolder")); });

    struct Case {
        std::filesystem::path file;
        std::string scene;  // what shows after Save
    };
    const std::vector<Case> cases = {
        {folder_.path() / "Shop.txt", "Lists [] | (table) []"},
        {folder_.path() / "no such folder" / "Shop.txt",
         "Lists [] | (table) [] > alert:Not Saved > shareSheet"},
    };
    for (const auto& c : cases) {
        const auto root = window_.host().application().window().rootViewController();
        auto sheet = std::make_shared<ui::ActivityViewController>(std::vector<ui::ActivityItem>{
            std::string("Shop:\n- Bread"), ui::SimpleTextPrintFormatter{"Shop"}});
        sheet->popoverPresentationController()->setSourceView(
            std::static_pointer_cast<ui::View>(root->view().shared_from_this()));
        root->present(sheet, true);
        window_.waitUntil("the share sheet shows", [&] {
            return window_.find(QStringLiteral("shareActivity:Save")) != nullptr;
        });
        EXPECT_TRUE(window_.find(QStringLiteral("shareActivity:Copy")) &&
                    window_.find(QStringLiteral("shareActivity:Print")) &&
                    window_.find(QStringLiteral("shareActivity:Email")));
        window_.host().shareActions().setTestSaveFile(QString::fromStdString(c.file.string()));
        window_.click(QStringLiteral("shareActivity:Save"));
        window_.waitUntil("the sheet closes or an alert shows", [&] {
            return !window_.find(QStringLiteral("shareSheet")) ||
                   window_.find(QStringLiteral("alert:Not Saved"));
        });
        EXPECT_EQ(window_.scene(), c.scene) << c.file;
        if (window_.find(QStringLiteral("alert:Not Saved"))) {
            EXPECT_FALSE(std::filesystem::exists(c.file));
            window_.click(QStringLiteral("alertAction:OK"));
            window_.click(QStringLiteral("shareCancel"));
            window_.waitUntil("the sheet closes",
                              [&] { return !window_.find(QStringLiteral("shareSheet")); });
        } else {
            EXPECT_EQ(test::readFile(c.file), "Shop:\n- Bread");
        }
    }
}

// The real program, as a person starts it from the desktop's menu or a terminal.
struct Outcome {
    int status;
    std::string errors;
};

class SecondStart : public ::testing::Test {
  protected:
    SecondStart() {
        environment_ = QProcessEnvironment::systemEnvironment();
        environment_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    ~SecondStart() override {
        if (first_.state() != QProcess::NotRunning) {
            first_.kill();
            first_.waitForFinished();
        }
    }
    QStringList arguments(const std::string& data, QStringList more = {}) {
        return QStringList{QStringLiteral("--data-dir"),
                           QString::fromStdString((folder_.path() / data).string()),
                           QStringLiteral("--cloud-dir"),
                           QString::fromStdString((folder_.path() / "cloud").string())} +
               more;
    }
    Outcome run(const QStringList& arguments) {
        QProcess process;
        process.setProcessEnvironment(environment_);
        process.start(QStringLiteral(JOTWELL_PATH), arguments);
        EXPECT_TRUE(process.waitForFinished(20000)) << "the start did not end";
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardError().toStdString()};
    }
    // Starts the program over `data` and waits until it listens for later starts.
    void startFirst(const std::string& data) {
        std::filesystem::create_directories(folder_.path() / "cloud");
        first_.setProcessEnvironment(environment_);
        first_.start(QStringLiteral(JOTWELL_PATH), arguments(data));
        const auto name = qt::InstanceChannel::serverName(folder_.path() / data);
        for (int attempt = 0; attempt < 200; ++attempt) {
            QLocalSocket probe;
            probe.connectToServer(name);
            if (probe.waitForConnected(100)) {
                return;
            }
            ASSERT_NE(first_.state(), QProcess::NotRunning)
                << first_.readAllStandardError().toStdString();
            QTest::qWait(50);
        }
        FAIL() << "the first program never listened";
    }

    test::TempDir folder_;
    QProcessEnvironment environment_;
    QProcess first_;
};

TEST_F(SecondStart, HandsOverToTheRunningOneAndEnds) {
    WindowDriver application;  // the process's QApplication, for the event loop
    startFirst("device");
    for (const auto& more : {QStringList{}, QStringList{QStringLiteral("--settings")}}) {
        const auto second = run(arguments("device", more));
        EXPECT_EQ(second.status, 0) << second.errors;
        EXPECT_EQ(second.errors.find("jotwell:"), std::string::npos) << second.errors;
        EXPECT_EQ(first_.state(), QProcess::Running) << more.join(" ").toStdString();
    }
}

// A logout or `kill` ends the program as closing its window does: it saves and exits normally.
TEST_F(SecondStart, TheSignalsThatEndTheProgramLetItShutDown) {
    WindowDriver application;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        startFirst("device");
        ::kill(static_cast<pid_t>(first_.processId()), signal);
        ASSERT_TRUE(first_.waitForFinished(20000)) << signal;
        EXPECT_EQ(first_.exitStatus(), QProcess::NormalExit) << signal;
        EXPECT_EQ(first_.exitCode(), 0) << first_.readAllStandardError().toStdString();
    }
}

TEST_F(SecondStart, AFolderHeldByAnotherProgramIsRefusedSayingWhy) {
    WindowDriver application;
    std::filesystem::create_directories(folder_.path() / "held");
    const auto lock = FolderLock::acquire(folder_.path() / "held", "jotwell-cli");
    const auto refused = run(arguments("held"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.errors.find("jotwell: cannot start: the data folder "), std::string::npos)
        << refused.errors;
    EXPECT_NE(refused.errors.find("is in use by jotwell-cli (process "), std::string::npos)
        << refused.errors;
}

}  // namespace
}  // namespace jw
