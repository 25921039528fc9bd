#include "standins/host/host_standins.hpp"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
std::uint32_t host_aim_caller(void* camera, float* point, float a, float b, float c);
std::uintptr_t host_frame_tick();
std::uintptr_t host_frame_event();
std::uintptr_t host_init_event();
}

namespace standin {

namespace {
Host the_host;

// The game would crash here, at a random moment; the stand-in stops at once
// and says why.
[[noreturn]] void crash(const char* routine, const char* what, const void* seen) {
  std::fprintf(stderr, "stand-in host: %s %s (got %p); the game would crash here\n", routine,
               what, seen);
  std::fflush(stderr);
  std::abort();
}

// A member routine's object (ECX) must be the record host_find_player gave.
void expect_player(const char* routine, const void* object) {
  if (object != the_host.player.character()) {
    crash(routine, "was not called on the player's character record", object);
  }
}
// Message boxes: the game's process shows them and the player presses OK.
// The stand-in takes every MessageBoxA of the process, whoever calls it, by a
// jump at the function's entry, records it and answers OK without a window.
int WINAPI standin_message_box(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  the_host.message_boxes.push_back(
      {owner, text != nullptr ? text : "", caption != nullptr ? caption : "", type});
  return IDOK;
}

struct MessageBoxCapture {
  MessageBoxCapture() {
    auto* entry = reinterpret_cast<std::uint8_t*>(
        GetProcAddress(LoadLibraryA("user32.dll"), "MessageBoxA"));
    if (entry == nullptr) return;
    std::uint8_t jump[5] = {0xE9};
    const auto displacement = static_cast<std::uint32_t>(
        reinterpret_cast<std::uintptr_t>(&standin_message_box) -
        (reinterpret_cast<std::uintptr_t>(entry) + 5));
    std::memcpy(jump + 1, &displacement, 4);
    DWORD old = 0;
    VirtualProtect(entry, sizeof jump, PAGE_EXECUTE_READWRITE, &old);
    std::memcpy(entry, jump, sizeof jump);
    VirtualProtect(entry, sizeof jump, old, &old);
    FlushInstructionCache(GetCurrentProcess(), entry, sizeof jump);
  }
} message_box_capture;
}  // namespace

Host& host() { return the_host; }
void reset() { the_host = Host{}; }

std::uintptr_t image_base() { return reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr)); }
std::uintptr_t at(std::uintptr_t host_address) {
  return image_base() + host_address - game::kImageBase;
}

void poke(std::uintptr_t host_address, const void* bytes, std::size_t size) {
  void* target = host_pointer<void>(host_address);
  DWORD old = 0;
  VirtualProtect(target, size, PAGE_EXECUTE_READWRITE, &old);
  std::memcpy(target, bytes, size);
  VirtualProtect(target, size, old, &old);
  FlushInstructionCache(GetCurrentProcess(), target, size);
}

std::array<std::uint8_t, 5> site_bytes(std::uintptr_t host_address) {
  std::array<std::uint8_t, 5> bytes{};
  std::memcpy(bytes.data(), host_pointer<const void>(host_address), bytes.size());
  return bytes;
}

std::vector<std::uint8_t> image_bytes() {
  const auto* begin = host_pointer<const std::uint8_t>(game::code::kStart);
  return {begin, begin + (game::kImageEnd - game::code::kStart)};
}

void set_camera_heading(float radians) {
  poke_value<float>(game::data::kCameraObject + game::camera::kHeading, radians);
}

// Called through volatile pointers so the compiler cannot assume anything of
// code that plug-ins patch at run time.
std::uint32_t run_aim_call(void* camera, float* point, float a, float b, float c) {
  auto* volatile caller = &host_aim_caller;
  return caller(camera, point, a, b, c);
}
std::uintptr_t run_frame_tick() {
  auto* volatile caller = &host_frame_tick;
  return caller();
}
std::uintptr_t run_frame_event() {
  auto* volatile caller = &host_frame_event;
  return caller();
}
std::uintptr_t run_init_event() {
  auto* volatile caller = &host_init_event;
  return caller();
}

void Player::set_weapon(std::uint8_t active_index, std::int32_t type) {
  game::put<std::uint8_t>(record.data(), game::character::kActiveWeapon, active_index);
  game::put<std::int32_t>(
      record.data(), game::character::kWeapons + game::character::kWeaponEntry * active_index,
      type);
}
void Player::set_status_flags(std::uint32_t flags) {
  game::put<std::uint32_t>(record.data(), game::character::kStatusFlags, flags);
}
void Player::set_state_code(std::int32_t code) {
  game::put<std::int32_t>(record.data(), game::character::kStateCode, code);
}
std::array<float, 2> Player::heading_fields() const {
  return {game::get<float>(record.data(), game::character::kHeading),
          game::get<float>(record.data(), game::character::kHeadingCopy)};
}

LinkedRecords::LinkedRecords() {
  game::put<std::uint32_t>(record.data(), game::character::kLinkedRecord,
                           static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(linked.data())));
}
void LinkedRecords::set_value(std::uint16_t value) {
  game::put<std::uint16_t>(linked.data(), game::character::kLinkedValue, value);
}

}  // namespace standin

// The routines behind the host's fixed addresses, reached by the 5-byte jumps
// of the host image, with the game's own conventions.
extern "C" {

using standin::the_host;

void* GAME_CDECL standin_find_player(int which) {
  the_host.routine_calls.emplace_back("find_player");
  the_host.find_player_args.push_back(which);
  return the_host.player.present && which == -1 ? the_host.player.character() : nullptr;
}

void GAME_MEMBER standin_character_offset_point(void* character, float* out, const float* offset) {
  the_host.routine_calls.emplace_back("offset_point");
  standin::expect_player("host_character_offset_point", character);
  standin::OffsetPointCall call{character, {offset[0], offset[1], offset[2]}, {}};
  for (int i = 0; i < 3; ++i) {
    call.result[i] = the_host.player.position[i] + offset[i];
    out[i] = call.result[i];
  }
  the_host.offset_point_calls.push_back(call);
}

std::uint32_t GAME_MEMBER standin_aim_camera_update(void* camera, float* point, float a, float b,
                                                    float c) {
  the_host.routine_calls.emplace_back("aim_camera");
  standin::AimCameraCall call{camera, point, {}, {a, b, c}};
  if (point != nullptr) std::memcpy(call.point_value.data(), point, sizeof call.point_value);
  the_host.aim_camera_calls.push_back(call);
  return the_host.aim_camera_result;
}

std::uint32_t GAME_MEMBER standin_character_condition(void* character) {
  the_host.routine_calls.emplace_back("condition");
  standin::expect_player("host_character_condition", character);
  ++the_host.condition_calls;
  // Only the low byte counts; the upper bytes carry noise as real code may.
  return 0xABCDEF00u | (the_host.player.condition & 0xFF);
}

float GAME_MEMBER standin_character_heading(void* character) {
  the_host.routine_calls.emplace_back("heading");
  standin::expect_player("host_character_heading", character);
  ++the_host.heading_calls;
  return the_host.player.heading_radians;
}

void GAME_MEMBER standin_character_set_heading(void* character, float radians) {
  the_host.routine_calls.emplace_back("set_heading");
  standin::expect_player("host_character_set_heading", character);
  the_host.set_heading_calls.push_back({character, radians, the_host.player.heading_fields()});
}

void GAME_CDECL standin_character_refresh(void* character) {
  the_host.routine_calls.emplace_back("refresh");
  standin::expect_player("host_character_refresh", character);
  the_host.refresh_calls.push_back(character);
}

std::uintptr_t GAME_CDECL standin_frame_tick_callee() {
  ++the_host.frame_tick_callee_calls;
  if (the_host.on_callee) the_host.on_callee();
  return the_host.frame_tick_value;
}
std::uintptr_t GAME_CDECL standin_frame_event_callee() {
  ++the_host.frame_event_callee_calls;
  if (the_host.on_callee) the_host.on_callee();
  return the_host.frame_event_value;
}
std::uintptr_t GAME_CDECL standin_init_event_callee() {
  ++the_host.init_event_callee_calls;
  if (the_host.on_callee) the_host.on_callee();
  return the_host.init_event_value;
}

}  // extern "C"
