// The aim redirection planted at the stand-in host's aim call site: every
// case runs the host's real caller routine and its CALL at 0x527A95.
#include <gtest/gtest.h>

#include <climits>
#include <map>

#include "aimcam/aim_redirect.hpp"
#include "standins/host/host_standins.hpp"

namespace {

using standin::host;

void* const kCamera = reinterpret_cast<void*>(0x00CA3E7A);

class AimRedirect : public testing::Test {
 protected:
  void SetUp() override {
    standin::reset();
    original_ = standin::site_bytes(game::site::kAimCall);
    aimcam::weapon_offsets = {};
    aimcam::mirrored = 0;
    for (int slot = 0; slot < aimcam::kWeaponSlotCount; ++slot) {
      aimcam::weapon_offsets[slot] = {slot * 1.0f, slot * 10.0f, slot * 100.0f + 0.5f};
    }
    aimcam::install_aim_redirect();
  }
  void TearDown() override {
    aimcam::remove_aim_redirect();
    EXPECT_EQ(standin::site_bytes(game::site::kAimCall), original_);
  }

  // Runs the host's aim call with its own point and three floats.
  std::uint32_t aim() { return standin::run_aim_call(kCamera, caller_point_, 0.25f, -7.5f, 1e6f); }

  const standin::AimCameraCall& only_camera_call() {
    EXPECT_EQ(host().aim_camera_calls.size(), 1u);
    return host().aim_camera_calls.back();
  }
  void expect_passed_through() {
    const auto& call = only_camera_call();
    EXPECT_EQ(call.point, caller_point_);
    EXPECT_TRUE(host().offset_point_calls.empty());
  }
  void expect_redirected_to(std::array<float, 3> offset) {
    const auto& call = only_camera_call();
    EXPECT_NE(call.point, caller_point_);
    ASSERT_EQ(host().offset_point_calls.size(), 1u);
    EXPECT_EQ(host().offset_point_calls[0].character, host().player.character());
    EXPECT_EQ(host().offset_point_calls[0].offset, offset);
    EXPECT_EQ(call.point_value, host().offset_point_calls[0].result);
  }

  float caller_point_[3] = {1.0f, 2.0f, 3.0f};
  std::array<std::uint8_t, 5> original_{};
};

TEST_F(AimRedirect, PlantsACallToTheRedirectionAtTheAimCallSite) {
  const auto bytes = standin::site_bytes(game::site::kAimCall);
  EXPECT_EQ(bytes[0], 0xE8);
  std::int32_t displacement;
  std::memcpy(&displacement, bytes.data() + 1, 4);
  EXPECT_EQ(standin::at(game::site::kAimCall) + 5 + displacement,
            reinterpret_cast<std::uintptr_t>(&aimcam::redirect_aim_point));
}

// Weapon types and the offset slot each selects (none: the host's own point).
const std::map<std::int32_t, int> kSlots = {
    {19, 13}, {20, 14}, {22, 1}, {23, 2},  {24, 3},  {25, 4},  {26, 5},  {27, 6},
    {28, 7},  {29, 8},  {30, 10}, {31, 11}, {32, 9}, {33, 12}, {37, 15},
};

class AimRedirectByType : public AimRedirect, public testing::WithParamInterface<std::int32_t> {};

TEST_P(AimRedirectByType, SelectsTheTypesSlotOrPassesThrough) {
  const std::int32_t type = GetParam();
  host().player.set_weapon(0, type);
  aim();
  const auto slot = kSlots.find(type);
  if (slot == kSlots.end()) {
    expect_passed_through();
  } else {
    expect_redirected_to(aimcam::weapon_offsets[slot->second]);
  }
}

INSTANTIATE_TEST_SUITE_P(AllTypes, AimRedirectByType,
                         testing::Values(INT_MIN, -19, -1, 0, 1, 17, 18, 19, 20, 21, 22, 23, 24,
                                         25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38,
                                         39, 255, 0x10000 + 22, INT_MAX));

TEST_F(AimRedirect, TheActiveWeaponIndexPicksTheEntry) {
  host().player.set_weapon(0, 37);  // entry 0 would select slot 15
  host().player.set_weapon(9, 30);  // the active entry, 9, selects slot 10
  aim();
  expect_redirected_to(aimcam::weapon_offsets[10]);
}

TEST_F(AimRedirect, NoPlayerCharacterPassesThrough) {
  host().player.present = false;
  aim();
  expect_passed_through();
  EXPECT_EQ(host().find_player_args, std::vector<int>{-1});
}

TEST_F(AimRedirect, StatusFlag0x100PassesThroughWhateverTheWeapon) {
  host().player.set_weapon(0, 22);
  host().player.set_status_flags(0x100);
  aim();
  expect_passed_through();
}

TEST_F(AimRedirect, OtherStatusFlagsDoNotStopTheRedirection) {
  host().player.set_weapon(0, 22);
  host().player.set_status_flags(~0x100u);
  aim();
  expect_redirected_to(aimcam::weapon_offsets[1]);
}

TEST_F(AimRedirect, MirroredMultipliesTheFirstComponentByMinusThree) {
  host().player.set_weapon(0, 23);
  aimcam::weapon_offsets[2] = {0.5f, 1.0f, 2.0f};
  aimcam::mirrored = 1;
  aim();
  expect_redirected_to({-1.5f, 1.0f, 2.0f});
  EXPECT_EQ(aimcam::weapon_offsets[2][0], 0.5f) << "the table itself is not changed";
}

TEST_F(AimRedirect, AnyNonZeroMirrorFlagCountsAsSet) {
  host().player.set_weapon(0, 22);
  aimcam::weapon_offsets[1] = {-2.0f, 0.0f, 0.0f};
  aimcam::mirrored = 0x80;
  aim();
  expect_redirected_to({6.0f, 0.0f, 0.0f});
}

TEST_F(AimRedirect, AZeroOffsetStillRedirectsToTheCharactersOwnPoint) {
  host().player.set_weapon(0, 22);
  aimcam::weapon_offsets[1] = {0.0f, 0.0f, 0.0f};
  aim();
  expect_redirected_to({0.0f, 0.0f, 0.0f});
  EXPECT_EQ(only_camera_call().point_value, host().player.position);
}

TEST_F(AimRedirect, TheOffsetsAreReadAfreshOnEveryCall) {
  host().player.set_weapon(0, 22);
  aim();
  aimcam::weapon_offsets[1] = {4.0f, 5.0f, 6.0f};
  aim();
  ASSERT_EQ(host().offset_point_calls.size(), 2u);
  EXPECT_EQ(host().offset_point_calls[1].offset, (std::array<float, 3>{4.0f, 5.0f, 6.0f}));
}

class AimRedirectPassesArguments : public AimRedirect,
                                   public testing::WithParamInterface<std::int32_t> {};

TEST_P(AimRedirectPassesArguments, CameraFloatsAndResultUnchangedAndTheCallersPointUntouched) {
  host().player.set_weapon(0, GetParam());
  host().aim_camera_result = 0xA5A5F00D;
  EXPECT_EQ(aim(), 0xA5A5F00Du);
  const auto& call = only_camera_call();
  EXPECT_EQ(call.camera, kCamera);
  EXPECT_EQ(call.floats, (std::array<float, 3>{0.25f, -7.5f, 1e6f}));
  EXPECT_EQ(caller_point_[0], 1.0f);
  EXPECT_EQ(caller_point_[1], 2.0f);
  EXPECT_EQ(caller_point_[2], 3.0f);
}

INSTANTIATE_TEST_SUITE_P(RedirectedAndPassedThrough, AimRedirectPassesArguments,
                         testing::Values(22, 21));

TEST(AimRedirectRemoved, TheHostsAimCallReachesItsOwnRoutineAgain) {
  standin::reset();
  const auto original = standin::site_bytes(game::site::kAimCall);
  aimcam::install_aim_redirect();
  aimcam::remove_aim_redirect();
  EXPECT_EQ(standin::site_bytes(game::site::kAimCall), original);
  host().player.set_weapon(0, 22);
  float point[3] = {};
  standin::run_aim_call(kCamera, point, 1, 2, 3);
  ASSERT_EQ(host().aim_camera_calls.size(), 1u);
  EXPECT_EQ(host().aim_camera_calls[0].point, point);
  EXPECT_TRUE(host().find_player_args.empty());
}

}  // namespace
