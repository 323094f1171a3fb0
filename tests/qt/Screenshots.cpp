// jotwell-screenshots FOLDER DATA-DIR: pictures of the window over the lists in DATA-DIR (which
// scripts/screenshots fills with the demo lists) at a phone's size and a tablet's: the lists,
// in edit mode, the new-list alert, an open list, and the lists' menu. Needs no display.

#include <QGuiApplication>
#include <QQuickItem>

#include <cstdio>
#include <exception>
#include <filesystem>

#include "tests/qt/WindowDriver.h"

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
    try {
        jw::test::WindowDriver window;
        window.launch(data, data / "Cloud", jw::test::WindowDriver::phone);
        window.grab(file("phone.png"));
        window.click(QStringLiteral("barButton:Edit"));
        window.waitUntil("edit mode", [&] { return window.find(QStringLiteral("deleteControl")); });
        window.grab(file("phone-edit.png"));
        window.click(QStringLiteral("barButton:Done"));
        window.click(QStringLiteral("barButton:Add"));
        window.waitUntil("the name alert", [&] { return window.find(QStringLiteral("alertField:Name")); });
        window.type(QStringLiteral("Hardware"));
        window.grab(file("phone-new-list.png"));
        window.click(QStringLiteral("alertAction:Cancel"));
        window.click(QStringLiteral("row:Groceries"));
        window.waitUntil("the list opens",
                         [&] { return window.find(QStringLiteral("barButton:‹ Lists")); });
        window.grab(file("phone-list.png"));
        window.quit();

        window.launch(data, data / "Cloud", jw::test::WindowDriver::tablet);
        window.click(QStringLiteral("row:Groceries"));
        window.waitUntil("the list opens", [&] {
            return window.find(QStringLiteral("row:Groceries"))->property("highlighted") == true;
        });
        window.grab(file("tablet.png"));
        window.click(QStringLiteral("barButton:Menu"));
        window.waitUntil("the menu shows", [&] { return !window.sheetChoices().empty(); });
        window.grab(file("tablet-menu.png"));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "jotwell-screenshots: %s\n", error.what());
        return 1;
    }
    return 0;
}
