#include "aimcam/aim_redirect.hpp"

#include "injector/hooking.hpp"
#include "shared/kit_context.hpp"

namespace aimcam {

std::array<std::array<float, 3>, kWeaponSlotCount> weapon_offsets{};
std::uint8_t mirrored = 0;

namespace {

// The bytes that stood at the aim call site; written back on unload, because
// a CALL left pointing into an unloaded plug-in would crash the game.
injector::scoped_basic<5>& kept_aim_site() {
  static injector::scoped_basic<5> kept;
  return kept;
}

std::uint32_t call_host_camera(void* camera, float* point, float a, float b, float c) {
  return host::routine<host::AimCameraUpdateFn>(host::kAimCameraUpdate)(camera, point, a, b, c);
}

}  // namespace

std::uint32_t HOST_THISCALL redirect_aim_point(void* camera, float* point, float a, float b,
                                               float c) {
  auto* player = host::routine<host::FindPlayerFn>(host::kFindPlayer)(-1);
  if (player == nullptr) return call_host_camera(camera, point, a, b, c);
  if (host::field<std::uint32_t>(player, host::character::kStatusFlags) &
      host::character::kLeftAloneFlag) {
    return call_host_camera(camera, point, a, b, c);
  }
  const auto active = host::field<std::uint8_t>(player, host::character::kActiveWeapon);
  const auto type = host::field<std::int32_t>(
      player, host::character::kWeapons + host::character::kWeaponEntrySize * active);
  const auto slot = weapon_slot(type);
  if (!slot) return call_host_camera(camera, point, a, b, c);

  std::array<float, 3> offset = weapon_offsets[*slot];
  if (mirrored != 0) offset[0] = offset[0] * kMirrorFactor;
  std::array<float, 3> redirected{};
  host::routine<host::CharacterOffsetPointFn>(host::kCharacterOffsetPoint)(
      player, redirected.data(), offset.data());
  return call_host_camera(camera, redirected.data(), a, b, c);
}

void install_aim_redirect() {
  const std::uintptr_t site = hostkit::resolve_address(host::kAimCallSite);
  kept_aim_site().keep_bytes(site, 5, true);
  injector::plant_call(site, injector::code_address(&redirect_aim_point));
}

void remove_aim_redirect() { kept_aim_site().undo(); }

}  // namespace aimcam
