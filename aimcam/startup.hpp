// aimcam's start-up: binding itself to the game, or staying off on a build
// whose code its fixed addresses do not fit.
#pragma once

namespace aimcam {

// Shown (once per load) when the game build is not one aimcam knows.
inline constexpr char kUnsupportedBuildText[] =
    "GAMEVERSION\nUnsupported game build: aimcam stays off";
inline constexpr char kUnsupportedBuildCaption[] = "aimcam";

// Asks the game build first. On builds 1001 and 1002: plants the aim
// redirection, loads the settings and adds the per-frame handler; true. On
// any other build: changes nothing in the game, tells the player in a
// message box and returns false.
bool start_aimcam();

}  // namespace aimcam
