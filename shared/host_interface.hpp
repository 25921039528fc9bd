// Everything the plug-ins know of the host game's executable: the addresses of
// its routines, call sites, code and data (for its image base 0x400000), the
// layout of its character record, and how its routines are called. Nothing
// else in the project writes these numbers.
#pragma once

// The record offsets that assembly code uses as well (this header is also
// included by .S files, which see only these macros).
#define HOST_CHARACTER_LINKED_RECORD 0x58C
#define HOST_LINKED_VALUE 0x22

#ifndef __ASSEMBLER__

#include <cstdint>
#include <cstring>

namespace host {

inline constexpr std::uintptr_t kImageBase = 0x400000;

// Routines, called at their fixed addresses.
inline constexpr std::uintptr_t kFindPlayer = 0x56E210;             // cdecl (int) -> record
inline constexpr std::uintptr_t kCharacterOffsetPoint = 0x5334F0;   // member (out, offset)
inline constexpr std::uintptr_t kAimCameraUpdate = 0x521500;        // member (point, f, f, f)
inline constexpr std::uintptr_t kCharacterCondition = 0x5E3960;     // member () -> bool in AL
inline constexpr std::uintptr_t kCharacterHeading = 0x441DB0;       // member () -> float in ST0
inline constexpr std::uintptr_t kCharacterSetHeading = 0x43E0C0;    // member (float)
inline constexpr std::uintptr_t kCharacterRefresh = 0x446F90;       // cdecl (record)

// Call sites: 5-byte relative CALLs that the plug-ins take over.
inline constexpr std::uintptr_t kAimCallSite = 0x527A95;    // calls kAimCameraUpdate
inline constexpr std::uintptr_t kFrameTickSite = 0x53E981;  // once per frame
inline constexpr std::uintptr_t kInitEventSite = 0x5BF3A1;
inline constexpr std::uintptr_t kFrameEventSite = 0x53C077;  // once per frame

// Code and data.
inline constexpr std::uintptr_t kAimCodeConstant = 0x521632;  // float inside code
inline constexpr std::uintptr_t kGuardedCode = 0x52C977;      // 4 bytes of code
inline constexpr std::uintptr_t kAimValue8CC4A0 = 0x8CC4A0;
inline constexpr std::uintptr_t kAimValue8CC4A8 = 0x8CC4A8;
inline constexpr std::uintptr_t kAimValue8CC4AC = 0x8CC4AC;
inline constexpr std::uintptr_t kAimValue8CC4B0 = 0x8CC4B0;
inline constexpr std::uintptr_t kAimValue8CC4B4 = 0x8CC4B4;
inline constexpr std::uintptr_t kAimValue8CC4B8 = 0x8CC4B8;
inline constexpr std::uintptr_t kAimTable = 0x8CC4C0;  // 28 floats
inline constexpr std::size_t kAimTableFloats = 28;
inline constexpr std::uintptr_t kCameraObject = 0xB6F028;
inline constexpr std::uintptr_t kCameraHeadingOffset = 0x150;  // float, radians

// Version probes.
inline constexpr std::uintptr_t kProbeCodeStart = 0x401000;
inline constexpr std::uintptr_t kProbe8245BC = 0x8245BC;
inline constexpr std::uintptr_t kProbe8252FC = 0x8252FC;
inline constexpr std::uintptr_t kProbe82533C = 0x82533C;
inline constexpr std::uintptr_t kProbe858D51 = 0x858D51;
inline constexpr std::uintptr_t kProbe858C61 = 0x858C61;
inline constexpr std::uintptr_t kPatchMarkByte = 0x406A20;

// The character record.
namespace character {
inline constexpr std::uintptr_t kStatusFlags = 0x46C;  // 32 bits
inline constexpr std::uint32_t kLeftAloneFlag = 0x100;  // no aim redirection, no heading limit
inline constexpr std::uintptr_t kStateCode = 0x530;    // 32 bits
// The state codes in which the character turns with the camera.
inline constexpr std::int32_t kTurningStateCodes[] = {0, 1, 17, 22, 32};
inline constexpr std::uintptr_t kHeadingField = 0x558;  // float, radians
inline constexpr std::uintptr_t kHeadingFieldCopy = 0x55C;
inline constexpr std::uintptr_t kWeapons = 0x5A0;  // entries, weapon type (32 bits) first
inline constexpr std::uintptr_t kWeaponEntrySize = 28;
inline constexpr std::uintptr_t kActiveWeapon = 0x718;  // 8 bits
// The record handed to the outside module's clamped path: at +0x58C the
// address of a second record whose +0x22 is a 16-bit value.
inline constexpr std::uintptr_t kLinkedRecord = HOST_CHARACTER_LINKED_RECORD;
inline constexpr std::uintptr_t kLinkedValue = HOST_LINKED_VALUE;  // 16 bits, unsigned
}  // namespace character

// The outside module "Kestrelview.sp" that another mod loads into the game:
// places in its image, as offsets from its module base.
namespace kestrelview {
inline constexpr const char* kModuleName = "Kestrelview.sp";
// A 32-bit reference inside its code to a cell it reads and writes.
inline constexpr std::uintptr_t kCellReference = 0x1FFA;
// The instructions that load the linked record's 16-bit value into ECX
// (10 bytes), and where its code goes on with that value.
inline constexpr std::uintptr_t kLinkedValueLoad = 0x47EC;
inline constexpr std::uintptr_t kLinkedValueUse = 0x47F6;
// What the module writes over the host's guarded code to switch it off.
inline constexpr std::uint32_t kSilencedGuard = 0x90909090;
}  // namespace kestrelview

struct Character;  // opaque: reached only through the offsets above

// Plain reads and writes of a field of a host record.
template <class T>
T field(const void* record, std::uintptr_t offset) {
  T value;
  std::memcpy(&value, static_cast<const char*>(record) + offset, sizeof value);
  return value;
}
template <class T>
void set_field(void* record, std::uintptr_t offset, T value) {
  std::memcpy(static_cast<char*>(record) + offset, &value, sizeof value);
}

#if defined(__i386__)
// Member routines take the object in ECX and remove their stack arguments.
#define HOST_THISCALL __attribute__((thiscall))
#define HOST_CDECL __attribute__((cdecl))

using FindPlayerFn = Character* HOST_CDECL (*)(int);
using CharacterOffsetPointFn = void HOST_THISCALL (*)(Character*, float* out, const float* offset);
using AimCameraUpdateFn = std::uint32_t HOST_THISCALL (*)(void* camera, float* point, float, float,
                                                          float);
using CharacterConditionFn = std::uint32_t HOST_THISCALL (*)(Character*);  // low byte counts
using CharacterHeadingFn = float HOST_THISCALL (*)(Character*);
using CharacterSetHeadingFn = void HOST_THISCALL (*)(Character*, float radians);
using CharacterRefreshFn = void HOST_CDECL (*)(Character*);
using SiteCalleeFn = std::uintptr_t HOST_CDECL (*)();  // the callee at every event site

template <class Fn>
Fn routine(std::uintptr_t address) {
  return reinterpret_cast<Fn>(address);
}
#endif

}  // namespace host

#endif  // __ASSEMBLER__
