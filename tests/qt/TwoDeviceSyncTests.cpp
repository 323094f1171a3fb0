// Two application processes (jotwell-window-peer, each with its own window and data folder) on
// one cloud folder: what a person adds in one window shows in the other.

#include <gtest/gtest.h>

#include <QProcess>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <string>

#include "tests/support/TestEnvironment.h"

namespace jw {
namespace {

// A safety net for a device that hangs, not part of any check: the peer's own waits are
// shorter and answer with an error.
constexpr int kAnswerLimitMs = 120'000;

class Device {
  public:
    Device(const std::filesystem::path& data, const std::filesystem::path& cloud) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(
            QStringLiteral(JOTWELL_WINDOW_PEER),
            {QString::fromStdString(data.string()), QString::fromStdString(cloud.string())});
    }
    ~Device() {
        if (process_.state() != QProcess::NotRunning) {
            process_.closeWriteChannel();  // the end of input quits
            if (!process_.waitForFinished(kAnswerLimitMs)) {
                process_.kill();
                process_.waitForFinished();
            }
        }
    }

    // The next line the device says ("ready" once started), or why there is none.
    std::string answer() {
        while (!process_.canReadLine()) {
            if (!process_.waitForReadyRead(kAnswerLimitMs)) {
                return "(no answer: " + process_.errorString().toStdString() + ")";
            }
        }
        return QString::fromUtf8(process_.readLine()).trimmed().toStdString();
    }
    std::string send(const std::string& command) {
        process_.write(QByteArray::fromStdString(command + "\n"));
        return answer();
    }

  private:
    QProcess process_;
};

TEST(TwoDevices, AnItemAddedInOneWindowShowsInTheOthers) {
    test::TempDir folder;
    const auto cloud = folder.path() / "cloud";
    std::filesystem::create_directories(cloud);
    Device first(folder.path() / "first", cloud);
    Device second(folder.path() / "second", cloud);
    ASSERT_EQ(first.answer(), "ready");
    ASSERT_EQ(second.answer(), "ready");

    ASSERT_EQ(first.send("add-list Shared"), "ok");
    ASSERT_EQ(first.send("open Shared"), "ok");
    ASSERT_EQ(first.send("add-item Milk"), "ok");
    EXPECT_EQ(first.send("scene"), "ok Lists [Shared] | Shared (1) [Milk]");

    ASSERT_EQ(second.send("wait-row Shared"), "ok");
    ASSERT_EQ(second.send("open Shared"), "ok");
    ASSERT_EQ(second.send("wait-row Milk"), "ok");
    EXPECT_EQ(second.send("scene"), "ok Lists [Shared] | Shared (1) [Milk]");
}

}  // namespace
}  // namespace jw
