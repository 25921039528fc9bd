// The angle arithmetic of the heading limiter, on 32-bit floats in degrees.
// Portable: no Windows header, no host access.
#pragma once

#include <bit>
#include <cstdint>
#include <optional>

namespace viewfix {

// The host's character heading (radians) to degrees.
inline constexpr float kHeadingToDegrees = std::bit_cast<float>(std::uint32_t{0x42652EE0});
// The camera's heading (radians, turning the other way) to degrees.
inline constexpr float kCameraToDegrees = std::bit_cast<float>(std::uint32_t{0xC2652EE1});
// Degrees back to the host's radians.
inline constexpr float kDegreesToRadians = std::bit_cast<float>(std::uint32_t{0x3C8EFA35});

// How far (degrees) the character may face away from the camera.
inline constexpr float kTurnLimit = 60.0f;

// A heading brought towards [0, 360]: NaN and infinities become 0; above 360
// one turn is taken off (once: 800 gives 440); below 0 turns are added until
// it is not negative. Values more than four turns out, either way, are first
// reduced to within one turn (so a huge heading still ends in [0, 360] and
// nothing steps turn by turn); within four turns every step is exactly the
// one above.
float normalize_heading(float degrees);

// The character's heading minus the camera's, turned into (-180, 180], so
// that it says which way is shorter. A non-finite difference gives nothing.
std::optional<float> heading_difference(float character, float camera);

// The heading the character has to be turned to so that it faces at most
// kTurnLimit away from the camera, by the shorter way; nothing while it is
// within the limit (exactly at the limit included).
std::optional<float> limited_heading(float character, float camera);

}  // namespace viewfix
