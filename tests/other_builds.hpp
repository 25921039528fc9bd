// Game builds the plug-ins do not bind to, made in the stand-in host by its
// build probe bytes: its first code bytes changed so that no supported build
// matches, then one probe set (or the first bytes themselves, for a near miss).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "standins/host/host_standins.hpp"

namespace testing_builds {

struct OtherBuild {
  const char* name;
  std::uintptr_t probe;
  std::uint32_t value;
};
inline void PrintTo(const OtherBuild& build, std::ostream* out) { *out << build.name; }

inline const OtherBuild kOtherBuilds[] = {
    {"unknown", game::code::kStart, 0xCCCCCCCC},
    {"v1011", game::probe::k8245BC, 0x000094BF},
    {"v3210", game::probe::k858C61, 0x3539F633},
    {"near_1001", game::code::kStart, 0x52EC8B55},  // 55 8B EC 52, one byte off
};

inline void make_build(const OtherBuild& build) {
  standin::poke_value<std::uint32_t>(game::code::kStart, 0xCCCCCCCC);
  standin::poke_value<std::uint32_t>(build.probe, build.value);
}

inline std::string build_name(const testing::TestParamInfo<OtherBuild>& info) {
  return info.param.name;
}

}  // namespace testing_builds
