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
// - items_screen_<mode>: the tap on the big list's row of that sort mode on the lists screen
//   (the application launched afresh, untimed, for each tap, over the attached copy of the
//   large store, so no cloud intro covers the screens), to the items screen's first
//   screenful of rows configured; against open_list_<mode>/ours, the store's own open of the
//   same list. Only the rows on screen may be configured.
// - check_item_on_screen: a tap on the tick of the first row of the big checked-first list on
//   the items screen, to the row redrawn and moved and the title updated (all inside the
//   tap); against check_item/ours, the model's check with a controller attached. The store is
//   attached (so no intro covers the screen), so each save also records its change for the
//   cloud and starts a sync, which is waited for with the timer paused;
//   check_item_on_screen_attached compares it with the model's check on the same attached
//   store, measured the same way (check_item_attached_paused/ours, SyncCases.h).
//
// The application is torn down with the timer paused, on both sides.

#include <vector>

#include "Cases.h"

namespace jw::bench {

std::vector<CaseLine> screenCaseTable();
void registerScreenCases(const Environment& environment);

}  // namespace jw::bench
