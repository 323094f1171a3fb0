#pragma once
// The theme catalogue: the fixed, ordered table of nine colour themes, and the two lookups
// that turn a stored theme name back into a theme.
//
// One catalogue per process, JWThemesDB::shared(), made on first use (thread-safe) and never
// changed afterwards, so it may be read from any thread. The themes it hands out live as long
// as the process.

#include <string_view>
#include <vector>

#include "src/themes/JWTheme.h"

namespace jw {

class JWThemesDB {
  public:
    // The name of the theme every unknown, unset or empty key falls back to.
    static constexpr std::string_view defaultThemeName = "Default";

    static JWThemesDB& shared();

    // The nine themes, "Default" first and "Pink" last; the theme picker's carousel order.
    const std::vector<JWThemeRef>& all() const { return all_; }

    // The first theme whose name equals `name` exactly (case-sensitive, whole string), or
    // nullptr. Not finding one is not an error.
    JWThemeRef findTheme(std::string_view name) const;

    // Like findTheme, but never nullptr: an empty or unknown key gives "Default". This is how
    // a list's themeKey is resolved; pass "" for a list without one.
    JWThemeRef themeForKey(std::string_view key) const;

    JWThemesDB(const JWThemesDB&) = delete;
    JWThemesDB& operator=(const JWThemesDB&) = delete;

  private:
    JWThemesDB();
    JWThemeRef defaultTheme() const;

    std::vector<JWThemeRef> all_;
};

}  // namespace jw
