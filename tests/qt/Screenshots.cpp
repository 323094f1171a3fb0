// jotwell-screenshots FOLDER DATA-DIR: pictures of the window over the lists in DATA-DIR (which
// scripts/screenshots fills with the demo lists) at a phone's size and a tablet's: the lists,
// in edit mode, the new-list alert, an open list and its share sheet, the lists' menu, the
// reminder screen, a late reminder's banner, the notification question, a house ad and the
// settings. Needs no display, and never reaches the desktop's notification service.

#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <stdexcept>

#include "platform/ads/HouseAdCreative.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Paths.h"
#include "src/app/AdScreenPresenter.h"
#include "src/app/JotwellApplication.h"
#include "src/items/DetailViewController.h"
#include "tests/qt/WindowDriver.h"

namespace {

// The items screen of the open list, wherever the window holds it.
jw::DetailViewController* itemsScreen(const std::shared_ptr<jw::ui::ViewController>& from) {
    if (!from) {
        return nullptr;
    }
    if (auto* items = dynamic_cast<jw::DetailViewController*>(from.get()); items && items->list()) {
        return items;
    }
    for (const auto& child : from->childViewControllers()) {
        if (auto* items = itemsScreen(child)) {
            return items;
        }
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: jotwell-screenshots FOLDER DATA-DIR\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const std::filesystem::path data = argv[2];
    const auto file = [&](const char* name) {
        return QString::fromStdString((folder / name).string());
    };
    // No session bus: reminders show as banners in the window, not on the desktop.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    try {
        jw::test::WindowDriver window;
        const auto reminderScreen = [&](const char* name) {
            auto* items = itemsScreen(window.host().application().window().rootViewController());
            if (!items) {
                throw std::runtime_error("no list is open");
            }
            items->presentReminder(std::static_pointer_cast<jw::model::Item>(
                items->list()->listItems().at(0)->shared()));
            window.waitUntil("the reminder screen shows",
                             [&] { return window.find(QStringLiteral("datePicker")); });
            window.grab(file(name));
            window.click(QStringLiteral("barButton:Cancel"));
            window.waitUntil("the reminder screen goes",
                             [&] { return !window.find(QStringLiteral("datePicker")); });
        };
        window.launch(data, data / "Cloud", jw::test::WindowDriver::phone);
        window.grab(file("phone.png"));
        window.click(QStringLiteral("barButton:Edit"));
        window.waitUntil("edit mode", [&] { return window.find(QStringLiteral("deleteControl")); });
        window.grab(file("phone-edit.png"));
        window.click(QStringLiteral("barButton:Done"));
        window.click(QStringLiteral("barButton:Add"));
        window.waitUntil("the name alert",
                         [&] { return window.find(QStringLiteral("alertField:Name")); });
        window.type(QStringLiteral("Hardware"));
        window.grab(file("phone-new-list.png"));
        window.click(QStringLiteral("alertAction:Cancel"));
        window.click(QStringLiteral("row:Groceries"));
        window.waitUntil("the list opens",
                         [&] { return window.find(QStringLiteral("barButton:‹ Lists")); });
        window.grab(file("phone-list.png"));
        reminderScreen("phone-reminder.png");
        window.click(QStringLiteral("barButton:Share"));
        window.waitUntil("the share sheet",
                         [&] { return window.find(QStringLiteral("shareSheet")); });
        window.grab(file("phone-share.png"));
        window.quit();

        window.launch(data, data / "Cloud", jw::test::WindowDriver::tablet);
        window.openList(QStringLiteral("Groceries"));
        window.grab(file("tablet.png"));
        window.click(QStringLiteral("barButton:Menu"));
        window.waitUntil("the menu shows", [&] { return !window.sheetChoices().empty(); });
        window.grab(file("tablet-menu.png"));
        window.click(QStringLiteral("sheetAction:Sort: Manual"));
        window.waitUntil("the menu goes", [&] { return window.sheetChoices().empty(); });
        reminderScreen("tablet-reminder.png");

        auto& host = window.host();
        jw::Notification late{jw::NotificationRequest::request(
                                  "late", {"Groceries", "Oat milk", std::nullopt}, {300, false}),
                              jw::currentClock().now()->addingSeconds(-5400), true};
        host.notifications().presenter()->presentNotification(late, jw::PresentationOptions::alert,
                                                              [] {});
        window.waitUntil("the banner has slid in", [&] {
            auto* banner = window.find(QStringLiteral("banner:Groceries"));
            return banner && banner->y() >= 10;
        });
        window.grab(file("tablet-banner.png"));
        host.notifications().dismissBanner(
            host.notifications().banners().front().toMap().value(QStringLiteral("key")).toInt());

        host.permissionPrompt().ask(
            jw::AuthorizationOptions::alert | jw::AuthorizationOptions::sound, [](bool) {});
        window.waitUntil("the question shows",
                         [&] { return window.find(QStringLiteral("permissionPrompt")); });
        window.grab(file("tablet-permission.png"));
        window.click(QStringLiteral("promptButton:Don't Allow"));

        const auto creatives = jw::ads::readHouseAdCatalogue(
            jw::AppPaths::resolve(std::nullopt).resourceDirectory / "ads");
        auto* items = itemsScreen(host.application().window().rootViewController());
        if (!items || !creatives || creatives->size() < 2 ||
            !jw::AdScreenPresenter().presentFullScreenAd(creatives->at(1), *items, [] {})) {
            throw std::runtime_error("no house ad to show");
        }
        window.waitUntil("the ad shows", [&] { return window.find(QStringLiteral("adOverlay")); });
        window.grab(file("tablet-ad.png"));
        window.resize(jw::test::WindowDriver::phone);
        window.waitUntil("one column",
                         [&] { return !window.find(QStringLiteral("secondaryColumn")); });
        window.grab(file("phone-ad.png"));
        window.click(QStringLiteral("adClose"));
        window.waitUntil("the ad goes", [&] { return !window.find(QStringLiteral("adOverlay")); });
        window.resize(jw::test::WindowDriver::tablet);
        window.waitUntil("two columns",
                         [&] { return window.find(QStringLiteral("secondaryColumn")); });
        QTest::keyClick(&window.window(), Qt::Key_Comma, Qt::ControlModifier);
        window.waitUntil("the settings",
                         [&] { return window.find(QStringLiteral("settingsFolder")); });
        window.grab(file("tablet-settings.png"));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "jotwell-screenshots: %s\n", error.what());
        return 1;
    }
    return 0;
}
