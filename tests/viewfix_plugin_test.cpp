// The real viewfix.dll, with the stand-in "Kestrelview.sp", loaded into the
// stand-in host with LoadLibrary. Built twice: for a host at its preferred
// base and for one mapped at 0x20000000 (STANDIN_BASE).
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "standins/host/host_standins.hpp"
#include "tests/import_patch.hpp"
#include "tests/module_image.hpp"
#include "tests/other_builds.hpp"
#include "tests/plugin_paths.hpp"

namespace {

using standin::host;

constexpr bool kRebased = STANDIN_BASE != 0x400000;
constexpr std::uint32_t kSilenced = 0x90909090;

using testing_modules::export_of;
using testing_modules::range_of;
using testing_modules::relative_target;

class Viewfix : public testing::Test {
 protected:
  void SetUp() override {
    standin::reset();
    init_site_ = standin::site_bytes(game::site::kInitEvent);
    frame_site_ = standin::site_bytes(game::site::kFrameEvent);
  }
  void TearDown() override {
    if (viewfix_ != nullptr) FreeLibrary(viewfix_);
  }

  void load_outside_module() {
    module_ = LoadLibraryA(testing_paths::beside_tests("Kestrelview.sp").c_str());
    ASSERT_NE(module_, nullptr);
    std::memcpy(module_code_.data(), reinterpret_cast<const void*>(module_base() + 0x47EC), 10);
  }
  void load_viewfix() {
    viewfix_ = LoadLibraryA(testing_paths::beside_tests("viewfix.dll").c_str());
    ASSERT_NE(viewfix_, nullptr);
  }
  std::uintptr_t module_base() const { return reinterpret_cast<std::uintptr_t>(module_); }

  // The outside module's clamped path with a record whose linked value is v.
  std::uint32_t module_value(std::uint16_t v) {
    standin::LinkedRecords records;
    records.set_value(v);
    return export_of<std::uint32_t (*)(const void*)>(module_, "kestrelview_linked_value")(
        records.record.data());
  }
  bool module_repaired() const {
    return reinterpret_cast<const std::uint8_t*>(module_base())[0x47EC] == 0xE9;
  }

  HMODULE module_ = nullptr;
  HMODULE viewfix_ = nullptr;
  std::array<std::uint8_t, 10> module_code_{};
  std::array<std::uint8_t, 5> init_site_{}, frame_site_{};
};

TEST_F(Viewfix, HooksBothEventSitesAtTheirRebasedAddresses) {
  load_viewfix();
  const auto image = range_of(viewfix_);
  for (std::uintptr_t site : {game::site::kInitEvent, game::site::kFrameEvent}) {
    EXPECT_EQ(standin::site_bytes(site)[0], 0xE8);
    EXPECT_TRUE(image.contains(relative_target(standin::at(site)))) << std::hex << site;
  }
  EXPECT_EQ(standin::run_init_event(), host().init_event_value);
  EXPECT_EQ(standin::run_frame_event(), host().frame_event_value);
  EXPECT_EQ(host().init_event_callee_calls, 1);
  EXPECT_EQ(host().frame_event_callee_calls, 1);
}

TEST_F(Viewfix, TheInitSiteRepairsTheOutsideModuleAndItsValueIsLimited) {
  load_outside_module();
  load_viewfix();
  EXPECT_EQ(module_value(1000), 1000u) << "before the host reaches the init site";
  EXPECT_EQ(standin::run_init_event(), host().init_event_value);
  ASSERT_TRUE(module_repaired());
  EXPECT_TRUE(range_of(viewfix_).contains(relative_target(module_base() + 0x47EC)));
  EXPECT_EQ(module_value(1000), 611u);
  EXPECT_EQ(module_value(611), 611u);
  EXPECT_EQ(module_value(17), 17u);
}

TEST_F(Viewfix, WithoutTheOutsideModuleEveryFrameReturnsAtOnce) {
  load_viewfix();
  const auto guard = standin::peek<std::uint32_t>(game::code::kGuarded);
  standin::run_init_event();
  for (int frame = 0; frame < 3; ++frame) {
    EXPECT_EQ(standin::run_frame_event(), host().frame_event_value);
  }
  EXPECT_TRUE(host().find_player_args.empty());
  EXPECT_TRUE(host().set_heading_calls.empty());
  EXPECT_EQ(standin::peek<std::uint32_t>(game::code::kGuarded), guard);
  EXPECT_EQ(host().frame_event_callee_calls, 3);
}

TEST_F(Viewfix, UnloadingWithoutARepairWritesBothSitesBack) {
  load_viewfix();
  standin::run_init_event();  // no outside module: nothing repaired, nothing pinned
  ASSERT_TRUE(FreeLibrary(viewfix_));
  viewfix_ = nullptr;
  EXPECT_EQ(standin::site_bytes(game::site::kInitEvent), init_site_);
  EXPECT_EQ(standin::site_bytes(game::site::kFrameEvent), frame_site_);
  EXPECT_EQ(GetModuleHandleA("viewfix.dll"), nullptr);
}

// Where viewfix lifted the protection, in order, through its own imports.
std::vector<std::uintptr_t> lifted;
BOOL WINAPI noting_protect(void* address, SIZE_T size, DWORD protection, DWORD* previous) {
  if (protection == PAGE_EXECUTE_READWRITE) lifted.push_back(reinterpret_cast<std::uintptr_t>(address));
  return VirtualProtect(address, size, protection, previous);
}

TEST_F(Viewfix, UnloadingWritesTheFrameEventSiteBackBeforeTheInitSite) {
  lifted.clear();
  load_viewfix();
  testing_imports::ImportPatch patch(viewfix_, "KERNEL32.dll", "VirtualProtect",
                                     reinterpret_cast<const void*>(&noting_protect));
  ASSERT_TRUE(patch.active());
  ASSERT_TRUE(FreeLibrary(viewfix_));
  viewfix_ = nullptr;
  EXPECT_THAT(lifted, testing::ElementsAre(standin::at(game::site::kFrameEvent),
                                           standin::at(game::site::kInitEvent)));
  EXPECT_EQ(standin::site_bytes(game::site::kInitEvent), init_site_);
  EXPECT_EQ(standin::site_bytes(game::site::kFrameEvent), frame_site_);
}

TEST_F(Viewfix, AModuleOfThatNameTooSmallForTheRepairCountsAsAbsent) {
  HMODULE small = LoadLibraryA(testing_paths::beside_tests("short\\Kestrelview.sp").c_str());
  ASSERT_NE(small, nullptr);
  const auto image = range_of(small);
  ASSERT_LT(image.end - image.begin, 0x47ECu) << "the stand-in must end before the jump's place";
  const auto* first = reinterpret_cast<const std::uint8_t*>(image.begin);
  const std::vector<std::uint8_t> module_before(first, first + (image.end - image.begin));
  standin::poke_value<std::uint32_t>(game::code::kGuarded, kSilenced);  // as the module would
  host().player.heading_radians = 2.0f;  // about 115 degrees, the camera at 0
  load_viewfix();
  lifted.clear();
  const auto host_before = standin::image_bytes();
  testing_imports::ImportPatch patch(viewfix_, "KERNEL32.dll", "VirtualProtect",
                                     reinterpret_cast<const void*>(&noting_protect));
  ASSERT_TRUE(patch.active());

  EXPECT_EQ(standin::run_init_event(), host().init_event_value);
  for (int frame = 0; frame < 3; ++frame) standin::run_frame_event();
  EXPECT_TRUE(std::vector<std::uint8_t>(first, first + (image.end - image.begin)) == module_before)
      << "the module's bytes are untouched";
  EXPECT_TRUE(standin::image_bytes() == host_before) << "the host is untouched";
  EXPECT_THAT(lifted, testing::IsEmpty()) << "nothing read or written with a lift";
  EXPECT_TRUE(host().find_player_args.empty()) << "the limiter never runs";
  EXPECT_TRUE(host().set_heading_calls.empty());
  EXPECT_EQ(host().frame_event_callee_calls, 3);
  // Nothing was repaired, so nothing keeps viewfix loaded.
  ASSERT_TRUE(FreeLibrary(viewfix_));
  viewfix_ = nullptr;
  EXPECT_EQ(GetModuleHandleA("viewfix.dll"), nullptr);
  FreeLibrary(small);
}

TEST_F(Viewfix, AfterARepairItStaysLoadedSoTheModulesJumpNeverLeadsIntoNothing) {
  load_outside_module();
  load_viewfix();
  standin::run_init_event();
  ASSERT_TRUE(module_repaired());
  FreeLibrary(viewfix_);
  viewfix_ = nullptr;
  EXPECT_NE(GetModuleHandleA("viewfix.dll"), nullptr);
  EXPECT_EQ(module_value(5000), 611u);
  EXPECT_EQ(standin::run_frame_event(), host().frame_event_value);
}

#if STANDIN_BASE == 0x400000
TEST_F(Viewfix, TheCodeGuardSwitchesTheLimiterOnAndOffFrameByFrame) {
  load_outside_module();
  load_viewfix();
  standin::run_init_event();
  host().player.heading_radians = 2.0f;  // about 115 degrees, the camera at 0
  standin::run_frame_event();
  EXPECT_TRUE(host().set_heading_calls.empty()) << "the guarded code is as captured";

  export_of<void (*)()>(module_, "kestrelview_silence_guard")();
  standin::run_frame_event();
  ASSERT_EQ(host().set_heading_calls.size(), 1u);
  // The character is turned to the nearer limit, 60 degrees.
  EXPECT_NEAR(host().set_heading_calls[0].radians, 60.0 * std::numbers::pi / 180.0, 1e-5);
  EXPECT_EQ(host().refresh_calls.size(), 1u);

  standin::poke_value<std::uint32_t>(game::code::kGuarded, 0x0BADC0DE);
  standin::run_frame_event();
  EXPECT_NE(standin::peek<std::uint32_t>(game::code::kGuarded), 0x0BADC0DEu) << "put back";
  EXPECT_NE(standin::peek<std::uint32_t>(game::code::kGuarded), kSilenced);
  EXPECT_EQ(host().set_heading_calls.size(), 1u);
  EXPECT_EQ(host().frame_event_callee_calls, 3);
}

TEST_F(Viewfix, TheCameraHeadingIsReadThroughTheAddressTable) {
  load_outside_module();
  load_viewfix();
  standin::run_init_event();
  export_of<void (*)()>(module_, "kestrelview_silence_guard")();
  // Camera at 90 degrees (its heading is stored negated), character at 0:
  // turned to 30 degrees.
  standin::set_camera_heading(static_cast<float>(-std::numbers::pi / 2));
  host().player.heading_radians = 0.0f;
  standin::run_frame_event();
  ASSERT_EQ(host().set_heading_calls.size(), 1u);
  EXPECT_NEAR(host().set_heading_calls[0].radians, 30.0 * std::numbers::pi / 180.0, 1e-5);
}
#endif

class ViewfixOnOtherBuilds : public Viewfix,
                             public testing::WithParamInterface<testing_builds::OtherBuild> {};

TEST_P(ViewfixOnOtherBuilds, HooksNothingAndNeverTouchesTheModule) {
  testing_builds::make_build(GetParam());
  load_outside_module();
  load_viewfix();
  EXPECT_EQ(standin::site_bytes(game::site::kInitEvent), init_site_);
  EXPECT_EQ(standin::site_bytes(game::site::kFrameEvent), frame_site_);
  standin::run_init_event();
  standin::run_frame_event();
  EXPECT_FALSE(module_repaired());
  EXPECT_EQ(module_value(1000), 1000u);
  EXPECT_TRUE(host().find_player_args.empty());
}

INSTANTIATE_TEST_SUITE_P(Builds, ViewfixOnOtherBuilds,
                         testing::ValuesIn(testing_builds::kOtherBuilds), testing_builds::build_name);

TEST_F(Viewfix, Build1002IsHookedLike1001) {
  standin::poke_value<std::uint32_t>(game::code::kStart, 0x16197BE9);
  load_viewfix();
  EXPECT_NE(standin::site_bytes(game::site::kInitEvent), init_site_);
  EXPECT_NE(standin::site_bytes(game::site::kFrameEvent), frame_site_);
  static_assert(kRebased == (STANDIN_BASE != 0x400000));
}

}  // namespace
