#pragma once
// What the crash writer (a child process that saves in a loop until it is killed) and the
// crash tests agree on.
//
// The writer opens the store in the folder it is given, finds the list named kListName
// (the test creates it), and then runs one operation per save: add an item, check or uncheck
// one, or edit one's text. It writes one line to standard output before each operation and
// one after its save returned, with write(2), so that a line is in the pipe the moment it is
// written:
//   begin <n> insert                  the item's text will be itemText(n)
//   begin <n> edit <global id>        the item's text becomes itemText(n)
//   begin <n> toggle <global id> <0|1>  the item's isDone becomes 0 or 1
//   saved <n> [<global id>]           save n returned (an insert names its new item)
// With a halt point (a save number, a kind of operation and a write number), the writer
// stops for good in the middle of writing the store's log, in the first save of that kind
// from that number on, and says so:
//   halt <n>                          stopped inside save n

#include <cstdint>
#include <string>

namespace jw::model::crashtest {

inline constexpr const char* kListName = "Crash";

// The text written by save `n`: unique per save, a few kilobytes long (so that one save
// spans several pages of the store), mixing one-, two- and three-byte characters.
inline std::string itemText(std::uint64_t n) {
    std::string text = "save " + std::to_string(n) + ": ";
    const std::size_t length = 500 + (n * 7919) % 6000;
    for (std::size_t i = 0; text.size() < length; ++i) {
        switch ((n + i) % 4) {
            case 0:
                text += "milk ";
                break;
            case 1:
                text += "\u00E4pfel ";
                break;
            case 2:
                text += "\u65E5\u672C ";
                break;
            default:
                text += std::to_string(i) + " ";
                break;
        }
    }
    return text;
}

}  // namespace jw::model::crashtest
