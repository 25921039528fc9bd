// The aim point redirection: at the host's aim call site the host's camera
// routine gets, instead of the point the game computed, the point at the
// active weapon type's offset from the player's character.
#pragma once

#include <array>
#include <cstdint>

#include "aimcam/weapon_slots.hpp"
#include "shared/host_interface.hpp"

namespace aimcam {

// The first component of the offset is multiplied by this while mirrored.
inline constexpr float kMirrorFactor = -3.0f;

// Per-slot aim offsets (first, second, third), filled from the settings file.
extern std::array<std::array<float, 3>, kWeaponSlotCount> weapon_offsets;
// Set by the X key, cleared by the Z key; non-zero mirrors the offset.
extern std::uint8_t mirrored;

// Stands in for the host's camera routine at the aim call site, with exactly
// its convention and arguments, and always ends by calling it.
std::uint32_t HOST_THISCALL redirect_aim_point(void* camera, float* point, float a, float b,
                                               float c);

// Plants the CALL to redirect_aim_point at the aim call site, keeping the
// bytes that stood there.
void install_aim_redirect();
// Writes the kept bytes back, so the host's aim call reaches its own routine
// again once the plug-in is gone.
void remove_aim_redirect();

}  // namespace aimcam
