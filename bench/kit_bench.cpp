// Benchmarks, run in one stand-in host process: what the plug-ins add to the
// host's own work on its per-frame and per-aim paths.
#include <cstdio>
#include <string>

#include "aimcam/aim_redirect.hpp"
#include "aimcam/aim_settings.hpp"
#include "bench/bench_support.hpp"
#include "shared/host_events.hpp"
#include "standins/host/host_standins.hpp"
#include "tests/allocation_counter.hpp"

const char* const hostkit::kit_default_plugin_name = "Benchmark";

namespace {

void empty_handler() {}

void hooked_frame_site() {
  constexpr int kIterations = 2'000'000;
  auto* const volatile callee = host::routine<host::SiteCalleeFn>(standin::at(0x53C100));
  const double direct = bench::nanoseconds_per_call([&] { callee(); }, kIterations);
  const double unhooked =
      bench::nanoseconds_per_call([] { standin::run_frame_event(); }, kIterations);

  auto& event = plugin::frameEvent();
  event.add_handler(event.pre_handlers, empty_handler);
  const double hooked = bench::nanoseconds_per_call([] { standin::run_frame_event(); }, kIterations);

  const auto before = testing_alloc::allocations();
  for (int i = 0; i < kIterations; ++i) standin::run_frame_event();
  const double allocations =
      static_cast<double>(testing_alloc::allocations() - before) / kIterations;

  bench::row("frame site, one empty pre handler", "hooked site execution", hooked, "ns/call",
             "site execution, not hooked", hooked / unhooked);
  bench::row("", "hooked site execution", hooked, "ns/call", "direct callee call", hooked / direct);
  bench::row("", "site execution, not hooked", unhooked, "ns/call");
  bench::row("", "direct callee call", direct, "ns/call");
  bench::row("", "heap allocations per execution", allocations, "");
}

void aim_call() {
  constexpr int kIterations = 2'000'000;
  aimcam::install_aim_redirect();
  standin::host().player.set_weapon(0, 22);
  aimcam::weapon_offsets[1] = {0.5f, 1.0f, 2.0f};
  float point[3] = {};
  auto aim = [&] {
    standin::host().aim_camera_calls.clear();
    standin::host().offset_point_calls.clear();
    standin::host().find_player_args.clear();
    standin::run_aim_call(nullptr, point, 1, 2, 3);
  };
  aim();  // the stand-in's logs reach their capacity once
  const double redirected = bench::nanoseconds_per_call(aim, kIterations);
  const auto before = testing_alloc::allocations();
  for (int i = 0; i < kIterations; ++i) aim();
  const double allocations =
      static_cast<double>(testing_alloc::allocations() - before) / kIterations;

  standin::host().player.set_weapon(0, 21);  // a type without a slot: passed through
  const double passed = bench::nanoseconds_per_call(aim, kIterations);
  aimcam::remove_aim_redirect();
  const double unhooked = bench::nanoseconds_per_call(aim, kIterations);

  bench::row("aim call, weapon type 22", "redirected call", redirected, "ns/call",
             "pass-through call", redirected / passed);
  bench::row("", "pass-through call", passed, "ns/call", "not hooked", passed / unhooked);
  bench::row("", "not hooked", unhooked, "ns/call");
  bench::row("", "heap allocations per call", allocations, "");
}

void settings_load(const std::string& example) {
  constexpr int kIterations = 2'000;
  const std::string path = aimcam::aim_settings_path();
  if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(example.data(), 1, example.size(), file);
    std::fclose(file);
  }
  static char buffer[64 * 1024];
  const double bare = bench::nanoseconds_per_call(
      [&] {
        if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
          (void)std::fread(buffer, 1, sizeof buffer, file);
          std::fclose(file);
        }
      },
      kIterations);
  const double load = bench::nanoseconds_per_call([] { aimcam::load_aim_settings(); }, kIterations);
  const auto before = testing_alloc::allocations();
  for (int i = 0; i < 100; ++i) aimcam::load_aim_settings();
  const double allocations = static_cast<double>(testing_alloc::allocations() - before) / 100;
  std::remove(path.c_str());

  bench::row("load_aim_settings, example file", "whole load", load / 1000, "us/load",
             "bare open, read, close", load / bare);
  bench::row("", "bare open, read, close", bare / 1000, "us/load");
  bench::row("", "heap allocations per load", allocations, "");
}

std::string example_settings() {
  std::string text =
      "LiveReload 0\nHostValues\nA 1.5\nB 2.5\nC 3.5\nD 4.5\nE 5.5\nF 6.5\nG 7.5\nAimTable\n"
      "Row0 0 1 2 3 4 5 6\nRow1 7 8 9 10 11 12 13\nRow2 14 15 16 17 18 19 20\n"
      "Row3 21 22 23 24 25 26 27\nWeaponOffsets\nSlot0 0 0 0\n";
  for (int slot = 1; slot < 16; ++slot) text += "Slot" + std::to_string(slot) + " 0.5 1 2\n";
  return text;
}

}  // namespace

int main() {
  std::printf("%-34s %-30s %12s %-8s %-24s %7s\n", "benchmark", "measured", "value", "unit",
              "against", "ratio");
  hooked_frame_site();
  aim_call();
  settings_load(example_settings());
  return 0;
}
