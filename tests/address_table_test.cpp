// The host address table in the stand-in host, built once at the preferred
// image base and once rebased (STANDIN_BASE tells which). Every test runs in a
// process of its own, so each sees GameVersion's first probing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "shared/address_table.hpp"
#include "shared/game_version.hpp"
#include "shared/kit_context.hpp"
#include "standins/host/host_standins.hpp"
#include "tests/os_fake.hpp"

namespace {

constexpr std::uint32_t kBase = STANDIN_BASE;

// Code bytes that make the probes find one build.
struct BuildCase {
  const char* name;
  std::uintptr_t probe;  // 0: the stand-in host's own first code bytes (1001)
  std::uint32_t value;
  std::int32_t version;
  bool has_camera;
};

const BuildCase kBuilds[] = {
    {"v1001", 0, 0, 1001, true},
    {"v1002", 0x401000, 0x16197BE9, 1002, true},
    {"v1011", 0x8245BC, 0x000094BF, 1011, false},
    {"v1101", 0x8252FC, 0x000094BF, 1101, false},
    {"v1111", 0x82533C, 0x000094BF, 1111, false},
    {"v3200", 0x858D51, 0x3539F633, 3200, false},
    {"v3210", 0x858C61, 0x3539F633, 3210, false},
    {"unknown", 0x401000, 0xCCCCCCCC, 0, false},
};

void PrintTo(const BuildCase& build, std::ostream* out) { *out << build.name; }

void make_build(const BuildCase& build) {
  if (build.probe == 0) return;
  if (build.probe != 0x401000) standin::poke_value<std::uint32_t>(0x401000, 0xCCCCCCCC);
  standin::poke_value<std::uint32_t>(build.probe, build.value);
}

class AddressTable : public testing::TestWithParam<BuildCase> {};

TEST_P(AddressTable, TheCameraSlotHoldsTheRebasedAddressOnlyForBuildsThatHaveIt) {
  ASSERT_EQ(standin::image_base(), kBase);
  make_build(GetParam());
  hostkit::resolve_host_address_table();
  ASSERT_EQ(hostkit::GameVersion(), GetParam().version);
  const std::uint32_t expected = GetParam().has_camera ? kBase + 0xB6F028 - 0x400000
                                                       : kBase - 0x400000;
  EXPECT_EQ(hostkit::address_table::camera_object, expected);
}

TEST_P(AddressTable, EachBuildTakesItsOwnAddressOfAnEntry) {
  make_build(GetParam());
  std::uint32_t slot = 0xDEADBEEF;
  hostkit::resolve_entry({&slot, 0x512340, 0x6ABCD0});
  const std::uint32_t address = GetParam().version == 1001   ? 0x512340
                                : GetParam().version == 1002 ? 0x6ABCD0
                                                             : 0;
  EXPECT_EQ(slot, kBase + address - 0x400000);
}

INSTANTIATE_TEST_SUITE_P(Builds, AddressTable, testing::ValuesIn(kBuilds),
                         [](const testing::TestParamInfo<BuildCase>& i) {
                           return std::string(i.param.name);
                         });

std::vector<std::uintptr_t> lifted(const testing_os::OsFake& os) {
  std::vector<std::uintptr_t> addresses;
  for (const auto& call : os.protect_calls) {
    if (call.protection == 0x40) addresses.push_back(call.address);
  }
  return addresses;
}

TEST(AddressTableProbing, OnlyTheFirstResolutionProbesTheHostsCode) {
  standin::poke_value<std::uint32_t>(0x401000, 0xCCCCCCCC);
  standin::poke_value<std::uint32_t>(0x8245BC, 0x000094BF);
  hostkit::resolve_address(0);  // the kit context's own reads are not probes
  testing_os::OsFake os;
  hostkit::resolve_host_address_table();
  EXPECT_THAT(lifted(os),
              testing::ElementsAre(kBase + 0x1000, kBase + 0x1000, kBase + 0x4245BC));

  os.protect_calls.clear();
  std::uint32_t slot = 0;
  hostkit::resolve_entry({&slot, 0x500000, 0x500000});
  hostkit::resolve_host_address_table();
  EXPECT_THAT(os.protect_calls, testing::IsEmpty());
  EXPECT_EQ(slot, kBase - 0x400000);
}

TEST(AddressTableProbing, AnEarlierGameVersionCallLeavesNothingToProbe) {
  hostkit::GameVersion();
  testing_os::OsFake os;
  hostkit::resolve_host_address_table();
  EXPECT_THAT(os.protect_calls, testing::IsEmpty());
  EXPECT_EQ(hostkit::address_table::camera_object, kBase + 0xB6F028 - 0x400000);
}

}  // namespace
