#pragma once
// The screens' cases, measured like the others (see Cases.h):
//
// - launch_lists_screen: the whole application launched over the 100,000-item store on a
//   tablet-sized window, from nothing to the first screenful of the lists screen's rows
//   configured (the database opened, storyboards, window, split view, the lists fetched and
//   the rows on screen filled in). Against the store's own side of the same start: the
//   database opened over the same store, the lists fetched by the same fetched-results
//   request, and every list's name and counts read. Only the rows on screen may be configured:
//   a run that configures more is reported as failed.
//
// The application is torn down with the timer paused, on both sides.

#include <vector>

#include "Cases.h"

namespace jw::bench {

std::vector<CaseLine> screenCaseTable();
void registerScreenCases(const Environment& environment);

}  // namespace jw::bench
