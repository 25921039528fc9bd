// Which weapon types move the aim point, and to which offset slot.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace aimcam {

inline constexpr int kWeaponSlotCount = 16;
inline constexpr std::int32_t kFirstAimedType = 19;

// Slots of the weapon types 19 to 37, in order; -1: the type keeps the host's
// own aim point.
inline constexpr std::array<std::int8_t, 19> kSlotOfType = {
    13, 14, -1, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 9, 12, -1, -1, -1, 15,
};

// The offset slot of a weapon type, if it has one. The range test is on the
// type as unsigned after subtracting 19, so negative types fall outside too.
constexpr std::optional<int> weapon_slot(std::int32_t type) {
  const std::uint32_t index = static_cast<std::uint32_t>(type) - static_cast<std::uint32_t>(kFirstAimedType);
  if (index >= kSlotOfType.size() || kSlotOfType[index] < 0) return std::nullopt;
  return kSlotOfType[index];
}

}  // namespace aimcam
