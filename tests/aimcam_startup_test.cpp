// aimcam's start-up in the stand-in host, with the operating-system calls
// recorded: the game build is asked before anything is patched, and on a
// build aimcam does not know nothing is patched at all.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "aimcam/startup.hpp"
#include "standins/host/host_standins.hpp"
#include "tests/os_fake.hpp"
#include "tests/other_builds.hpp"

namespace {

using testing_os::OsFake;

// Where the protection was lifted, in order.
std::vector<std::uintptr_t> lifted(const OsFake& os) {
  std::vector<std::uintptr_t> addresses;
  for (const auto& call : os.protect_calls) {
    if (call.protection == PAGE_EXECUTE_READWRITE) addresses.push_back(call.address);
  }
  return addresses;
}

TEST(AimcamStartup, AsksTheBuildBeforeItPatchesAnything) {
  standin::reset();
  OsFake os;
  os.module_file_name_result = "C:\\no such folder\\aimcam.dll";
  ASSERT_TRUE(aimcam::start_aimcam());
  const auto addresses = lifted(os);
  ASSERT_FALSE(addresses.empty());
  EXPECT_EQ(addresses.front(), standin::at(game::code::kStart)) << "the build probe comes first";
  const auto aim_site = std::find(addresses.begin(), addresses.end(), game::site::kAimCall);
  ASSERT_NE(aim_site, addresses.end()) << "the aim call is planted";
  EXPECT_TRUE(std::all_of(addresses.begin(), aim_site,
                          [](std::uintptr_t a) { return a == standin::at(game::code::kStart); }))
      << "nothing but the probe before the first patch";
  EXPECT_TRUE(os.message_boxes.empty());
}

class AimcamStartupOnOtherBuilds : public testing::TestWithParam<testing_builds::OtherBuild> {};

TEST_P(AimcamStartupOnOtherBuilds, PatchesNothingAndSaysSoOnce) {
  standin::reset();
  testing_builds::make_build(GetParam());
  const auto aim_site = standin::site_bytes(game::site::kAimCall);
  const auto tick_site = standin::site_bytes(game::site::kFrameTick);
  const auto constant = standin::peek<std::uint32_t>(game::code::kAimConstant);
  OsFake os;
  os.module_file_name_result = "C:\\no such folder\\aimcam.dll";
  EXPECT_FALSE(aimcam::start_aimcam());

  // Only the build probes lifted the protection, and only to read.
  const std::vector<std::uintptr_t> probes = {
      standin::at(game::code::kStart), standin::at(game::probe::k8245BC),
      standin::at(game::probe::k8252FC), standin::at(game::probe::k82533C),
      standin::at(game::probe::k858D51), standin::at(game::probe::k858C61)};
  for (std::uintptr_t a : lifted(os)) {
    EXPECT_NE(std::find(probes.begin(), probes.end(), a), probes.end()) << std::hex << a;
  }
  EXPECT_EQ(standin::site_bytes(game::site::kAimCall), aim_site);
  EXPECT_EQ(standin::site_bytes(game::site::kFrameTick), tick_site);
  EXPECT_EQ(standin::peek<std::uint32_t>(game::code::kAimConstant), constant);
  EXPECT_TRUE(os.key_and_note_calls.empty()) << "the settings file is not even looked for";

  ASSERT_EQ(os.message_boxes.size(), 1u);
  EXPECT_EQ(os.message_boxes[0].owner, nullptr);
  EXPECT_EQ(os.message_boxes[0].text, "GAMEVERSION\nUnsupported game build: aimcam stays off");
  EXPECT_EQ(os.message_boxes[0].caption, "aimcam");
  EXPECT_EQ(os.message_boxes[0].type, 0x30u);  // MB_OK | MB_ICONWARNING
}

INSTANTIATE_TEST_SUITE_P(Builds, AimcamStartupOnOtherBuilds,
                         testing::ValuesIn(testing_builds::kOtherBuilds), testing_builds::build_name);

}  // namespace
