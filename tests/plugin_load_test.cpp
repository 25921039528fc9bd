// The real plug-in DLLs loaded into the stand-in host with LoadLibrary, as a
// plug-in loader does.
#include <windows.h>

#include <gtest/gtest.h>

#include "standins/host/host_standins.hpp"
#include "tests/plugin_paths.hpp"

namespace {

using standin::host;

struct ModuleRange {
  std::uintptr_t begin;
  std::uintptr_t end;
};

ModuleRange range_of(HMODULE module) {
  const auto base = reinterpret_cast<std::uintptr_t>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  return {base, base + nt->OptionalHeader.SizeOfImage};
}

std::uintptr_t call_destination(std::uintptr_t host_address) {
  const auto bytes = standin::site_bytes(host_address);
  std::int32_t displacement;
  std::memcpy(&displacement, bytes.data() + 1, 4);
  return standin::at(host_address) + 5 + displacement;
}

TEST(AimcamLoad, PlantsTheAimCallIntoItsImageAndTakesItBackOnUnload) {
  standin::reset();
  const auto original = standin::site_bytes(host::kAimCallSite);

  HMODULE aimcam = LoadLibraryA(testing_paths::beside_tests("aimcam.dll").c_str());
  ASSERT_NE(aimcam, nullptr);
  EXPECT_EQ(standin::site_bytes(host::kAimCallSite)[0], 0xE8);
  const auto destination = call_destination(host::kAimCallSite);
  const auto image = range_of(aimcam);
  EXPECT_GE(destination, image.begin);
  EXPECT_LT(destination, image.end);

  // The host's aim call runs through the plug-in and still reaches the
  // host's routine.
  float point[3] = {1, 2, 3};
  host().aim_camera_result = 1234;
  EXPECT_EQ(standin::run_aim_call(nullptr, point, 4, 5, 6), 1234u);
  EXPECT_EQ(host().find_player_args, std::vector<int>{-1});
  ASSERT_EQ(host().aim_camera_calls.size(), 1u);

  ASSERT_TRUE(FreeLibrary(aimcam));
  EXPECT_EQ(standin::site_bytes(host::kAimCallSite), original);
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
