// The game's executable as the stand-in host plays it: where its routines,
// call sites, code and data lie (for its image base 0x400000), how its
// character record and camera object are laid out, and how its routines are
// called. Written from the game's own layout and conventions, independently
// of the plug-ins' declarations: where the two disagree, a plug-in meets the
// game's numbers here and a test fails, as the plug-in would misbehave in the
// game.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace game {

inline constexpr std::uintptr_t kImageBase = 0x400000;
inline constexpr std::uintptr_t kImageEnd = 0xC00000;  // code and data below this

// Routines, at their fixed addresses.
namespace routine {
inline constexpr std::uintptr_t kFindPlayer = 0x56E210;           // cdecl (int which) -> record
inline constexpr std::uintptr_t kCharacterOffsetPoint = 0x5334F0; // member (out, offset)
inline constexpr std::uintptr_t kAimCameraUpdate = 0x521500;      // member (point, f, f, f)
inline constexpr std::uintptr_t kCharacterCondition = 0x5E3960;   // member () -> AL
inline constexpr std::uintptr_t kCharacterHeading = 0x441DB0;     // member () -> ST0
inline constexpr std::uintptr_t kCharacterSetHeading = 0x43E0C0;  // member (float)
inline constexpr std::uintptr_t kCharacterRefresh = 0x446F90;     // cdecl (record)
}  // namespace routine

// The 5-byte CALLs the plug-ins take over, and where the stand-in's callers
// of the three event sites call to.
namespace site {
inline constexpr std::uintptr_t kAimCall = 0x527A95;    // calls routine::kAimCameraUpdate
inline constexpr std::uintptr_t kFrameEvent = 0x53C077;  // once per frame
inline constexpr std::uintptr_t kFrameTick = 0x53E981;   // once per frame
inline constexpr std::uintptr_t kInitEvent = 0x5BF3A1;
inline constexpr std::uintptr_t kFrameEventCallee = 0x53C100;
inline constexpr std::uintptr_t kFrameTickCallee = 0x53EA00;
inline constexpr std::uintptr_t kInitEventCallee = 0x5BF400;
}  // namespace site

// Code bytes the plug-ins read or write.
namespace code {
inline constexpr std::uintptr_t kStart = 0x401000;          // first code bytes (build probe)
inline constexpr std::uintptr_t kPatchMarkByte = 0x406A20;
inline constexpr std::uintptr_t kAimConstant = 0x521632;    // a float inside an instruction
inline constexpr std::uintptr_t kGuarded = 0x52C977;        // 4 bytes the camera module silences
inline constexpr std::uint32_t kGuardedBytes = 0x51104E8B;  // 8B 4E 10 51, as the image holds them
inline constexpr std::uint32_t kSilenced = 0x90909090;      // four NOPs
}  // namespace code

// Data the plug-ins write or read.
namespace data {
inline constexpr std::uintptr_t kAimValueA0 = 0x8CC4A0;
inline constexpr std::uintptr_t kAimValueA8 = 0x8CC4A8;
inline constexpr std::uintptr_t kAimValueAC = 0x8CC4AC;
inline constexpr std::uintptr_t kAimValueB0 = 0x8CC4B0;
inline constexpr std::uintptr_t kAimValueB4 = 0x8CC4B4;
inline constexpr std::uintptr_t kAimValueB8 = 0x8CC4B8;
inline constexpr std::uintptr_t kAimTable = 0x8CC4C0;  // 4 rows of 7 floats
inline constexpr std::size_t kAimTableFloats = 28;
inline constexpr std::uintptr_t kCameraObject = 0xB6F028;
}  // namespace data

// The camera object: its heading, in radians, turning the other way round
// from the character's.
namespace camera {
inline constexpr std::size_t kHeading = 0x150;  // float
}  // namespace camera

// Where the build probes look.
namespace probe {
inline constexpr std::uintptr_t k8245BC = 0x8245BC;
inline constexpr std::uintptr_t k8252FC = 0x8252FC;
inline constexpr std::uintptr_t k82533C = 0x82533C;
inline constexpr std::uintptr_t k858D51 = 0x858D51;
inline constexpr std::uintptr_t k858C61 = 0x858C61;
}  // namespace probe

// The character record: the fields the plug-ins touch.
namespace character {
inline constexpr std::size_t kStatusFlags = 0x46C;  // 32 bits
inline constexpr std::uint32_t kLeftAlone = 0x100;  // status flag: no aim redirect, no turning
inline constexpr std::size_t kStateCode = 0x530;    // 32 bits
inline constexpr std::size_t kHeading = 0x558;      // float, radians
inline constexpr std::size_t kHeadingCopy = 0x55C;  // float, radians
inline constexpr std::size_t kLinkedRecord = 0x58C; // address of a second record
inline constexpr std::size_t kLinkedValue = 0x22;   // in the second record: 16 bits, unsigned
inline constexpr std::size_t kWeapons = 0x5A0;      // entries of 28 bytes, weapon type first
inline constexpr std::size_t kWeaponEntry = 28;
inline constexpr std::size_t kActiveWeapon = 0x718; // 8 bits, index of the active entry
inline constexpr std::size_t kSize = 0x800;         // enough for every field above
}  // namespace character

// Plain access to a field of a record at its offset.
template <class T>
T get(const void* record, std::size_t offset) {
  T value;
  std::memcpy(&value, static_cast<const char*>(record) + offset, sizeof value);
  return value;
}
template <class T>
void put(void* record, std::size_t offset, T value) {
  std::memcpy(static_cast<char*>(record) + offset, &value, sizeof value);
}

}  // namespace game

// The game's calling conventions: a member routine takes its object in ECX
// and removes its own stack arguments; the others are cdecl.
#define GAME_MEMBER __attribute__((thiscall))
#define GAME_CDECL __attribute__((cdecl))
