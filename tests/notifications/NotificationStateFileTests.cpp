// The file the centre remembers its state in.

#include <gtest/gtest.h>

#include <fstream>

#include "platform/notifications/NotificationStateFile.h"
#include "tests/support/TestEnvironment.h"

namespace jw {
namespace {

TEST(NotificationState, RejectsForeignDocumentsAndSkipsMalformedRequests) {
    test::ManualPlatform platform;
    EXPECT_FALSE(decodeNotificationState("[]"));
    EXPECT_FALSE(decodeNotificationState("{\"format\": 2}"));
    EXPECT_FALSE(decodeNotificationState(
        R"({"format": 1, "authorizationStatus": "maybe", "pendingRequests": []})"));

    const auto decoded = decodeNotificationState(R"({"format": 1,
        "authorizationStatus": "denied",
        "pendingRequests": [{"identifier": "no dates"},
                            {"identifier": "ok", "title": "", "body": "b", "sound": null,
                             "timeInterval": 5, "repeats": false, "fireDate": 10}]})");
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->authorizationStatus, AuthorizationStatus::denied);
    ASSERT_EQ(decoded->pending.size(), 1u);
    EXPECT_EQ(decoded->pending[0].request.identifier, "ok");
    EXPECT_FALSE(decoded->pending[0].request.content.sound);
}

// (That a missing file is an empty state, that saving makes the folder, and that the state
// reads back as saved, every save scenario and restart shows.)
TEST(NotificationStateFile, AnUnreadableFileIsMovedAsideNotOverwritten) {
    test::ManualPlatform platform;
    test::TempDir dir;
    const auto path = dir.path() / "notifications.json";
    std::ofstream(path) << "{ truncated";
    const NotificationStateFile file(path);

    EXPECT_EQ(file.load(), NotificationCenterState{});
    EXPECT_FALSE(std::filesystem::exists(path));
    std::ifstream aside(dir.path() / "notifications.json.corrupt-1");
    std::string kept((std::istreambuf_iterator<char>(aside)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, "{ truncated");
    ASSERT_FALSE(platform.logLines().empty());
    EXPECT_NE(platform.logLines().back().find("corrupt-1"), std::string::npos);
}

}  // namespace
}  // namespace jw
