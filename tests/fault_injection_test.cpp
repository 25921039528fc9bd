// Faults at the operating-system boundary, one table of cases: the kit and
// both plug-ins' logic in the stand-in host with OsFake failing chosen calls
// (or the host's memory made unreachable) at the moment a case says. In every
// case nothing faults, the host's code keeps the bytes nothing could write,
// and the host's own routines still run.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "aimcam/aim_redirect.hpp"
#include "aimcam/aim_settings.hpp"
#include "injector/memory.hpp"
#include "shared/address_table.hpp"
#include "shared/host_events.hpp"
#include "shared/kit_context.hpp"
#include "shared/plugin_folder.hpp"
#include "standins/host/host_standins.hpp"
#include "tests/os_fake.hpp"
#include "tests/plugin_paths.hpp"
#include "viewfix/heading_limiter.hpp"
#include "viewfix/outside_module.hpp"

namespace {

using standin::host;
using testing_os::ProtectFailure;

constexpr std::uint32_t kHostGuard = 0x51104E8B;  // the stand-in host's bytes 8B 4E 10 51
constexpr std::uint32_t kSilenced = 0x90909090;

// The fault a case injects, all at once, when its scenario calls inject().
struct Fault {
  ProtectFailure protect = ProtectFailure::none;
  bool module_lookup_fails = false;       // GetModuleHandleExA(FROM_ADDRESS) fails
  bool outside_module_unloaded = false;   // Kestrelview.sp is freed for real
  std::uintptr_t unreachable_host = 0;    // 4 host bytes `accessible` reports unreachable
  std::uintptr_t no_access_page = 0;      // the host page holding it made PAGE_NOACCESS
};

class FaultInjection;
struct FaultCase {
  const char* name;
  Fault fault;
  void (*scenario)(FaultInjection&);
};
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class FaultInjection : public testing::TestWithParam<FaultCase> {
 public:
  void SetUp() override {
    standin::reset();
    host().player.set_weapon(0, 22);
    host().player.heading_radians = 2.0f;  // about 115 degrees, the camera at 0
    hostkit::resolve_host_address_table();
    for (std::size_t i = 0; i < sites_.size(); ++i) original_[i] = standin::site_bytes(sites_[i]);
  }
  void TearDown() override {
    if (no_access_restore_ != 0) {
      DWORD old = 0;
      VirtualProtect(reinterpret_cast<void*>(no_access_restore_), 1, no_access_old_, &old);
    }
    if (kestrelview_ != nullptr) FreeLibrary(kestrelview_);
  }

  // The fault begins; the calls recorded so far are forgotten.
  void inject() {
    const Fault& f = GetParam().fault;
    os.protect_calls.clear();
    os.module_handle_names.clear();
    os.module_from_address_pins.clear();
    os.message_boxes.clear();
    os.protect_failure = f.protect;
    os.fail_module_from_address = f.module_lookup_fails;
    if (f.outside_module_unloaded) {
      ASSERT_NE(kestrelview_, nullptr);
      ASSERT_TRUE(FreeLibrary(kestrelview_));
      kestrelview_ = nullptr;
      ASSERT_EQ(GetModuleHandleA("Kestrelview.sp"), nullptr);
    }
    if (f.unreachable_host != 0) os.inaccessible.emplace_back(standin::at(f.unreachable_host), 4);
    if (f.no_access_page != 0) {
      no_access_restore_ = standin::at(f.no_access_page);
      ASSERT_TRUE(VirtualProtect(reinterpret_cast<void*>(no_access_restore_), 1, PAGE_NOACCESS,
                                 &no_access_old_));
    }
  }

  void load_outside_module() {
    kestrelview_ = LoadLibraryA(testing_paths::beside_tests("Kestrelview.sp").c_str());
    ASSERT_NE(kestrelview_, nullptr);
    module_code_before_ = module_code();
  }
  void silence_guard() {
    auto* silence = reinterpret_cast<void (*)()>(
        reinterpret_cast<void*>(GetProcAddress(kestrelview_, "kestrelview_silence_guard")));
    silence();
  }
  // The outside module's cell reference and linked-value load.
  std::array<std::uint8_t, 14> module_code() const {
    std::array<std::uint8_t, 14> bytes{};
    const auto base = reinterpret_cast<const std::uint8_t*>(kestrelview_);
    std::memcpy(bytes.data(), base + 0x1FFA, 4);
    std::memcpy(bytes.data() + 4, base + 0x47EC, 10);
    return bytes;
  }

  void expect_sites_untouched() const {
    for (std::size_t i = 0; i < sites_.size(); ++i) {
      EXPECT_EQ(standin::site_bytes(sites_[i]), original_[i]) << std::hex << sites_[i];
    }
  }
  // Every protection change asked for was a lift that failed: none was
  // followed by a call putting a protection back.
  void expect_no_restoring_call() const {
    for (const auto& call : os.protect_calls) {
      EXPECT_EQ(call.protection, static_cast<std::uint32_t>(PAGE_EXECUTE_READWRITE))
          << "a restoring call at " << std::hex << call.address;
    }
  }
  // The host's aim call reaches the host's routine with the game's own point.
  void expect_host_aims_unredirected() {
    host().aim_camera_calls.clear();
    float point[3] = {1, 2, 3};
    EXPECT_EQ(standin::run_aim_call(nullptr, point, 0, 0, 0), host().aim_camera_result);
    ASSERT_EQ(host().aim_camera_calls.size(), 1u);
    EXPECT_EQ(host().aim_camera_calls[0].point, point);
    EXPECT_TRUE(host().offset_point_calls.empty());
  }
  void frames(int count) {
    for (int i = 0; i < count; ++i) {
      EXPECT_EQ(standin::run_frame_event(), host().frame_event_value);
    }
  }
  void hook_viewfix_events() {
    plugin::initEvent().add_handler(plugin::initEvent().pre_handlers,
                                    viewfix::repair_outside_module);
    plugin::frameEvent().add_handler(plugin::frameEvent().pre_handlers, viewfix::limit_heading);
  }

  testing_os::OsFake os;
  HMODULE kestrelview_ = nullptr;
  std::array<std::uint8_t, 14> module_code_before_{};
  const std::array<std::uintptr_t, 4> sites_ = {game::site::kAimCall, game::site::kFrameTick,
                                                game::site::kInitEvent, game::site::kFrameEvent};
  std::array<std::array<std::uint8_t, 5>, 4> original_{};
  std::uintptr_t no_access_restore_ = 0;
  DWORD no_access_old_ = 0;
};

TEST_P(FaultInjection, NothingFaultsAndEachBehavesAsDesigned) { GetParam().scenario(*this); }

void tick_handler() { ++host().condition_calls; }  // a visible mark of the handler's runs

const FaultCase kCases[] = {
    {"every_protect_fails_plant_call_writes_nothing",
     {.protect = ProtectFailure::all},
     [](FaultInjection& t) {
       t.inject();
       const std::uintptr_t site = standin::at(game::site::kAimCall);
       const std::uintptr_t previous = injector::plant_call(site, site + 0x1000);
       EXPECT_EQ(previous, standin::at(game::routine::kAimCameraUpdate)) << "the call is still read";
       t.expect_sites_untouched();
       EXPECT_GT(t.os.protect_count(), 0);
       t.expect_no_restoring_call();
       t.expect_host_aims_unredirected();
     }},
    {"every_protect_fails_aim_redirect_installs_and_removes_nothing",
     {.protect = ProtectFailure::all},
     [](FaultInjection& t) {
       t.inject();
       aimcam::install_aim_redirect();
       t.expect_host_aims_unredirected();
       aimcam::remove_aim_redirect();
       t.expect_sites_untouched();
       t.expect_no_restoring_call();
     }},
    {"every_protect_fails_an_event_hooks_nothing_and_the_callee_still_runs",
     {.protect = ProtectFailure::all},
     [](FaultInjection& t) {
       t.inject();
       plugin::frameTickHook().add_post_handler(tick_handler);
       t.expect_sites_untouched();
       EXPECT_EQ(standin::run_frame_tick(), host().frame_tick_value);
       EXPECT_EQ(host().frame_tick_callee_calls, 1);
       EXPECT_EQ(host().condition_calls, 0) << "no CALL was planted to run the handler";
     }},
    {"only_the_opening_fails_no_restoring_call_is_made",
     {.protect = ProtectFailure::opening},
     [](FaultInjection& t) {
       const float constant = standin::peek<float>(game::code::kAimConstant);
       t.inject();
       aimcam::install_aim_redirect();
       injector::write_value<float>(standin::at(game::code::kAimConstant), constant + 1);
       EXPECT_EQ(standin::peek<float>(game::code::kAimConstant), constant);
       EXPECT_GE(t.os.protect_count(), 4) << "kept bytes, branch read, opcode and displacement";
       t.expect_no_restoring_call();
       t.expect_sites_untouched();
       t.expect_host_aims_unredirected();
       aimcam::remove_aim_redirect();
       t.expect_sites_untouched();
     }},
    {"the_plugins_module_lookup_fails_one_message_and_the_host_folder",
     {.module_lookup_fails = true},
     [](FaultInjection& t) {
       t.inject();
       const std::string expected = testing_paths::binary_dir() + "aimingSets.dat";
       EXPECT_EQ(aimcam::aim_settings_path(), expected);
       EXPECT_EQ(aimcam::aim_settings_path(), expected);
       aimcam::load_aim_settings();  // no file there: nothing stored, nothing faults
       ASSERT_EQ(t.os.message_boxes.size(), 1u);
       EXPECT_THAT(t.os.message_boxes[0].text, testing::HasSubstr("plugin dir path"));
       EXPECT_THAT(t.os.module_from_address_pins, testing::ElementsAre(false));
     }},
    {"the_outside_module_vanishes_between_two_init_runs",
     {.outside_module_unloaded = true},
     [](FaultInjection& t) {
       t.load_outside_module();
       t.hook_viewfix_events();
       standin::run_init_event();
       ASSERT_NE(viewfix::outside_module, nullptr);
       const auto guard = standin::peek<std::uint32_t>(game::code::kGuarded);
       t.inject();
       EXPECT_EQ(standin::run_init_event(), host().init_event_value);
       EXPECT_EQ(viewfix::outside_module, nullptr);
       EXPECT_THAT(t.os.module_handle_names, testing::ElementsAre("Kestrelview.sp"));
       EXPECT_TRUE(t.os.protect_calls.empty()) << "nothing touched";
       EXPECT_TRUE(t.os.module_from_address_pins.empty());
       host().find_player_args.clear();
       t.frames(3);
       EXPECT_TRUE(host().find_player_args.empty()) << "later frames return at once";
       EXPECT_TRUE(host().set_heading_calls.empty());
       EXPECT_EQ(standin::peek<std::uint32_t>(game::code::kGuarded), guard);
     }},
    {"the_guarded_code_unreachable_at_the_repair_reads_nothing",
     {.unreachable_host = game::code::kGuarded},
     [](FaultInjection& t) {
       t.load_outside_module();
       t.hook_viewfix_events();
       t.inject();
       standin::run_init_event();
       EXPECT_EQ(viewfix::saved_guard_bytes, 0u) << "nothing read into it";
       t.silence_guard();
       t.frames(2);
       EXPECT_FALSE(viewfix::limiter_active);
       EXPECT_TRUE(host().set_heading_calls.empty());
       EXPECT_EQ(standin::peek<std::uint32_t>(game::code::kGuarded), kSilenced);
     }},
    {"the_guarded_code_unreachable_after_a_repair_stops_the_limiter_and_writes_nothing",
     {.unreachable_host = game::code::kGuarded},
     [](FaultInjection& t) {
       t.load_outside_module();
       t.hook_viewfix_events();
       standin::run_init_event();
       ASSERT_EQ(viewfix::saved_guard_bytes, kHostGuard);
       t.silence_guard();
       t.frames(1);
       ASSERT_TRUE(viewfix::limiter_active);
       ASSERT_EQ(host().set_heading_calls.size(), 1u);
       t.inject();
       t.frames(2);
       EXPECT_FALSE(viewfix::limiter_active);
       EXPECT_EQ(host().set_heading_calls.size(), 1u);
       EXPECT_EQ(standin::peek<std::uint32_t>(game::code::kGuarded), kSilenced)
           << "the mend is skipped, not written blind";
     }},
    {"the_guarded_code_page_no_access_with_every_protect_failing",
     {.protect = ProtectFailure::all, .no_access_page = game::code::kGuarded},
     [](FaultInjection& t) {
       t.load_outside_module();
       t.hook_viewfix_events();
       t.inject();
       standin::run_init_event();
       EXPECT_EQ(viewfix::outside_module, t.kestrelview_);
       EXPECT_EQ(viewfix::saved_guard_bytes, 0u);
       EXPECT_EQ(t.module_code(), t.module_code_before_) << "its code is read-only: unchanged";
       t.frames(2);
       EXPECT_FALSE(viewfix::limiter_active);
       EXPECT_TRUE(host().set_heading_calls.empty());
       MEMORY_BASIC_INFORMATION info{};
       VirtualQuery(reinterpret_cast<void*>(standin::at(game::code::kGuarded)), &info, sizeof info);
       EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_NOACCESS));
     }},
    {"an_event_site_unreachable_is_not_planted",
     {.unreachable_host = game::site::kFrameTick},
     [](FaultInjection& t) {
       t.inject();
       plugin::frameTickHook().add_post_handler(tick_handler);
       t.expect_sites_untouched();
       using TickHooker = injector::function_hooker<injector::absolute_call,
                                                    game::site::kFrameTick, std::uintptr_t()>;
       EXPECT_FALSE(TickHooker::manager_type::site_manager()->is_planted());
       EXPECT_EQ(standin::run_frame_tick(), host().frame_tick_value);
       EXPECT_EQ(host().condition_calls, 0);
     }},
};

INSTANTIATE_TEST_SUITE_P(Cases, FaultInjection, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<FaultCase>& i) {
                           return std::string(i.param.name);
                         });

}  // namespace
