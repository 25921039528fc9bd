// The kit in a host executable mapped at another base than 0x400000: this
// stand-in host is linked at 0x20000000, its host image at 0x20001000.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "shared/game_version.hpp"
#include "shared/host_events.hpp"
#include "shared/kit_context.hpp"
#include "standins/host/host_standins.hpp"
#include "tests/host_image_header.hpp"
#include "tests/os_fake.hpp"

namespace {

constexpr std::uintptr_t kBase = 0x20000000;

TEST(RebasedHost, HostAddressesMoveWithTheBase) {
  ASSERT_EQ(standin::image_base(), kBase);
  EXPECT_EQ(hostkit::host_module_base(), kBase);
  EXPECT_EQ(hostkit::host_address(0x400000), kBase);
  EXPECT_EQ(hostkit::host_address(0), kBase - 0x400000);
  EXPECT_EQ(hostkit::host_address(0x53C077), kBase + 0x13C077);
}

TEST(RebasedHost, ProbesReadAtTheRebasedAddresses) {
  standin::poke_value<std::uint32_t>(0x401000, 0xCCCCCCCC);
  standin::poke_value<std::uint32_t>(0x82533C, 0x000094BF);
  hostkit::resolve_address(0);
  testing_os::OsFake os;
  EXPECT_EQ(hostkit::GameVersion(), 1111);
  std::vector<std::uintptr_t> lifted;
  for (const auto& call : os.protect_calls) {
    if (call.protection == 0x40) lifted.push_back(call.address);
  }
  EXPECT_THAT(lifted, testing::ElementsAre(kBase + 0x1000, kBase + 0x1000, kBase + 0x4245BC,
                                           kBase + 0x4252FC, kBase + 0x42533C));
}

TEST(RebasedHost, TheEntryPointKeyDoesNotDependOnTheBase) {
  testing_host::set_entry_point(0x4252FC);
  const auto& version = hostkit::kit_context().version;
  EXPECT_EQ(version.game, 'S');
  EXPECT_EQ(version.region, 'U');
  EXPECT_EQ(version.major, 1);
  EXPECT_EQ(version.minor, 1);
}

TEST(RebasedHost, ThePatchMarkByteIsReadAtItsAbsoluteAddress) {
  // 0x406A20 is not rebased: in this process nothing is mapped there, so the
  // byte test finds no 0xE9, even though the rebased host image holds one.
  standin::poke_value<std::uint8_t>(0x406A20, 0xE9);
  testing_host::set_entry_point(0x424570);
  EXPECT_EQ(hostkit::kit_context().version.patch_mark, 0);
  EXPECT_EQ(hostkit::kit_context().version.game, 'S');
}

}  // namespace

namespace {

std::vector<int> runs;
void on_init() { runs.push_back(1); }

TEST(RebasedHost, EventsHookTheirRebasedCallSites) {
  standin::reset();
  ASSERT_EQ(hostkit::GameVersion(), 1001);  // the stand-in image's own code bytes
  const auto before = standin::site_bytes(game::site::kInitEvent);
  auto& event = plugin::initEvent();
  event.add_handler(event.pre_handlers, on_init);
  const auto planted = standin::site_bytes(game::site::kInitEvent);
  EXPECT_EQ(planted[0], 0xE8);
  EXPECT_NE(planted, before);
  EXPECT_EQ(standin::run_init_event(), standin::host().init_event_value);
  EXPECT_EQ(runs, std::vector<int>{1});
}

}  // namespace
