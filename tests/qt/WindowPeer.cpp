// jotwell-window-peer DATA-DIR CLOUD-DIR: one device of a multi-process window test. It starts
// the application on its own data folder and the shared cloud folder in a tablet-sized window
// (offscreen unless QT_QPA_PLATFORM says otherwise), then takes one command per line on
// standard input and uses the window as a person does (WindowDriver):
//
//   add-list NAME    "+" in the lists' bar, the name, the return key
//   open NAME        a tap on the list's row, until it shows beside the lists
//   add-item TEXT    a tap in the add field, the text, the return key
//   wait-row TEXT    waits (up to a minute) until a row shows TEXT, e.g. one that another
//                    device added and this one merged at its next sync
//   scene            what the window shows (WindowDriver::scene)
//   quit             closes the window (the store is saved and sent) and exits
//
// It answers each command with one line on standard output: "ok", "ok <scene>" for scene, or
// "error <what went wrong and what was on screen>". Once started it says "ready" (or "error
// ..." and exits 1). The end of input quits as "quit" does. Not part of the shipped program.

#include <QCoreApplication>
#include <QQuickItem>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "tests/qt/WindowDriver.h"

namespace {

using jw::test::WindowDriver;

// Another device's change reaches this one at its next sync, at most ten seconds apart, once
// the file-sync service (here: the same folder) has it.
constexpr std::chrono::seconds kRemoteChangeLimit{60};

// Lines of standard input, read on a thread of their own so the window keeps running (and
// syncing) while no command comes.
class CommandQueue {
  public:
    CommandQueue() {
        reader_ = std::thread([this] {
            std::string line;
            while (std::getline(std::cin, line)) {
                push(line);
            }
            push("quit");
        });
        reader_.detach();  // blocked in a read at exit; the process ends it
    }
    std::optional<std::string> take() {
        std::lock_guard lock(mutex_);
        if (lines_.empty()) {
            return std::nullopt;
        }
        auto line = std::move(lines_.front());
        lines_.pop_front();
        return line;
    }

  private:
    void push(std::string line) {
        std::lock_guard lock(mutex_);
        lines_.push_back(std::move(line));
    }
    std::mutex mutex_;
    std::deque<std::string> lines_;
    std::thread reader_;
};

void answer(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// Runs one command; false once it was "quit".
bool run(WindowDriver& window, const std::string& line) {
    const auto space = line.find(' ');
    const std::string command = line.substr(0, space);
    const QString argument =
        space == std::string::npos ? QString() : QString::fromStdString(line.substr(space + 1));
    if (command == "add-list") {
        window.addList(argument);
    } else if (command == "open") {
        window.openList(argument);
    } else if (command == "add-item") {
        window.click(QStringLiteral("field:Add an item"));
        window.waitUntil("the add field has the keyboard", [&] {
            auto* field = window.find(QStringLiteral("field:Add an item"));
            return field && field->hasActiveFocus();
        });
        window.type(argument + "\n");
        window.waitUntil("the item's row shows",
                         [&] { return window.find("row:" + argument) != nullptr; });
    } else if (command == "wait-row") {
        window.waitUntil(
            "a row shows " + argument.toStdString(),
            [&] { return window.find("row:" + argument) != nullptr; }, kRemoteChangeLimit);
    } else if (command == "scene") {
        answer("ok " + window.scene());
        return true;
    } else if (command == "quit") {
        window.quit();
        answer("ok");
        return false;
    } else {
        answer("error unknown command: " + line);
        return true;
    }
    answer("ok");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: jotwell-window-peer DATA-DIR CLOUD-DIR\n");
        return 2;
    }
    WindowDriver window;
    try {
        window.launch(argv[1], argv[2], WindowDriver::tablet);
    } catch (const std::exception& error) {
        answer(std::string("error ") + error.what());
        return 1;
    }
    answer("ready");
    CommandQueue commands;
    for (;;) {
        // Between commands the window lives on: timers fire, syncs run, frames are drawn.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const auto line = commands.take();
        if (!line) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        try {
            if (!run(window, *line)) {
                return 0;
            }
        } catch (const std::exception& error) {
            answer(std::string("error ") + error.what());
        }
    }
}
