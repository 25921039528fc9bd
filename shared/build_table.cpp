#include "shared/build_table.hpp"

#include <array>

namespace hostkit {
namespace {

struct Row {
  std::uint32_t key;
  KnownBuild build;
};

constexpr KnownBuild build(char game, char region, std::uint8_t major, std::uint8_t minor,
                           std::uint16_t revision, std::uint8_t alt_build,
                           bool tests_patch_mark = false) {
  return {{game, region, major, minor, revision, 0, alt_build}, tests_patch_mark};
}

constexpr std::array<Row, 19> kRows = {{
    {0x5C1E70, build('3', 0, 1, 0, 0, 0)},
    {0x5C2130, build('3', 0, 1, 1, 0, 0)},
    {0x5C6FD0, build('3', 0, 1, 1, 0, 1)},
    {0x9912ED, build('3', 0, 1, 1, 0, 1)},
    {0x667BF0, build('V', 0, 1, 0, 0, 0)},
    {0x667C40, build('V', 0, 1, 1, 0, 0)},
    {0x666BA0, build('V', 0, 1, 1, 0, 1)},
    {0xA402ED, build('V', 0, 1, 1, 0, 1)},
    {0x824570, build('S', 'U', 1, 0, 0, 0, true)},
    {0x82457C, build('S', 'U', 1, 0, 0, 0, true)},
    {0x8245B0, build('S', 'E', 1, 0, 0, 0, true)},
    {0x8245BC, build('S', 'E', 1, 0, 0, 0, true)},
    {0x8252FC, build('S', 'U', 1, 1, 0, 0)},
    {0x82533C, build('S', 'E', 1, 1, 0, 0)},
    {0x85EC4A, build('S', 0, 3, 0, 0, 1)},
    {0xD3C3DB, build('S', 0, 3, 0, 0, 1)},
    {0xC965AD, build('I', 'U', 1, 0, 1024, 0)},
    {0xD0D011, build('I', 'U', 1, 0, 1792, 0)},
    {0xD0AF06, build('E', 'U', 1, 1, 2, 0)},
}};

}  // namespace

std::optional<KnownBuild> known_build(std::uint32_t key) {
  for (const Row& row : kRows) {
    if (row.key == key) return row.build;
  }
  return std::nullopt;
}

}  // namespace hostkit
