// Once per frame, while the outside module is there and has switched the
// host's guarded code off, keeps the player's character facing at most 60
// degrees away from the camera. It also guards that code: anything written
// there other than the outside module's own bytes is put back to the bytes
// captured at the last repair.
#pragma once

#include "shared/host_interface.hpp"

namespace viewfix {

// Whether the heading is being limited; set when the guarded code is found
// switched off, cleared when something else is found there.
extern bool limiter_active;

// The frame's guard check and heading limit.
void limit_heading();

// Turns the character to `degrees` (brought into range as normalize_heading
// does) and has the host take the new heading in.
void set_character_heading(host::Character* character, float degrees);

}  // namespace viewfix
