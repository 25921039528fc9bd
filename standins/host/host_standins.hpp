// The stand-in host game: the routines behind its fixed addresses record what
// they receive, so tests can check what the game would have seen. The test
// process is the host; it loads plug-ins with LoadLibrary like a plug-in
// loader does. Everything here follows the game's own layout
// (game_layout.hpp), never the plug-ins' declarations. A routine called in a
// way the game would not survive (a member routine run on something that is
// not the player's record, say, because its object was not passed in ECX)
// ends the process with a message saying so, as the game would crash.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "standins/host/game_layout.hpp"

namespace standin {

// The host executable's code and data, for image base 0x400000: `at(a)` is
// where the host address a lies in this process (the stand-in may be linked
// at another base).
std::uintptr_t image_base();
std::uintptr_t at(std::uintptr_t host_address);
template <class T>
T* host_pointer(std::uintptr_t host_address) {
  return reinterpret_cast<T*>(at(host_address));
}
// Writes into the host image, code pages included, as a test fixture does.
void poke(std::uintptr_t host_address, const void* bytes, std::size_t size);
template <class T>
void poke_value(std::uintptr_t host_address, T value) {
  poke(host_address, &value, sizeof value);
}
template <class T>
T peek(std::uintptr_t host_address) {
  T value;
  std::memcpy(&value, host_pointer<const void>(host_address), sizeof value);
  return value;
}
std::array<std::uint8_t, 5> site_bytes(std::uintptr_t host_address);
// Every byte of the host's code and data (0x401000 up to 0xC00000), to see
// that nothing in the game changed.
std::vector<std::uint8_t> image_bytes();

// The camera object's heading (radians), as the game keeps it.
void set_camera_heading(float radians);

// The host's callers of its call sites, running the real host instructions.
std::uint32_t run_aim_call(void* camera, float* point, float a, float b, float c);
std::uintptr_t run_frame_tick();
std::uintptr_t run_frame_event();
std::uintptr_t run_init_event();

// The player's character record handed out by host_find_player(-1).
struct Player {
  alignas(16) std::array<std::uint8_t, game::character::kSize> record{};
  bool present = true;
  std::array<float, 3> position{100.0f, 200.0f, 300.0f};  // where it stands in the world
  std::uint32_t condition = 1;                            // host_character_condition's result
  float heading_radians = 0.0f;                           // host_character_heading's result

  void* character() { return record.data(); }
  void set_weapon(std::uint8_t active_index, std::int32_t type);
  void set_status_flags(std::uint32_t flags);
  void set_state_code(std::int32_t code);
  // The record's two heading fields (radians), as the game reads them.
  std::array<float, 2> heading_fields() const;
};

// A record that links (at the game's offset) to a second record holding a
// 16-bit value: what the camera module's clamped path reads.
struct LinkedRecords {
  alignas(4) std::array<std::uint8_t, game::character::kSize> record{};
  alignas(4) std::array<std::uint8_t, 0x40> linked{};
  LinkedRecords();
  LinkedRecords(const LinkedRecords&) = delete;
  LinkedRecords& operator=(const LinkedRecords&) = delete;
  void set_value(std::uint16_t value);
};

// What the host's routines received.
struct AimCameraCall {
  void* camera;
  float* point;
  std::array<float, 3> point_value;  // the point as the routine saw it
  std::array<float, 3> floats;
};
struct OffsetPointCall {
  void* character;
  std::array<float, 3> offset;
  std::array<float, 3> result;
};
// A message box shown in the game's process; the stand-in answers OK at once.
struct MessageBoxShown {
  void* owner;
  std::string text;
  std::string caption;
  unsigned type;
};
struct SetHeadingCall {
  void* character;
  float radians;
  std::array<float, 2> fields_at_call;  // the record's two heading fields at that moment
};

struct Host {
  Player player;
  std::vector<int> find_player_args;
  std::vector<AimCameraCall> aim_camera_calls;
  std::uint32_t aim_camera_result = 0x5EEDC0DE;
  std::vector<OffsetPointCall> offset_point_calls;
  int condition_calls = 0;
  int heading_calls = 0;
  std::vector<SetHeadingCall> set_heading_calls;
  std::vector<void*> refresh_calls;
  std::vector<MessageBoxShown> message_boxes;
  // Every host routine called, in order: "find_player", "condition",
  // "heading", "set_heading", "refresh", "offset_point", "aim_camera".
  std::vector<std::string_view> routine_calls;

  // The callees of the three event call sites: calls counted, value returned.
  int frame_tick_callee_calls = 0;
  std::uintptr_t frame_tick_value = 0xF7A3E001;
  int frame_event_callee_calls = 0;
  std::uintptr_t frame_event_value = 0xF7A3E002;
  int init_event_callee_calls = 0;
  std::uintptr_t init_event_value = 0x1A17E003;
  // Runs inside a callee, to see what had happened by then.
  void (*on_callee)() = nullptr;
};

// The one host of this process; reset() gives a fresh record and logs.
Host& host();
void reset();

}  // namespace standin
