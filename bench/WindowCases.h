#pragma once
// The Qt window's cases: the real application (AppHost: the QML scene over the bridge, on
// Qt's offscreen platform and its software renderer) over an attached copy of the
// 100,000-item store, measured by the wall clock from what a person does to the first frame
// that shows its result, since drawing happens wherever Qt chooses to do it.
//
// - window_first_frame: the application started (in the benchmark process's one
//   QGuiApplication) to the first frame that shows the lists' rows; against the store's own
//   fetch of what that screen shows (launch_lists_screen/store) plus the start of a window
//   with an empty QML scene to its first frame (window_first_frame/empty).
// - window_first_frame_app: the same start, against the same fetch plus the application's own
//   window started over an empty store to its first frame (window_first_frame/app_empty).
// - window_open_list: a click on the big alphabetical list's row (scrolled into view, all
//   untimed, on a freshly started window whose launch merge has finished) to the first frame
//   showing the items' rows; against the store's own open of that list (open_list_alphabetical).
//
// The application is closed with the timer paused.

#include <vector>

#include "Cases.h"
#include "WindowSession.h"

namespace jw::bench {

// Where the window's cases run: env.window with its cloud folder and the resources.
WindowStore windowStoreOf(const Environment& environment);

// Attaches env.window to its cloud folder (without Qt, so the memory probes that run after it
// fork from a small process), so the window opens it with no cloud intro over the screens.
// Likewise an empty store beside it, the application's own window with no lists.
void attachWindowStore(const Environment& environment);

std::vector<CaseLine> windowCaseTable();
// Makes the process's QGuiApplication and registers the cases.
void registerWindowCases(const Environment& environment);

}  // namespace jw::bench
