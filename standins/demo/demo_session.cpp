// The demo session: this program is the stand-in host game. It loads the
// built plug-ins as the game's plug-in loader would (LoadLibrary), together
// with the stand-in outside module "Kestrelview.sp", plays a short scripted
// session and prints, one line per event, what the game sees. Every line is
// also checked against what the plug-ins are meant to do; the program exits
// with 1 if any check failed, so it doubles as a smoke test. It first plays a
// frame on a game build viewfix does not know, then the main session.
//
// usage: demo_session DIST_DIR KESTRELVIEW_SP DEMO_DIR
//   DIST_DIR        the folder holding aimcam.dll and viewfix.dll
//   KESTRELVIEW_SP  the stand-in outside module
//   DEMO_DIR        a scratch folder playing the game's plug-in folder; it is
//                   emptied, aimcam.dll is copied there with its settings file
#include <windows.h>

#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <numbers>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "shared/game_version.hpp"
#include "shared/kit_context.hpp"
#include "standins/host/host_standins.hpp"

const char* const hostkit::kit_default_plugin_name = "Demo Session";

namespace {

namespace fs = std::filesystem;
using standin::host;
using Vec3 = std::array<float, 3>;

// The player's active weapon is the third of the character's entries.
constexpr std::uint8_t kActiveEntry = 2;
constexpr BYTE kX = 0x58;
constexpr BYTE kZ = 0x5A;
constexpr double kDegreesPerRadian = 180.0 / std::numbers::pi;

// ---- what the session prints and counts --------------------------------------

struct Tally {
  const char* kind;
  int count = 0;
};

class Log {
 public:
  int frame = 0;

  // One event: printed, counted under its kind, and checked.
  void event(const char* kind, bool as_expected, const std::string& text,
             const std::string& expected = "") {
    ++checks_;
    count(kind);
    std::printf("frame %2d  %-8s %s\n", frame, kind, text.c_str());
    if (!as_expected) {
      ++failures_;
      std::printf("          UNEXPECTED: %s\n", expected.empty() ? "see above" : expected.c_str());
    }
  }
  // A line of set-up, checked but not counted as a game event.
  void setup(bool as_expected, const std::string& text, const std::string& expected = "") {
    ++checks_;
    std::printf("          %-8s %s\n", "setup", text.c_str());
    if (!as_expected) {
      ++failures_;
      std::printf("          UNEXPECTED: %s\n", expected.empty() ? "see above" : expected.c_str());
    }
  }
  void note(const std::string& text) { std::printf("%s\n", text.c_str()); }

  int checks() const { return checks_; }
  int failures() const { return failures_; }
  const std::vector<Tally>& tallies() const { return tallies_; }

 private:
  void count(const char* kind) {
    for (auto& tally : tallies_) {
      if (std::strcmp(tally.kind, kind) == 0) {
        ++tally.count;
        return;
      }
    }
    tallies_.push_back({kind, 1});
  }

  int checks_ = 0;
  int failures_ = 0;
  std::vector<Tally> tallies_;
};

std::string format(const char* fmt, ...) {
  char text[512];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(text, sizeof text, fmt, args);
  va_end(args);
  return text;
}

std::string vec(const Vec3& v) { return format("(%g, %g, %g)", v[0], v[1], v[2]); }

// ---- the host's side ---------------------------------------------------------

void hold_keys(std::initializer_list<BYTE> keys) {
  BYTE state[256] = {};
  for (BYTE key : keys) state[key] = 0x80;
  SetKeyboardState(state);
}

bool in_module(HMODULE module, std::uintptr_t address) {
  const auto base = reinterpret_cast<std::uintptr_t>(module);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  return address >= base && address < base + nt->OptionalHeader.SizeOfImage;
}

// Where the 5-byte CALL at a host call site leads, if it is a CALL.
std::uintptr_t call_target(std::uintptr_t host_address) {
  const auto bytes = standin::site_bytes(host_address);
  if (bytes[0] != 0xE8) return 0;
  std::int32_t displacement;
  std::memcpy(&displacement, bytes.data() + 1, 4);
  return standin::at(host_address) + 5 + static_cast<std::uintptr_t>(displacement);
}

template <class Fn>
Fn export_of(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The outside module's clamped path, given a record whose linked value is v:
// the value as the module goes on with it.
std::uint32_t module_value(HMODULE module, std::uint16_t v) {
  standin::LinkedRecords records;
  records.set_value(v);
  return export_of<std::uint32_t (*)(const void*)>(module, "kestrelview_linked_value")(
      records.record.data());
}

// A settings file with example values; weapon slots 1 and 10 as given.
std::string settings_text(int live_reload, const Vec3& slot1, const Vec3& slot10) {
  std::ostringstream text;
  text << "LiveReload " << live_reload << "\nHostValues\n"
       << "ValueAt8CC4B4 1.5\nValueAt8CC4B8 2.5\nCodeConstant 3.5\nValueAt8CC4B0 4.5\n"
       << "ValueAt8CC4AC 5.5\nValueAt8CC4A8 6.5\nValueAt8CC4A0 7.5\n"
       << "AimTable\nRow0 0 1 2 3 4 5 6\nRow1 7 8 9 10 11 12 13\n"
       << "Row2 14 15 16 17 18 19 20\nRow3 21 22 23 24 25 26 27\nWeaponOffsets\nSlot0 0 0 0\n";
  for (int slot = 1; slot < 16; ++slot) {
    const Vec3 v = slot == 1 ? slot1 : slot == 10 ? slot10 : Vec3{0.5f, 1, 2};
    text << "Slot" << slot << ' ' << v[0] << ' ' << v[1] << ' ' << v[2] << '\n';
  }
  return text.str();
}

struct Paths {
  fs::path dist, kestrelview, demo;
};

// The game's plug-in folder: emptied, with aimcam.dll and its settings.
bool prepare_folder(const Paths& paths, const std::string& settings) {
  std::error_code error;
  fs::remove_all(paths.demo, error);
  fs::create_directories(paths.demo, error);
  if (error) return false;
  if (!fs::copy_file(paths.dist / "aimcam.dll", paths.demo / "aimcam.dll",
                     fs::copy_options::overwrite_existing, error)) {
    return false;
  }
  std::ofstream(paths.demo / "aimingSets.dat", std::ios::binary | std::ios::trunc) << settings;
  return fs::exists(paths.demo / "aimingSets.dat");
}

void write_settings(const Paths& paths, const std::string& settings) {
  std::ofstream(paths.demo / "aimingSets.dat", std::ios::binary | std::ios::trunc) << settings;
}

HMODULE load(Log& log, const fs::path& file) {
  HMODULE module = LoadLibraryW(file.wstring().c_str());
  log.setup(module != nullptr, format("LoadLibrary %s", file.filename().string().c_str()),
            format("could not load %s", file.string().c_str()));
  return module;
}

// ---- one frame of the game ---------------------------------------------------

constexpr Vec3 kGamePoint = {95, 196, 301};  // the game's own aim point
void* const kCamera = reinterpret_cast<void*>(0xCA3E0000);

struct Frame {
  bool aimed = false;          // the camera routine was called
  bool own_point = false;      // ... with aimcam's point, not the game's
  Vec3 camera_point{};         // the point it received
  bool offset_seen = false;    // the character transform was called
  Vec3 offset{};               // ... with this offset
  std::vector<float> headings;  // headings (radians) the character was turned to
};

// The game's order within a frame: the frame tick site (aimcam reads keys and
// reloads), the frame event site (viewfix), then the aim call.
Frame play_frame(Log& log, bool reach_init_site) {
  ++log.frame;
  auto& h = host();
  h.aim_camera_calls.clear();
  h.offset_point_calls.clear();
  h.set_heading_calls.clear();
  h.refresh_calls.clear();
  if (reach_init_site) standin::run_init_event();
  standin::run_frame_tick();
  standin::run_frame_event();
  Vec3 point = kGamePoint;
  standin::run_aim_call(kCamera, point.data(), 0.5f, 0.25f, 0.125f);

  Frame frame;
  if (!h.aim_camera_calls.empty()) {
    frame.aimed = true;
    frame.own_point = h.aim_camera_calls[0].point != point.data();
    frame.camera_point = h.aim_camera_calls[0].point_value;
  }
  if (!h.offset_point_calls.empty()) {
    frame.offset_seen = true;
    frame.offset = h.offset_point_calls[0].offset;
  }
  for (const auto& call : h.set_heading_calls) frame.headings.push_back(call.radians);
  return frame;
}

Vec3 plus(const Vec3& a, const Vec3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }

// The aim call of a frame, for a weapon with an offset slot.
void report_aim(Log& log, const Frame& frame, std::int32_t weapon, int slot, const Vec3& offset) {
  const Vec3 expected = plus(host().player.position, offset);
  const bool ok = frame.aimed && frame.own_point && frame.offset_seen && frame.offset == offset &&
                  frame.camera_point == expected;
  log.event("aim", ok,
            format("weapon %d -> slot %d offset %s: camera got %s, game's own point %s", weapon,
                   slot, vec(frame.offset).c_str(), vec(frame.camera_point).c_str(),
                   vec(kGamePoint).c_str()),
            format("offset %s, camera point %s", vec(offset).c_str(), vec(expected).c_str()));
}

// ---- headings ----------------------------------------------------------------

double wrap360(double degrees) {
  degrees = std::fmod(degrees, 360.0);
  return degrees < 0 ? degrees + 360.0 : degrees;
}

void set_camera_heading(double degrees) {
  // The game stores the camera's heading in radians, turning the other way.
  standin::set_camera_heading(static_cast<float>(-degrees / kDegreesPerRadian));
}
void set_character_heading(double degrees) {
  host().player.heading_radians = static_cast<float>(degrees / kDegreesPerRadian);
}

// The heading the character must end up with: within 60 degrees of the
// camera, turned the shorter way; none when it already is.
std::optional<double> expected_limit(double character, double camera) {
  double difference = wrap360(character - camera);
  if (difference > 180.0) difference -= 360.0;
  if (difference > 60.0) return wrap360(camera + 60.0);
  if (difference < -60.0) return wrap360(camera - 60.0);
  return std::nullopt;
}

// `off_because` says why the limiter is off, or is null while it is on.
void report_heading(Log& log, const Frame& frame, double character, double camera,
                    const char* off_because) {
  const bool limiter_on = off_because == nullptr;
  const auto limit = limiter_on ? expected_limit(character, camera) : std::nullopt;
  if (frame.headings.empty()) {
    log.event("heading", !limit,
              format("character at %.1f deg, camera at %.1f deg: left alone%s", character, camera,
                     limit ? "" : limiter_on ? " (within 60 deg)" : format(" (%s)", off_because).c_str()),
              limit ? format("turned to %.1f deg", *limit) : "");
    return;
  }
  const double turned = wrap360(frame.headings.back() * kDegreesPerRadian);
  const bool ok = limit && frame.headings.size() == 1 && std::fabs(turned - *limit) < 1e-3 &&
                  host().refresh_calls.size() == 1;
  log.event("heading", ok,
            format("character at %.1f deg, camera at %.1f deg: limited to %.1f deg", character,
                   camera, turned),
            limit ? format("turned once to %.1f deg", *limit) : "left alone");
}

// ---- the sessions ------------------------------------------------------------

constexpr std::uint32_t kGuardOriginal = game::code::kGuardedBytes;

struct Loaded {
  HMODULE outside = nullptr, aimcam = nullptr, viewfix = nullptr;
};

Loaded load_all(Log& log, const Paths& paths) {
  Loaded loaded;
  loaded.outside = load(log, paths.kestrelview);
  loaded.aimcam = load(log, paths.demo / "aimcam.dll");
  loaded.viewfix = load(log, paths.dist / "viewfix.dll");
  return loaded;
}

void main_session(Log& log, const Paths& paths) {
  log.note(format("GameVersion of the stand-in host: %d", hostkit::GameVersion()));
  const Vec3 slot1 = {0.5f, 1, 2};
  const Vec3 slot10 = {-0.75f, 0.5f, 1.5f};
  log.setup(prepare_folder(paths, settings_text(1, slot1, slot10)),
            "plug-in folder " + paths.demo.string() + ": aimcam.dll, aimingSets.dat (live reload on)");
  hold_keys({});
  host().player.set_weapon(kActiveEntry, 22);

  const Loaded loaded = load_all(log, paths);
  if (!loaded.outside || !loaded.aimcam || !loaded.viewfix) return;
  log.setup(host().message_boxes.empty(), "no message box: both plug-ins know this build");
  log.setup(in_module(loaded.aimcam, call_target(game::site::kAimCall)) &&
                in_module(loaded.aimcam, call_target(game::site::kFrameTick)),
            "aim call site and frame tick site call into aimcam.dll");
  log.setup(in_module(loaded.viewfix, call_target(game::site::kInitEvent)) &&
                in_module(loaded.viewfix, call_target(game::site::kFrameEvent)),
            "init site and frame event site call into viewfix.dll");
  const auto before = module_value(loaded.outside, 1000);
  log.setup(before == 1000,
            format("Kestrelview.sp before the init site: its value 1000 arrives as %u", before));
  log.note("");

  // The init site: viewfix repairs the outside module.
  Frame f = play_frame(log, true);
  const auto limited = module_value(loaded.outside, 1000);
  const auto small = module_value(loaded.outside, 17);
  log.event("repair", limited == 611 && small == 17,
            format("init site reached: Kestrelview.sp repaired, its value 1000 now arrives as %u "
                   "(17 stays %u)",
                   limited, small),
            "1000 arrives as 611, 17 as 17");
  report_aim(log, f, 22, 1, slot1);

  const Vec3 mirrored1 = {slot1[0] * -3, slot1[1], slot1[2]};
  hold_keys({kX});
  f = play_frame(log, false);
  log.event("mirror", f.offset == mirrored1,
            format("X pressed: mirror on, first offset number %g -> %g", slot1[0], f.offset[0]),
            format("first number %g", mirrored1[0]));
  report_aim(log, f, 22, 1, mirrored1);

  hold_keys({});
  f = play_frame(log, false);
  log.event("mirror", f.offset == mirrored1, "X released: the mirror stays on",
            format("offset %s", vec(mirrored1).c_str()));
  report_aim(log, f, 22, 1, mirrored1);

  hold_keys({kZ});
  f = play_frame(log, false);
  log.event("mirror", f.offset == slot1,
            format("Z pressed: mirror off, first offset number back to %g", f.offset[0]),
            format("offset %s", vec(slot1).c_str()));
  report_aim(log, f, 22, 1, slot1);
  hold_keys({});

  const Vec3 edited = {1.25f, 0.75f, 2.5f};
  write_settings(paths, settings_text(1, edited, slot10));
  f = play_frame(log, false);
  log.event("reload", f.offset == edited,
            format("aimingSets.dat edited (slot 1 = %s): picked up this frame", vec(edited).c_str()),
            format("offset %s", vec(edited).c_str()));
  report_aim(log, f, 22, 1, edited);

  host().player.set_weapon(kActiveEntry, 30);
  f = play_frame(log, false);
  report_aim(log, f, 30, 10, slot10);

  host().player.set_weapon(kActiveEntry, 21);
  f = play_frame(log, false);
  log.event("aim", f.aimed && !f.own_point && !f.offset_seen && f.camera_point == kGamePoint,
            format("weapon 21 has no slot: camera got the game's own point %s",
                   vec(f.camera_point).c_str()),
            "the game's own point, untouched");
  host().player.set_weapon(kActiveEntry, 22);

  // The outside module switches the guarded code off: the limiter runs.
  export_of<void (*)()>(loaded.outside, "kestrelview_silence_guard")();
  set_camera_heading(0);
  set_character_heading(114.6);
  f = play_frame(log, false);
  auto guard = standin::peek<std::uint32_t>(game::code::kGuarded);
  log.event("guard", guard == game::code::kSilenced,
            format("Kestrelview.sp wrote %08X at 0x52C977: limiter on", guard));
  report_heading(log, f, 114.6, 0, nullptr);

  set_camera_heading(90);
  set_character_heading(0);
  f = play_frame(log, false);
  report_heading(log, f, 0, 90, nullptr);

  set_character_heading(100);
  f = play_frame(log, false);
  report_heading(log, f, 100, 90, nullptr);

  // Anything else written there is put back, and the limiter stops.
  standin::poke_value<std::uint32_t>(game::code::kGuarded, 0x0BADC0DE);
  set_character_heading(200);
  f = play_frame(log, false);
  guard = standin::peek<std::uint32_t>(game::code::kGuarded);
  log.event("guard", guard == kGuardOriginal,
            format("something else wrote 0BADC0DE at 0x52C977: put back to %08X, limiter off",
                   guard),
            format("%08X put back", kGuardOriginal));
  report_heading(log, f, 200, 90, "limiter off");

  export_of<void (*)()>(loaded.outside, "kestrelview_silence_guard")();
  f = play_frame(log, false);
  guard = standin::peek<std::uint32_t>(game::code::kGuarded);
  log.event("guard", guard == game::code::kSilenced,
            format("Kestrelview.sp wrote %08X again: limiter on", guard));
  report_heading(log, f, 200, 90, nullptr);
}

// A build neither plug-in knows: aimcam stays off and says so in a message
// box, viewfix binds nothing and does nothing. Played first, in this
// process: afterwards both plug-ins are unloaded (nothing was repaired, so
// viewfix is not pinned) and the host's code is put back, so the main
// session loads them afresh and they probe the build again.
void unknown_build_session(Log& log, const Paths& paths) {
  const auto probe = standin::peek<std::uint32_t>(game::code::kStart);
  const auto guard = standin::peek<std::uint32_t>(game::code::kGuarded);
  standin::poke_value<std::uint32_t>(game::code::kStart, 0xCCCCCCCC);
  log.note("the stand-in host's first code bytes changed to CC CC CC CC: a build no probe matches");
  const Vec3 slot1 = {0.5f, 1, 2};
  log.setup(prepare_folder(paths, settings_text(1, slot1, slot1)),
            "plug-in folder " + paths.demo.string() + ": aimcam.dll, aimingSets.dat (live reload on)");
  hold_keys({});
  host().player.set_weapon(kActiveEntry, 22);
  const auto image = standin::image_bytes();

  const Loaded loaded = load_all(log, paths);
  if (loaded.outside && loaded.aimcam && loaded.viewfix) {
    const auto& boxes = host().message_boxes;
    const char* const expected_text = "GAMEVERSION\nUnsupported game build: aimcam stays off";
    const bool one_box = boxes.size() == 1 && boxes[0].text == expected_text &&
                         boxes[0].caption == "aimcam" && boxes[0].type == 0x30 &&
                         boxes[0].owner == nullptr;
    log.event("refuse", one_box,
              format("aimcam.dll showed %zu message box%s, caption \"%s\", type 0x%X:",
                     boxes.size(), boxes.size() == 1 ? "" : "es",
                     boxes.empty() ? "" : boxes[0].caption.c_str(), boxes.empty() ? 0 : boxes[0].type),
              "one box, caption \"aimcam\", type 0x30 (MB_OK | MB_ICONWARNING)");
    if (!boxes.empty()) {
      std::istringstream lines(boxes[0].text);
      for (std::string line; std::getline(lines, line);) log.note("                   | " + line);
    }
    log.setup(standin::image_bytes() == image,
              "aimcam.dll and viewfix.dll changed no byte of the host's code and data");
    log.note("");

    export_of<void (*)()>(loaded.outside, "kestrelview_silence_guard")();
    set_camera_heading(0);
    set_character_heading(114.6);
    hold_keys({kX});
    Frame f = play_frame(log, true);
    hold_keys({});
    const auto value = module_value(loaded.outside, 1000);
    log.event("module", value == 1000,
              format("init site reached: Kestrelview.sp untouched, its value 1000 arrives as %u",
                     value),
              "1000 arrives as 1000");
    report_heading(log, f, 114.6, 0, "viewfix not bound");
    log.event("aim", f.aimed && !f.own_point && !f.offset_seen && f.camera_point == kGamePoint,
              format("X held, weapon 22: aimcam off, camera got the game's own point %s",
                     vec(f.camera_point).c_str()),
              "the game's own point, untouched");
  }

  if (loaded.viewfix) FreeLibrary(loaded.viewfix);
  if (loaded.aimcam) FreeLibrary(loaded.aimcam);
  standin::poke_value<std::uint32_t>(game::code::kGuarded, guard);
  standin::poke_value<std::uint32_t>(game::code::kStart, probe);
  standin::reset();
  log.setup(GetModuleHandleA("viewfix.dll") == nullptr && GetModuleHandleA("aimcam.dll") == nullptr,
            "aimcam.dll and viewfix.dll unloaded, the host's code as it was");
}

void print_summary(const Log& log, const char* title) {
  std::printf("\n%s:", title);
  const char* separator = " ";
  for (const auto& tally : log.tallies()) {
    std::printf("%s%d %s", separator, tally.count, tally.kind);
    separator = ", ";
  }
  std::printf("\n");
  if (log.failures() == 0) {
    std::printf("all %d checks as expected\n", log.checks());
  } else {
    std::printf("%d of %d checks NOT as expected\n", log.failures(), log.checks());
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 1024);
  if (argc != 4) {
    std::fprintf(stderr, "usage: demo_session DIST_DIR KESTRELVIEW_SP DEMO_DIR\n");
    return 2;
  }
  const Paths paths{fs::absolute(argv[1]), fs::absolute(argv[2]), fs::absolute(argv[3])};

  std::printf("== an unknown game build: aimcam stays off, viewfix binds nothing ==\n");
  Log unknown;
  unknown_build_session(unknown, {paths.dist, paths.kestrelview, paths.demo / "unknown build"});
  print_summary(unknown, "unknown build");

  std::printf("\n== demo session: aimcam.dll and viewfix.dll in the stand-in host ==\n");
  Log log;
  main_session(log, paths);
  print_summary(log, "session");

  const bool all_ok = log.failures() == 0 && unknown.failures() == 0;
  if (all_ok) {
    std::printf("\ndemo: all checks as expected in both sessions\n");
  } else {
    std::printf("\ndemo: the plug-ins did NOT behave as shown (%d checks failed)\n",
                log.failures() + unknown.failures());
  }
  return all_ok ? 0 : 1;
}
