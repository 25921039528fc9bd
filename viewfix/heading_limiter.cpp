#include "viewfix/heading_limiter.hpp"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "injector/memory.hpp"
#include "shared/address_table.hpp"
#include "shared/kit_context.hpp"
#include "viewfix/heading_math.hpp"
#include "viewfix/outside_module.hpp"

namespace viewfix {

bool limiter_active = false;

namespace {

// Checks (and mends) the guarded code; whether the limiter runs this frame.
bool guard_lets_limiter_run() {
  const std::uintptr_t guard = hostkit::resolve_address(host::kGuardedCode);
  const auto code = injector::read_value<std::uint32_t>(guard);
  if (code == host::kestrelview::kSilencedGuard) {
    limiter_active = true;
    return true;
  }
  if (code != saved_guard_bytes) {
    limiter_active = false;
    injector::write_value<std::uint32_t>(guard, saved_guard_bytes);
  }
  return limiter_active;
}

bool turns_with_camera(host::Character* player) {
  if (host::field<std::uint32_t>(player, host::character::kStatusFlags) &
      host::character::kLeftAloneFlag) {
    return false;
  }
  const auto condition =
      host::routine<host::CharacterConditionFn>(host::kCharacterCondition)(player);
  if ((condition & 0xFF) == 0) return false;
  const auto state = host::field<std::int32_t>(player, host::character::kStateCode);
  return std::find(std::begin(host::character::kTurningStateCodes),
                   std::end(host::character::kTurningStateCodes),
                   state) != std::end(host::character::kTurningStateCodes);
}

}  // namespace

void set_character_heading(host::Character* character, float degrees) {
  const float radians = normalize_heading(degrees) * kDegreesToRadians;
  host::set_field<float>(character, host::character::kHeadingField, radians);
  host::set_field<float>(character, host::character::kHeadingFieldCopy, radians);
  host::routine<host::CharacterSetHeadingFn>(host::kCharacterSetHeading)(character, radians);
  host::routine<host::CharacterRefreshFn>(host::kCharacterRefresh)(character);
}

void limit_heading() {
  if (outside_module == nullptr) return;
  if (!guard_lets_limiter_run()) return;

  auto* player = host::routine<host::FindPlayerFn>(host::kFindPlayer)(-1);
  if (player == nullptr) return;
  if (!turns_with_camera(player)) return;

  const auto* camera = reinterpret_cast<const void*>(
      static_cast<std::uintptr_t>(hostkit::address_table::camera_object));
  const float camera_radians = host::field<float>(camera, host::kCameraHeadingOffset);
  if (std::isnan(camera_radians)) return;
  const float camera_heading = camera_radians * kCameraToDegrees;

  const float character_radians =
      host::routine<host::CharacterHeadingFn>(host::kCharacterHeading)(player);
  const float character_heading = normalize_heading(character_radians * kHeadingToDegrees);

  if (const auto turned = limited_heading(character_heading, camera_heading)) {
    set_character_heading(player, *turned);
  }
}

}  // namespace viewfix
