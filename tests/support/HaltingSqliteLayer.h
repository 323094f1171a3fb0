#pragma once
// SQLite helpers for crash tests: a file layer that tears a log write, and the check of what
// is left.
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

namespace jw::test {

using LogWriteHook = bool (*)();
using HaltHook = void (*)();

// Exits the process with status 4 when SQLite refuses the layer.
void installHaltingSqliteLayer(const char* name, LogWriteHook shouldHalt, HaltHook halt);

// What SQLite's integrity check says of the store file the killed process left ("ok" when
// sound), or why the file could not be opened.
std::string integrityCheck(const std::filesystem::path& file);

}  // namespace jw::test
