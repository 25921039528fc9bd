// Call-site hook chains on the stand-in host's real call sites: the planted
// instruction is a CALL that the host's own caller routine executes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "injector/hooking.hpp"
#include "standins/host/host_standins.hpp"
#include "tests/allocation_counter.hpp"

namespace {

using standin::host;

using TickHooker = injector::function_hooker<injector::absolute_call, game::site::kFrameTick,
                                             std::uintptr_t()>;
using EventHooker =
    injector::function_hooker<injector::scoped_call, game::site::kFrameEvent, std::uintptr_t()>;
using Next = TickHooker::next_type;

std::vector<std::string> trace;

// A handler that notes its name, runs the rest of the chain and passes its
// value on (or replaces it when asked to).
TickHooker::handler_type noting(std::string name) {
  return [name](Next next) -> std::uintptr_t {
    trace.push_back(name);
    return next();
  };
}

class HookChain : public testing::Test {
 protected:
  void SetUp() override {
    standin::reset();
    trace.clear();
    host().on_callee = [] { trace.push_back("callee"); };
    original_ = standin::site_bytes(game::site::kFrameTick);
  }
  std::array<std::uint8_t, 5> original_{};
};

TEST_F(HookChain, AttachPlantsACallToTheSitesEntryFunction) {
  TickHooker hooker;
  EXPECT_EQ(standin::site_bytes(game::site::kFrameTick), original_) << "construction changes nothing";
  hooker.attach(noting("a"));
  EXPECT_EQ(injector::branch_destination(game::site::kFrameTick),
            reinterpret_cast<std::uintptr_t>(&TickHooker::manager_type::call_hooks));
  EXPECT_EQ(hooker.manager()->callee(), standin::at(0x53EA00)) << "the host's own callee";
  EXPECT_EQ(standin::run_frame_tick(), host().frame_tick_value);
  EXPECT_THAT(trace, testing::ElementsAre("a", "callee"));
}

TEST_F(HookChain, EntriesRunLastAttachedFirstAndTheCalleesValueComesBack) {
  TickHooker a, b, c;
  a.attach(noting("A"));
  b.attach(noting("B"));
  c.attach(noting("C"));
  EXPECT_EQ(standin::run_frame_tick(), host().frame_tick_value);
  EXPECT_THAT(trace, testing::ElementsAre("C", "B", "A", "callee"));
  EXPECT_EQ(host().frame_tick_callee_calls, 1);
}

TEST_F(HookChain, AHandlerThatDoesNotCallNextEndsTheChainWithItsValue) {
  TickHooker a, b, c;
  a.attach(noting("A"));
  b.attach([](Next) -> std::uintptr_t {
    trace.push_back("B stops");
    return 0xB0B0;
  });
  c.attach(noting("C"));
  EXPECT_EQ(standin::run_frame_tick(), 0xB0B0u);
  EXPECT_THAT(trace, testing::ElementsAre("C", "B stops"));
  EXPECT_EQ(host().frame_tick_callee_calls, 0);
}

TEST_F(HookChain, ASingleEntryThatDoesNotCallNextKeepsTheCalleeFromRunning) {
  TickHooker only;
  only.attach([](Next) -> std::uintptr_t { return 7; });
  EXPECT_EQ(standin::run_frame_tick(), 7u);
  EXPECT_EQ(host().frame_tick_callee_calls, 0);
}

TEST_F(HookChain, AHandlerMayChangeTheValueOrCallNextMoreThanOnce) {
  TickHooker a, b;
  a.attach([](Next next) -> std::uintptr_t { return next() + 1; });
  b.attach([](Next next) -> std::uintptr_t {
    next();
    return next() * 2;
  });
  EXPECT_EQ(standin::run_frame_tick(), (host().frame_tick_value + 1) * 2);
  EXPECT_EQ(host().frame_tick_callee_calls, 2);
}

TEST_F(HookChain, AttachingTwiceReplacesTheHandlerInItsPlace) {
  TickHooker a, b, c;
  a.attach(noting("A"));
  b.attach(noting("B"));
  c.attach(noting("C"));
  b.attach(noting("B2"));
  EXPECT_EQ(b.manager()->entry_count(), 3u);
  standin::run_frame_tick();
  EXPECT_THAT(trace, testing::ElementsAre("C", "B2", "A", "callee"));
}

TEST_F(HookChain, ACopyTakesOverTheEntryAtTheEndOfTheList) {
  std::optional<TickHooker> a(std::in_place);
  TickHooker b, c;
  a->attach(noting("A"));
  b.attach(noting("B"));
  c.attach(noting("C"));
  TickHooker copy(*a);
  a.reset();  // the original holds no entry any more: the hook stays
  EXPECT_EQ(copy.manager()->entry_count(), 3u);
  standin::run_frame_tick();
  EXPECT_THAT(trace, testing::ElementsAre("A", "C", "B", "callee"));
}

TEST_F(HookChain, TheLastEntryToGoRestoresTheSiteAndANewAttachPlantsAfresh) {
  {
    TickHooker a, b;
    a.attach(noting("A"));
    b.attach(noting("B"));
    a.undo();
    EXPECT_NE(standin::site_bytes(game::site::kFrameTick), original_) << "B still holds the site";
  }
  EXPECT_EQ(standin::site_bytes(game::site::kFrameTick), original_);
  standin::run_frame_tick();
  EXPECT_THAT(trace, testing::ElementsAre("callee"));

  // The host's call now leads elsewhere; the next plant picks that up.
  std::uint8_t call_init_callee[5] = {0xE8};
  const std::int32_t displacement = static_cast<std::int32_t>(
      standin::at(0x5BF400) - (standin::at(game::site::kFrameTick) + 5));
  std::memcpy(call_init_callee + 1, &displacement, 4);
  standin::poke(game::site::kFrameTick, call_init_callee, 5);
  TickHooker again;
  again.attach(noting("again"));
  EXPECT_EQ(again.manager()->callee(), standin::at(0x5BF400));
  EXPECT_EQ(standin::run_frame_tick(), host().init_event_value);
  EXPECT_EQ(host().init_event_callee_calls, 1);
  again.undo();
  EXPECT_EQ(standin::site_bytes(game::site::kFrameTick)[0], 0xE8);
  EXPECT_EQ(injector::branch_destination(game::site::kFrameTick), standin::at(0x5BF400));
}

TEST_F(HookChain, UndoOnAHookerWithoutAnEntryChangesNothing) {
  TickHooker a, idle;
  a.attach(noting("A"));
  const auto planted = standin::site_bytes(game::site::kFrameTick);
  idle.undo();
  EXPECT_EQ(standin::site_bytes(game::site::kFrameTick), planted);
  EXPECT_EQ(a.manager()->entry_count(), 1u);
  standin::run_frame_tick();
  EXPECT_THAT(trace, testing::ElementsAre("A", "callee"));
}

TEST_F(HookChain, AManagerDestroyedWhilePlantedWritesTheSiteBack) {
  auto manager = std::make_unique<TickHooker::manager_type>();
  const int owner = 0;
  manager->register_handler(reinterpret_cast<TickHooker::manager_type::owner_type>(&owner),
                            noting("x"));
  ASSERT_TRUE(manager->is_planted());
  EXPECT_NE(standin::site_bytes(game::site::kFrameTick), original_);
  manager.reset();
  EXPECT_EQ(standin::site_bytes(game::site::kFrameTick), original_);
}

TEST_F(HookChain, AnEmptyHandlerIsNotAttached) {
  TickHooker a;
  a.attach(TickHooker::handler_type{});
  EXPECT_EQ(a.manager()->entry_count(), 0u);
  EXPECT_EQ(standin::site_bytes(game::site::kFrameTick), original_);
}

TEST_F(HookChain, ASiteHoldingNoBranchIsNotPlanted) {
  const std::uint8_t nops[5] = {0x90, 0x90, 0x90, 0x90, 0x90};
  standin::poke(game::site::kFrameTick, nops, 5);
  TickHooker a;
  a.attach(noting("A"));
  EXPECT_FALSE(a.manager()->is_planted());
  EXPECT_EQ(standin::site_bytes(game::site::kFrameTick), (std::array<std::uint8_t, 5>{0x90, 0x90, 0x90, 0x90, 0x90}));
}

TEST_F(HookChain, ARebasingHookerPlantsAtTheRebasedSite) {
  const auto before = standin::site_bytes(game::site::kFrameEvent);
  {
    EventHooker hooker;
    hooker.attach([](EventHooker::next_type next) -> std::uintptr_t { return next() ^ 1; });
    EXPECT_EQ(standin::run_frame_event(), host().frame_event_value ^ 1);
  }
  EXPECT_EQ(standin::site_bytes(game::site::kFrameEvent), before);
}

TEST(KeptBytes, AskingToKeepMoreThanTheBufferHoldsIsReportedAndEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::uintptr_t site = standin::at(game::site::kFrameTick);
  const auto before = standin::site_bytes(game::site::kFrameTick);
  EXPECT_DEATH(
      {
        injector::scoped_basic<5> keeper;
        keeper.keep_bytes(site, 6, true);
      },
      "Assertion failed: size <= bufsize, file injector/hooking");
  EXPECT_EQ(standin::site_bytes(game::site::kFrameTick), before);
}

TEST_F(HookChain, OneEntryAllocatesNothingPerCall) {
  host().on_callee = nullptr;  // the trace itself would allocate
  TickHooker a;
  a.attach([](Next next) -> std::uintptr_t { return next(); });
  standin::run_frame_tick();
  const auto before = testing_alloc::allocations();
  for (int i = 0; i < 100; ++i) standin::run_frame_tick();
  EXPECT_EQ(testing_alloc::allocations() - before, 0u);
}

}  // namespace
