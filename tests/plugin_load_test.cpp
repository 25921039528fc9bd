// The real plug-in DLLs loaded into the stand-in host with LoadLibrary, as a
// plug-in loader does.
#include <windows.h>

#include <gtest/gtest.h>

#include "standins/host/host_standins.hpp"
#include "tests/module_image.hpp"
#include "tests/plugin_paths.hpp"

namespace {

using standin::host;

using testing_modules::range_of;
using testing_modules::relative_target;

TEST(AimcamLoad, PlantsTheAimCallIntoItsImageAndTakesItBackOnUnload) {
  standin::reset();
  const auto original = standin::site_bytes(game::site::kAimCall);

  HMODULE aimcam = LoadLibraryA(testing_paths::beside_tests("aimcam.dll").c_str());
  ASSERT_NE(aimcam, nullptr);
  EXPECT_EQ(standin::site_bytes(game::site::kAimCall)[0], 0xE8);
  EXPECT_TRUE(range_of(aimcam).contains(relative_target(standin::at(game::site::kAimCall))));

  // The host's aim call runs through the plug-in and still reaches the
  // host's routine.
  float point[3] = {1, 2, 3};
  host().aim_camera_result = 1234;
  EXPECT_EQ(standin::run_aim_call(nullptr, point, 4, 5, 6), 1234u);
  EXPECT_EQ(host().find_player_args, std::vector<int>{-1});
  ASSERT_EQ(host().aim_camera_calls.size(), 1u);

  ASSERT_TRUE(FreeLibrary(aimcam));
  EXPECT_EQ(standin::site_bytes(game::site::kAimCall), original);
  standin::reset();
  EXPECT_EQ(standin::run_aim_call(nullptr, point, 4, 5, 6), host().aim_camera_result);
  EXPECT_TRUE(host().find_player_args.empty()) << "the unloaded plug-in is no longer called";
}

TEST(ViewfixLoad, LoadsAndUnloadsInTheHost) {
  HMODULE viewfix = LoadLibraryA(testing_paths::beside_tests("viewfix.dll").c_str());
  ASSERT_NE(viewfix, nullptr);
  EXPECT_TRUE(FreeLibrary(viewfix));
}

}  // namespace
