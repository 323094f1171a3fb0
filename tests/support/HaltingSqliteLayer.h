#pragma once
// SQLite helpers for crash tests: a file layer that tears a log write, and a look at what is
// left.
//
// The file layer: Installed as the default, it passes every call through
// to the real one, except writes to a write-ahead log: for each, `shouldHalt` is asked, and
// when it answers true only the first half of the bytes is written and `halt` is called, which
// must not return (it tells the test and waits to be killed). The killed process has then left
// a torn log write behind, as a power cut in the middle of a commit would.
//
// Install once per process, before any store is opened; the hooks are called on whichever
// thread writes.

#include <filesystem>
#include <string>
#include <vector>

namespace jw::test {

using LogWriteHook = bool (*)();
using HaltHook = void (*)();

// Exits the process with status 4 when SQLite refuses the layer.
void installHaltingSqliteLayer(const char* name, LogWriteHook shouldHalt, HaltHook halt);

// Runs `sql` on a store file (a killed process may have left it) and answers its rows, one
// string each with "|" between columns, or one row saying why it could not be opened or run.
std::vector<std::string> sqliteRows(const std::filesystem::path& file, const char* sql);

}  // namespace jw::test
