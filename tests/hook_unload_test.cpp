// A DLL that hooks the stand-in host's event sites, loaded and unloaded:
// after FreeLibrary every site holds exactly what stood there before.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "standins/host/host_standins.hpp"
#include "tests/plugin_paths.hpp"

namespace {

using standin::host;

TEST(HookUnload, EverySiteIsWrittenBackByteForByte) {
  standin::reset();
  const std::uintptr_t sites[] = {game::site::kInitEvent, game::site::kFrameEvent,
                                  game::site::kFrameTick};
  std::array<std::uint8_t, 5> before[3];
  for (int i = 0; i < 3; ++i) before[i] = standin::site_bytes(sites[i]);

  for (int cycle = 0; cycle < 3; ++cycle) {
    HMODULE probe = LoadLibraryA(testing_paths::beside_tests("hook_probe.dll").c_str());
    ASSERT_NE(probe, nullptr);
    auto* count = reinterpret_cast<int (*)(int)>(
        reinterpret_cast<void*>(GetProcAddress(probe, "probe_count")));
    for (int i = 0; i < 3; ++i) EXPECT_NE(standin::site_bytes(sites[i]), before[i]);

    EXPECT_EQ(standin::run_init_event(), host().init_event_value);
    EXPECT_EQ(standin::run_frame_event(), host().frame_event_value);
    EXPECT_EQ(standin::run_frame_tick(), host().frame_tick_value);
    EXPECT_EQ(count(0), 1);
    EXPECT_EQ(count(1), 1);
    EXPECT_EQ(count(2), 1);

    ASSERT_TRUE(FreeLibrary(probe));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(standin::site_bytes(sites[i]), before[i]) << i;
  }
  // The host's own callees, and nothing else, run after the unload.
  standin::reset();
  standin::run_init_event();
  standin::run_frame_event();
  standin::run_frame_tick();
  EXPECT_EQ(host().init_event_callee_calls, 1);
  EXPECT_EQ(host().frame_event_callee_calls, 1);
  EXPECT_EQ(host().frame_tick_callee_calls, 1);
}

// What the teardown probe's kept hookers noted as they went: the site each
// held, and how many owners its manager had at that moment.
std::vector<std::pair<std::uintptr_t, long>> teardown;
void note_teardown(std::uintptr_t site, long owners) { teardown.emplace_back(site, owners); }

TEST(HookUnload, EachSitesKeptHookerGoesBeforeItsManagersOwnerAndTheFrameEventBeforeInit) {
  standin::reset();
  HMODULE probe = LoadLibraryA(testing_paths::beside_tests("teardown_probe.dll").c_str());
  ASSERT_NE(probe, nullptr);
  reinterpret_cast<void (*)(void (*)(std::uintptr_t, long))>(
      reinterpret_cast<void*>(GetProcAddress(probe, "probe_set_note")))(note_teardown);
  ASSERT_TRUE(FreeLibrary(probe));
  // In the reverse order of creation: the frame tick hook, the frame event,
  // then the init event. Each kept hooker goes while the static owner still
  // holds the site's manager (two owners: it and the hooker).
  using Note = std::pair<std::uintptr_t, long>;
  EXPECT_THAT(teardown, testing::ElementsAre(Note{game::site::kFrameTick, 2},
                                             Note{game::site::kFrameEvent, 2},
                                             Note{game::site::kInitEvent, 2}));
}

}  // namespace
