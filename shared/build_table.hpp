// The host builds known by the entry-point address of their executable.
// Portable: a table and a lookup, no Windows header.
#pragma once

#include <cstdint>
#include <optional>

namespace hostkit {

// The build of the host executable, 8 bytes; all zero when not recognised.
struct HostVersionInfo {
  char game = 0;            // game letter: '3', 'V', 'S', 'I', 'E'
  char region = 0;          // 'U', 'E', or 0 for builds without a region
  std::uint8_t major = 0;
  std::uint8_t minor = 0;
  std::uint16_t revision = 0;
  char patch_mark = 0;      // 'H' when the code byte at 0x406A20 is 0xE9 (some builds only)
  std::uint8_t alt_build = 0;

  bool operator==(const HostVersionInfo&) const = default;
};
static_assert(sizeof(HostVersionInfo) == 8);

struct KnownBuild {
  HostVersionInfo info;       // patch_mark always 0 here
  bool tests_patch_mark;      // whether the byte at 0x406A20 decides patch_mark
};

inline constexpr std::uint32_t kPatchMarkOpcode = 0xE9;
inline constexpr char kPatchMark = 'H';

// The build whose entry point, as an address for image base 0x400000, is
// `key`; nothing for an unknown entry point.
std::optional<KnownBuild> known_build(std::uint32_t key);

}  // namespace hostkit
