#include "viewfix/heading_math.hpp"

#include <cmath>

namespace viewfix {
namespace {

constexpr float kTurn = 360.0f;
constexpr float kHalfTurn = 180.0f;
// Beyond this many degrees from the range, values are reduced with fmod
// instead of being stepped a turn at a time (which for huge floats would
// never end, since adding a turn no longer changes them).
constexpr float kSteppedReach = 4 * kTurn;

}  // namespace

float normalize_heading(float degrees) {
  if (!std::isfinite(degrees)) return 0.0f;
  // Far out either way, fmod (exact) brings the value within one turn of 0,
  // into [0, 360) above and (-360, 0] below.
  if (std::fabs(degrees) > kSteppedReach) degrees = std::fmod(degrees, kTurn);
  if (degrees > kTurn) return degrees - kTurn;
  while (degrees < 0.0f) degrees += kTurn;
  return degrees;
}

std::optional<float> heading_difference(float character, float camera) {
  float difference = character - camera;
  if (!std::isfinite(difference)) return std::nullopt;
  if (std::fabs(difference) > kSteppedReach) difference = std::fmod(difference, kTurn);
  while (difference > kHalfTurn) difference -= kTurn;
  while (difference <= -kHalfTurn) difference += kTurn;
  return difference;
}

std::optional<float> limited_heading(float character, float camera) {
  const auto difference = heading_difference(character, camera);
  if (!difference) return std::nullopt;
  if (*difference > kTurnLimit) return character - (*difference - kTurnLimit);
  if (*difference < -kTurnLimit) return character - (*difference + kTurnLimit);
  return std::nullopt;
}

}  // namespace viewfix
