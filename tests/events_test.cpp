// Host events on the stand-in host's real call sites. Each test runs in a
// process of its own, so GameVersion is probed afresh from the code bytes
// the test sets first.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shared/host_events.hpp"
#include "standins/host/host_standins.hpp"

namespace {

using standin::host;

std::vector<std::string> trace;
void first() { trace.push_back("first"); }
void second() { trace.push_back("second"); }

void set_version_bytes(std::uint32_t at_401000, std::uint32_t at_8245BC = 0) {
  standin::poke_value<std::uint32_t>(0x401000, at_401000);
  standin::poke_value<std::uint32_t>(0x8245BC, at_8245BC);
}
constexpr std::uint32_t kBytes1001 = 0x53EC8B55;
constexpr std::uint32_t kBytes1002 = 0x16197BE9;

class Events : public testing::Test {
 protected:
  void SetUp() override {
    standin::reset();
    trace.clear();
    host().on_callee = [] { trace.push_back("callee"); };
    init_site_ = standin::site_bytes(game::site::kInitEvent);
    tick_site_ = standin::site_bytes(game::site::kFrameTick);
  }
  std::array<std::uint8_t, 5> init_site_{}, tick_site_{};
};

struct GateCase {
  const char* name;
  std::uint32_t at_401000;
  std::uint32_t at_8245BC;
  std::int32_t version;
  bool hooks;
};
void PrintTo(const GateCase& c, std::ostream* os) { *os << c.name; }


class VersionGate : public Events, public testing::WithParamInterface<GateCase> {};

TEST_P(VersionGate, OnlyBuilds1001And1002HookTheSite) {
  set_version_bytes(GetParam().at_401000, GetParam().at_8245BC);
  ASSERT_EQ(hostkit::GameVersion(), GetParam().version);
  auto& event = plugin::initEvent();
  event.add_handler(event.pre_handlers, first);
  EXPECT_TRUE(event.patched);
  EXPECT_EQ(event.pre_handlers.size(), 1u) << "the handler is stored either way";
  event.add_handler(event.pre_handlers, second);

  EXPECT_EQ(standin::site_bytes(game::site::kInitEvent) != init_site_, GetParam().hooks);
  EXPECT_EQ(standin::run_init_event(), host().init_event_value);
  if (GetParam().hooks) {
    EXPECT_THAT(trace, testing::ElementsAre("first", "second", "callee"));
  } else {
    EXPECT_THAT(trace, testing::ElementsAre("callee"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Builds, VersionGate,
    testing::Values(GateCase{"v1001", kBytes1001, 0, 1001, true},
                    GateCase{"v1002", kBytes1002, 0, 1002, true},
                    GateCase{"v1011", 0xCCCCCCCC, 0x000094BF, 1011, false},
                    GateCase{"unknown", 0xCCCCCCCC, 0, 0, false}),
    [](const testing::TestParamInfo<GateCase>& i) { return std::string(i.param.name); });

TEST_F(Events, APlainFunctionIsAddedOncePerList) {
  auto& event = plugin::initEvent();
  event.add_handler(event.pre_handlers, first);
  event.add_handler(event.pre_handlers, first);
  event.add_handler(event.pre_handlers, plugin::Handler(first));
  event.add_handler(event.post_handlers, first);
  EXPECT_EQ(event.pre_handlers.size(), 1u);
  EXPECT_EQ(event.post_handlers.size(), 1u);
  standin::run_init_event();
  EXPECT_THAT(trace, testing::ElementsAre("first", "callee", "first"));
}

TEST_F(Events, ClosuresAreNeverTakenForDuplicates) {
  auto& event = plugin::frameEvent();
  event.add_handler(event.pre_handlers, [] { trace.push_back("closure"); });
  event.add_handler(event.pre_handlers, [] { trace.push_back("closure"); });
  standin::run_frame_event();
  EXPECT_THAT(trace, testing::ElementsAre("closure", "closure", "callee"));
}

TEST_F(Events, PreHandlersRunInOrderBeforeTheCalleeAndPostHandlersAfterIt) {
  auto& event = plugin::frameEvent();
  event.add_handler(event.post_handlers, second);
  event.add_handler(event.pre_handlers, first);
  event.add_handler(event.pre_handlers, [] { trace.push_back("pre 2"); });
  event.add_handler(event.post_handlers, [] { trace.push_back("post 2"); });
  host().frame_event_value = 0xABCD1234;
  for (int frame = 0; frame < 3; ++frame) {
    EXPECT_EQ(standin::run_frame_event(), 0xABCD1234u) << "the callee's value, unchanged";
  }
  EXPECT_EQ(host().frame_event_callee_calls, 3) << "once per execution of the site";
  EXPECT_THAT(trace, testing::ElementsAre("first", "pre 2", "callee", "second", "post 2",  //
                                          "first", "pre 2", "callee", "second", "post 2",  //
                                          "first", "pre 2", "callee", "second", "post 2"));
}

TEST_F(Events, EachRunCallsAFreshCopyOfTheHandler) {
  auto& event = plugin::frameEvent();
  static std::vector<int> seen;
  event.add_handler(event.pre_handlers, [n = 0]() mutable { seen.push_back(++n); });
  standin::run_frame_event();
  standin::run_frame_event();
  EXPECT_THAT(seen, testing::ElementsAre(1, 1));
}

TEST_F(Events, AnEmptyHandlerIsNotAddedAndHooksNothing) {
  auto& event = plugin::initEvent();
  event.add_handler(event.pre_handlers, plugin::Handler{});
  EXPECT_TRUE(event.pre_handlers.empty());
  EXPECT_FALSE(event.patched);
  EXPECT_EQ(standin::site_bytes(game::site::kInitEvent), init_site_);
}

TEST_F(Events, TheFrameTickHookHooksItsAbsoluteSiteOnAnyBuild) {
  set_version_bytes(0xCCCCCCCC);
  ASSERT_EQ(hostkit::GameVersion(), 0);
  auto& tick = plugin::frameTickHook();
  tick.add_post_handler(first);
  tick.add_post_handler(first);  // no duplicate check here
  EXPECT_NE(standin::site_bytes(game::site::kFrameTick), tick_site_);
  EXPECT_EQ(standin::run_frame_tick(), host().frame_tick_value);
  EXPECT_THAT(trace, testing::ElementsAre("callee", "first", "first"));
  EXPECT_TRUE(tick.pre_handlers.empty());
}

}  // namespace
