// The pace of a windowless view's animation frames. As in CEF, where the windowless frame rate
// sets how often a page's requestAnimationFrame callbacks run, a page here gets its callbacks
// at the view's frame rate: WebKitGTK itself ticks them at least 60 times a second (and more
// whenever something else asks for a rendering update), work that no delivered frame shows.
//
// WebKit has no setting for this, so a script that runs in every frame of the page before the
// page's own scripts holds the callbacks back and runs them, all together as the engine would,
// at the first of WebKit's animation frames that falls on the frame-rate grid. CSS animations,
// transitions and media keep WebKit's own pace: nothing reaches them from outside.
#pragma once

#include <webkit2/webkit2.h>

#include <string>

namespace cef_internal {

// The script for views painting `frameRate` frames a second.
std::string AnimationPacingScript(int frameRate);

// Puts the pacing for `frameRate` into `manager`, in place of any earlier pacing it held.
// Documents loaded from then on are paced at that rate.
void SetAnimationPacing(WebKitUserContentManager* manager, int frameRate);

}  // namespace cef_internal
