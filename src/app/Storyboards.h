#pragma once
// The application's storyboards, as plain recipes.
//
// "Main": the initial scene is the split view: the lists screen (scene "Lists") in a navigation
// controller with its toolbar shown as the primary column, and the items screen ("Detail", in
// the navigation controller "DetailNavigation") as the secondary one. The lists screen's rows
// open a list by the segue "showDetail" to a new "DetailNavigation"; "showEmpty" puts the empty
// placeholder ("EmptyNavigation") there instead; both are shown as the split view's secondary
// column (pushed onto the lists when it is collapsed). Also "ThemeSelect" (a navigation
// controller around the theme picker), "MoveCopyItem" (the list picker), "ItemEditor" (the
// item text editor) and "Reminder" (the reminder screen); the presenter puts each of the last
// two in a navigation controller of its own.
// "Intro": the cloud status intro inside a navigation controller.
// Each call makes a new storyboard. Main thread only.

#include <memory>

#include "platform/ui/Storyboard.h"

namespace jw {

std::shared_ptr<ui::Storyboard> makeMainStoryboard();
std::shared_ptr<ui::Storyboard> makeIntroStoryboard();

}  // namespace jw
