// The real aimcam.dll, copied with its settings file into a folder of the
// test's own and loaded into the stand-in host with LoadLibrary.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "standins/host/host_standins.hpp"
#include "tests/module_image.hpp"
#include "tests/other_builds.hpp"
#include "tests/plugin_paths.hpp"

namespace {

using standin::host;

constexpr BYTE kX = 0x58;
constexpr BYTE kZ = 0x5A;

// Settings whose weapon slot 1 (weapon type 22) holds `slot1`.
std::string settings(int live_reload, std::array<float, 3> slot1, float code_constant = 3.5f) {
  std::ostringstream text;
  text << "LiveReload " << live_reload << "\nHostValues\n"
       << "A 1.5\nB 2.5\nCode " << code_constant << "\nC 4.5\nD 5.5\nE 6.5\nF 7.5\n"
       << "AimTable\nR0 0 1 2 3 4 5 6\nR1 7 8 9 10 11 12 13\nR2 14 15 16 17 18 19 20\n"
       << "R3 21 22 23 24 25 26 27\nWeaponOffsets\nSlot0 0 0 0\n"
       << "Slot1 " << slot1[0] << ' ' << slot1[1] << ' ' << slot1[2] << '\n';
  for (int slot = 2; slot < 16; ++slot) text << "Slot" << slot << " 9 9 9\n";
  return text.str();
}

void hold_keys(std::initializer_list<BYTE> keys) {
  BYTE state[256] = {};
  for (BYTE key : keys) state[key] = 0x80;
  ASSERT_TRUE(SetKeyboardState(state));
}

class AimcamPlugin : public testing::Test {
 protected:
  void SetUp() override {
    standin::reset();
    hold_keys({});
    folder_ = std::filesystem::temp_directory_path().string() + "aimcam plugin " +
              std::to_string(GetCurrentProcessId()) + "\\";
    std::filesystem::create_directories(folder_);
    std::filesystem::copy_file(testing_paths::beside_tests("aimcam.dll"), folder_ + "aimcam.dll",
                               std::filesystem::copy_options::overwrite_existing);
    aim_site_ = standin::site_bytes(game::site::kAimCall);
    tick_site_ = standin::site_bytes(game::site::kFrameTick);
    // Not the first entry: the active index and the entries' size must be
    // the game's for the plug-in to find the weapon.
    host().player.set_weapon(5, 22);
  }
  void TearDown() override {
    unload();
    hold_keys({});
    std::filesystem::remove_all(folder_);
  }

  void write_settings(const std::string& text) {
    std::ofstream(folder_ + "aimingSets.dat", std::ios::binary | std::ios::trunc) << text;
  }
  void load() {
    module_ = LoadLibraryA((folder_ + "aimcam.dll").c_str());
    ASSERT_NE(module_, nullptr);
  }
  void unload() {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
  }

  // One frame, then one aim call: the offset that reached the transform.
  std::array<float, 3> frame_then_aim() {
    standin::run_frame_tick();
    host().offset_point_calls.clear();
    float point[3] = {};
    standin::run_aim_call(nullptr, point, 0, 0, 0);
    EXPECT_EQ(host().offset_point_calls.size(), 1u);
    return host().offset_point_calls.empty() ? std::array<float, 3>{} : host().offset_point_calls[0].offset;
  }

  std::string folder_;
  HMODULE module_ = nullptr;
  std::array<std::uint8_t, 5> aim_site_{}, tick_site_{};
};

using Offset = std::array<float, 3>;


TEST_F(AimcamPlugin, LoadingPlantsBothCallsAndLoadsTheSettingsFromItsOwnFolder) {
  write_settings(settings(0, {0.5f, 1, 2}));
  load();
  const auto image = testing_modules::range_of(module_);
  for (std::uintptr_t site : {game::site::kAimCall, game::site::kFrameTick}) {
    EXPECT_EQ(standin::site_bytes(site)[0], 0xE8);
    EXPECT_TRUE(image.contains(testing_modules::relative_target(standin::at(site))))
        << std::hex << site;
  }
  EXPECT_EQ(standin::peek<float>(0x8CC4B4), 1.5f);
  EXPECT_EQ(standin::peek<float>(game::code::kAimConstant), 3.5f);
  EXPECT_EQ(standin::peek<float>(game::data::kAimTable + 27 * 4), 27.0f);
  EXPECT_EQ(frame_then_aim(), (Offset{0.5f, 1, 2}));
}

TEST_F(AimcamPlugin, OnASupportedBuildItShowsNoMessage) {
  write_settings(settings(0, {0.5f, 1, 2}));
  load();
  EXPECT_TRUE(host().message_boxes.empty());
}

TEST_F(AimcamPlugin, Build1002BindsLike1001) {
  standin::poke_value<std::uint32_t>(game::code::kStart, 0x16197BE9);
  write_settings(settings(0, {0.5f, 1, 2}));
  load();
  EXPECT_EQ(standin::site_bytes(game::site::kAimCall)[0], 0xE8);
  EXPECT_NE(standin::site_bytes(game::site::kAimCall), aim_site_);
  EXPECT_NE(standin::site_bytes(game::site::kFrameTick), tick_site_);
  EXPECT_EQ(standin::peek<float>(game::data::kAimValueB4), 1.5f);
  EXPECT_EQ(frame_then_aim(), (Offset{0.5f, 1, 2}));
  EXPECT_TRUE(host().message_boxes.empty());
}

TEST_F(AimcamPlugin, OneFrameEndToEnd) {
  // X held, weapon type 22, slot 1 mirrored, transformed, handed to the
  // camera routine in place of the game's own point.
  write_settings(settings(0, {0.5f, 1, 2}));
  load();
  hold_keys({kX});
  host().frame_tick_value = 0x7777;
  EXPECT_EQ(standin::run_frame_tick(), 0x7777u);
  float game_point[3] = {11, 12, 13};
  standin::run_aim_call(reinterpret_cast<void*>(0xCA3E), game_point, 0.5f, 0.25f, 0.125f);
  ASSERT_EQ(host().offset_point_calls.size(), 1u);
  EXPECT_EQ(host().offset_point_calls[0].offset, (Offset{-1.5f, 1, 2}));
  ASSERT_EQ(host().aim_camera_calls.size(), 1u);
  const auto& call = host().aim_camera_calls[0];
  EXPECT_EQ(call.camera, reinterpret_cast<void*>(0xCA3E));
  EXPECT_NE(call.point, game_point);
  EXPECT_EQ(call.point_value, (Offset{100 - 1.5f, 201, 302}));
  EXPECT_EQ(call.floats, (Offset{0.5f, 0.25f, 0.125f}));
}

TEST_F(AimcamPlugin, XLatchesTheMirrorUntilZ) {
  write_settings(settings(0, {0.5f, 1, 2}));
  load();
  hold_keys({kX});
  EXPECT_EQ(frame_then_aim(), (Offset{-1.5f, 1, 2}));
  hold_keys({});
  EXPECT_EQ(frame_then_aim(), (Offset{-1.5f, 1, 2}));
  EXPECT_EQ(frame_then_aim(), (Offset{-1.5f, 1, 2}));
  hold_keys({kZ});
  EXPECT_EQ(frame_then_aim(), (Offset{0.5f, 1, 2}));
  hold_keys({});
  EXPECT_EQ(frame_then_aim(), (Offset{0.5f, 1, 2}));
}

TEST_F(AimcamPlugin, ZWinsWhenBothAreHeldAndZAloneOnAClearMirrorChangesNothing) {
  write_settings(settings(0, {0.5f, 1, 2}));
  load();
  hold_keys({kZ});
  EXPECT_EQ(frame_then_aim(), (Offset{0.5f, 1, 2}));
  hold_keys({kX});
  EXPECT_EQ(frame_then_aim(), (Offset{-1.5f, 1, 2}));
  hold_keys({kX, kZ});
  EXPECT_EQ(frame_then_aim(), (Offset{0.5f, 1, 2}));
}

TEST_F(AimcamPlugin, TheFrameCalleeRunsOncePerFrameAndItsValueReachesTheHost) {
  write_settings(settings(1, {0.5f, 1, 2}));  // live reload: the handler does real work
  load();
  for (int frame = 1; frame <= 5; ++frame) {
    host().frame_tick_value = 0x1000u + static_cast<std::uintptr_t>(frame);
    EXPECT_EQ(standin::run_frame_tick(), 0x1000u + static_cast<std::uintptr_t>(frame));
    EXPECT_EQ(host().frame_tick_callee_calls, frame);
  }
}

TEST_F(AimcamPlugin, LiveReloadPicksUpAnEditOnTheNextFrame) {
  write_settings(settings(1, {0.5f, 1, 2}));
  load();
  EXPECT_EQ(frame_then_aim(), (Offset{0.5f, 1, 2}));
  write_settings(settings(1, {4, 5, 6}, 8.25f));
  hold_keys({kX});  // handled in the same frame as the reload
  EXPECT_EQ(frame_then_aim(), (Offset{-12, 5, 6}));
  EXPECT_EQ(standin::peek<float>(game::code::kAimConstant), 8.25f);
}

TEST_F(AimcamPlugin, SettingLineOneToZeroGivesExactlyOneMoreLoad) {
  write_settings(settings(1, {0.5f, 1, 2}));
  load();
  frame_then_aim();
  write_settings(settings(0, {4, 5, 6}));
  EXPECT_EQ(frame_then_aim(), (Offset{4, 5, 6})) << "the load that reads the 0";
  write_settings(settings(0, {7, 8, 9}));
  EXPECT_EQ(frame_then_aim(), (Offset{4, 5, 6}));
  EXPECT_EQ(frame_then_aim(), (Offset{4, 5, 6}));
}

TEST_F(AimcamPlugin, WithLineOneAtZeroTheFileIsReadOnce) {
  write_settings(settings(0, {0.5f, 1, 2}));
  load();
  write_settings(settings(1, {4, 5, 6}));
  EXPECT_EQ(frame_then_aim(), (Offset{0.5f, 1, 2}));
  EXPECT_EQ(frame_then_aim(), (Offset{0.5f, 1, 2}));
}

TEST_F(AimcamPlugin, WithoutASettingsFileItStillLoadsAndAimsWithZeroOffsets) {
  load();
  EXPECT_EQ(frame_then_aim(), (Offset{0, 0, 0}));
  EXPECT_EQ(host().aim_camera_calls.back().point_value, host().player.position);
}

TEST_F(AimcamPlugin, UnloadingWritesBothSitesBackAndLeavesTheHostValues) {
  write_settings(settings(0, {0.5f, 1, 2}, 6.75f));
  load();
  unload();
  EXPECT_EQ(standin::site_bytes(game::site::kAimCall), aim_site_);
  EXPECT_EQ(standin::site_bytes(game::site::kFrameTick), tick_site_);
  EXPECT_EQ(standin::peek<float>(game::code::kAimConstant), 6.75f);
  EXPECT_EQ(standin::peek<float>(0x8CC4A0), 7.5f);

  // The host's next aim call and frame reach the host's own routines.
  standin::reset();
  float point[3] = {};
  standin::run_aim_call(nullptr, point, 1, 2, 3);
  ASSERT_EQ(host().aim_camera_calls.size(), 1u);
  EXPECT_EQ(host().aim_camera_calls[0].point, point);
  EXPECT_EQ(standin::run_frame_tick(), host().frame_tick_value);
  EXPECT_TRUE(host().find_player_args.empty());
}

// ---- game builds aimcam does not know ------------------------------------

class AimcamOnOtherBuilds : public AimcamPlugin,
                            public testing::WithParamInterface<testing_builds::OtherBuild> {};

TEST_P(AimcamOnOtherBuilds, ChangesNothingInTheGameAndSaysSoOnce) {
  testing_builds::make_build(GetParam());
  write_settings(settings(1, {0.5f, 1, 2}));  // asks for a reload in every frame
  const auto before = standin::image_bytes();

  load();
  EXPECT_TRUE(standin::image_bytes() == before) << "a host byte changed at load";
  ASSERT_EQ(host().message_boxes.size(), 1u);
  const auto& box = host().message_boxes[0];
  EXPECT_EQ(box.owner, nullptr);
  EXPECT_EQ(box.text, "GAMEVERSION\nUnsupported game build: aimcam stays off");
  EXPECT_EQ(box.caption, "aimcam");
  EXPECT_EQ(box.type, 0x30u);  // MB_OK | MB_ICONWARNING

  hold_keys({kX});
  for (int frame = 1; frame <= 3; ++frame) {
    host().frame_tick_value = 0x2000u + static_cast<std::uintptr_t>(frame);
    EXPECT_EQ(standin::run_frame_tick(), 0x2000u + static_cast<std::uintptr_t>(frame));
    EXPECT_EQ(host().frame_tick_callee_calls, frame);
  }
  float point[3] = {11, 12, 13};
  standin::run_aim_call(reinterpret_cast<void*>(0xCA3E), point, 1, 2, 3);
  ASSERT_EQ(host().aim_camera_calls.size(), 1u);
  EXPECT_EQ(host().aim_camera_calls[0].point, point);
  EXPECT_EQ(host().aim_camera_calls[0].point_value, (Offset{11, 12, 13}));
  EXPECT_TRUE(host().find_player_args.empty());
  EXPECT_TRUE(standin::image_bytes() == before) << "a host byte changed in a frame";

  unload();
  EXPECT_TRUE(standin::image_bytes() == before) << "a host byte changed at unload";
  EXPECT_EQ(host().message_boxes.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Builds, AimcamOnOtherBuilds,
                         testing::ValuesIn(testing_builds::kOtherBuilds), testing_builds::build_name);

}  // namespace
