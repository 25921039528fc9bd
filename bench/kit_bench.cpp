// Benchmarks, run in one stand-in host process: what the plug-ins add to the
// host's own work on its per-frame and per-aim paths.
#include <cstdio>
#include <filesystem>
#include <fstream>
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
  auto* const volatile callee = reinterpret_cast<std::uintptr_t(GAME_CDECL*)()>(
      standin::at(game::site::kFrameEventCallee));
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
    standin::host().routine_calls.clear();
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

// LoadLibrary and FreeLibrary of each plug-in against an empty DLL's, each
// from a folder of its own (aimcam's with its settings file), then the size
// of each DLL. Run before the other benchmarks, with no hook of the
// benchmark's own in place yet.
void plugin_load(const std::filesystem::path& dist, const std::filesystem::path& beside,
                 const std::string& example) {
  namespace fs = std::filesystem;
  constexpr int kIterations = 100;
  const fs::path folder = fs::temp_directory_path() /
                          ("kit_bench plug-ins " + std::to_string(GetCurrentProcessId()));
  std::error_code error;
  fs::create_directories(folder, error);
  const fs::path sources[] = {dist / "aimcam.dll", dist / "viewfix.dll", beside / "empty_plugin.dll"};
  for (const auto& source : sources) {
    fs::copy_file(source, folder / source.filename(), fs::copy_options::overwrite_existing, error);
    if (error) {
      std::printf("plug-in load: cannot copy %s\n", source.string().c_str());
      return;
    }
  }
  std::ofstream(folder / "aimingSets.dat", std::ios::binary) << example;

  auto load_time = [&](const char* name) {
    const std::wstring path = (folder / name).wstring();
    return bench::nanoseconds_per_call(
        [&] {
          HMODULE module = LoadLibraryW(path.c_str());
          if (module != nullptr) FreeLibrary(module);
        },
        kIterations);
  };
  const double empty = load_time("empty_plugin.dll");
  const double aimcam = load_time("aimcam.dll");
  const double viewfix = load_time("viewfix.dll");
  bench::row("plug-in LoadLibrary + FreeLibrary", "aimcam.dll (with settings)", aimcam / 1000,
             "us/load", "empty DLL", aimcam / empty);
  bench::row("", "viewfix.dll", viewfix / 1000, "us/load", "empty DLL", viewfix / empty);
  bench::row("", "empty DLL", empty / 1000, "us/load");

  const auto kib = [&](const fs::path& file) {
    return static_cast<double>(fs::file_size(file, error)) / 1024.0;
  };
  const double empty_size = kib(folder / "empty_plugin.dll");
  for (const char* name : {"aimcam.dll", "viewfix.dll"}) {
    const double size = kib(dist / name);
    bench::row(name == std::string("aimcam.dll") ? "DLL size in dist/" : "", name, size, "KiB",
               "empty DLL", size / empty_size);
  }
  bench::row("", "empty DLL", empty_size, "KiB");
  fs::remove_all(folder, error);
}

std::filesystem::path own_folder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(path).parent_path();
}

}  // namespace

// usage: kit_bench [DIST_DIR]: the plug-ins measured are those in DIST_DIR
// (by default the ones built beside this program).
int main(int argc, char** argv) {
  std::printf("%-34s %-30s %12s %-8s %-24s %7s\n", "benchmark", "measured", "value", "unit",
              "against", "ratio");
  const std::filesystem::path beside = own_folder();
  plugin_load(argc > 1 ? std::filesystem::absolute(argv[1]) : beside, beside, example_settings());
  hooked_frame_site();
  aim_call();
  settings_load(example_settings());
  return 0;
}
