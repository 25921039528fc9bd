// Where a load of aimingSets.dat stores the values of lines 3 to 9 in the
// game, in file order: six host values and, for line 5, the float inside
// host code.
#pragma once

#include <array>
#include <cstdint>

#include "standins/host/game_layout.hpp"

namespace testing_settings {

inline constexpr std::array<std::uintptr_t, 7> kLineTargets = {
    game::data::kAimValueB4, game::data::kAimValueB8, game::code::kAimConstant,
    game::data::kAimValueB0, game::data::kAimValueAC, game::data::kAimValueA8,
    game::data::kAimValueA0};

}  // namespace testing_settings
