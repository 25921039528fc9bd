// The first use of the kit's singletons raced from several threads, released
// together: every thread must get the one object, created once, in a state
// as if one thread had created it, and the object must work afterwards.
// Each case runs in a process of its own, so its race is the real first use.
// (The kit context, GameVersion and the plug-in folder have their races in
// host_identity_test.cpp and plugin_folder_test.cpp.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "shared/game_version.hpp"
#include "shared/host_events.hpp"
#include "standins/host/host_standins.hpp"
#include "tests/os_fake.hpp"

namespace {

using standin::host;

constexpr int kThreads = 8;

// Runs `first_use` on kThreads threads that all start at the same moment;
// what each returned, in thread order.
template <class F>
std::vector<const void*> race(F first_use) {
  std::atomic<int> ready{0};
  std::atomic<bool> go{false};
  std::vector<const void*> seen(kThreads, nullptr);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      ready.fetch_add(1);
      while (!go.load()) std::this_thread::yield();
      seen[static_cast<std::size_t>(i)] = first_use();
    });
  }
  while (ready.load() != kThreads) std::this_thread::yield();
  go.store(true);
  for (auto& t : threads) t.join();
  return seen;
}

int handler_runs = 0;
void count_run() { ++handler_runs; }

using TickHooker =
    injector::function_hooker<injector::absolute_call, game::site::kFrameTick, std::uintptr_t()>;
using InitHooker =
    injector::function_hooker<injector::scoped_call, game::site::kInitEvent, std::uintptr_t()>;
using TickManager = TickHooker::manager_type;

struct RaceCase {
  const char* name;
  const void* (*first_use)();
  // Checks the raced object's state and that it works, given the one object.
  void (*check)(const void* object, testing_os::OsFake& os);
};
void PrintTo(const RaceCase& c, std::ostream* os) { *os << c.name; }

class FirstUseRace : public testing::TestWithParam<RaceCase> {
 protected:
  void SetUp() override {
    standin::reset();
    handler_runs = 0;
  }
  testing_os::OsFake os_;
};

TEST_P(FirstUseRace, EveryThreadGetsTheOneObjectInAConsistentState) {
  const auto seen = race(GetParam().first_use);
  ASSERT_NE(seen[0], nullptr);
  EXPECT_THAT(seen, testing::Each(seen[0]));
  GetParam().check(seen[0], os_);
}

// An event raced into existence: nothing hooked, nothing stored; the first
// handler then hooks its site once and runs once per execution of it.
template <class Event>
void expect_fresh_event_that_works(const Event& event, std::uintptr_t site,
                                   std::uintptr_t (*run_site)(), void (*add)()) {
  const auto before = standin::site_bytes(site);
  EXPECT_FALSE(event.patched);
  EXPECT_TRUE(event.pre_handlers.empty());
  EXPECT_TRUE(event.post_handlers.empty());
  add();
  EXPECT_NE(standin::site_bytes(site), before);
  run_site();
  run_site();
  EXPECT_EQ(handler_runs, 2);
}

const RaceCase kCases[] = {
    {"host_module_base",
     [] { return reinterpret_cast<const void*>(hostkit::host_module_base()); },
     [](const void* base, testing_os::OsFake& os) {
       EXPECT_EQ(reinterpret_cast<std::uintptr_t>(base), standin::image_base());
       EXPECT_THAT(os.module_handle_names, testing::ElementsAre("")) << "looked up once";
     }},
    {"site_manager",
     [] { return static_cast<const void*>(TickManager::site_manager().get()); },
     [](const void* manager, testing_os::OsFake&) {
       const auto owner = TickManager::site_manager();
       EXPECT_EQ(owner.get(), manager);
       EXPECT_EQ(owner.use_count(), 2) << "the static owner and this copy: no count lost";
       EXPECT_FALSE(owner->is_planted());
       EXPECT_EQ(owner->entry_count(), 0u);
       const auto before = standin::site_bytes(game::site::kFrameTick);
       {
         TickHooker hooker;
         hooker.attach([](TickHooker::next_type next) {
           count_run();
           return next();
         });
         EXPECT_EQ(owner->entry_count(), 1u);
         EXPECT_EQ(standin::run_frame_tick(), host().frame_tick_value);
         EXPECT_EQ(handler_runs, 1);
       }
       EXPECT_EQ(standin::site_bytes(game::site::kFrameTick), before);
     }},
    {"init_event",
     [] { return static_cast<const void*>(&plugin::initEvent()); },
     [](const void* event, testing_os::OsFake&) {
       EXPECT_EQ(event, &plugin::initEvent());
       expect_fresh_event_that_works(plugin::initEvent(), game::site::kInitEvent,
                                     standin::run_init_event, [] {
                                       plugin::initEvent().add_handler(
                                           plugin::initEvent().pre_handlers, count_run);
                                     });
     }},
    {"frame_event",
     [] { return static_cast<const void*>(&plugin::frameEvent()); },
     [](const void* event, testing_os::OsFake&) {
       EXPECT_EQ(event, &plugin::frameEvent());
       expect_fresh_event_that_works(plugin::frameEvent(), game::site::kFrameEvent,
                                     standin::run_frame_event, [] {
                                       plugin::frameEvent().add_handler(
                                           plugin::frameEvent().pre_handlers, count_run);
                                     });
     }},
    {"frame_tick_hook",
     [] { return static_cast<const void*>(&plugin::frameTickHook()); },
     [](const void* event, testing_os::OsFake&) {
       EXPECT_EQ(event, &plugin::frameTickHook());
       expect_fresh_event_that_works(plugin::frameTickHook(), game::site::kFrameTick,
                                     standin::run_frame_tick,
                                     [] { plugin::frameTickHook().add_post_handler(count_run); });
     }},
    {"kept_hookers",
     [] { return static_cast<const void*>(&plugin::kept_hookers<InitHooker>()); },
     [](const void* list, testing_os::OsFake&) {
       EXPECT_EQ(list, &plugin::kept_hookers<InitHooker>());
       EXPECT_TRUE(plugin::kept_hookers<InitHooker>().empty());
       // The init event keeps its hooker in this very list.
       plugin::initEvent().add_handler(plugin::initEvent().pre_handlers, count_run);
       EXPECT_EQ(plugin::kept_hookers<InitHooker>().size(), 1u);
       standin::run_init_event();
       EXPECT_EQ(handler_runs, 1);
     }},
    // Different singletons first used at once, each needing others (the
    // version probes need the context and the module base): one context,
    // one module base look-up, one probing run, and all agree.
    {"kit_context_module_base_and_version_together",
     [] {
       static std::atomic<int> turn{0};
       switch (turn.fetch_add(1) % 3) {
         case 0:
           return static_cast<const void*>(&hostkit::kit_context());
         case 1:
           hostkit::host_module_base();
           return static_cast<const void*>(&hostkit::kit_context());
         default:
           hostkit::GameVersion();
           return static_cast<const void*>(&hostkit::kit_context());
       }
     },
     [](const void* context, testing_os::OsFake& os) {
       EXPECT_EQ(context, &hostkit::kit_context());
       EXPECT_EQ(hostkit::GameVersion(), hostkit::kVersion1001);
       EXPECT_EQ(hostkit::host_module_base(), standin::image_base());
       // One look at the image for the context, one for the module base.
       EXPECT_EQ(os.module_handle_names.size(), 2u);
       int lifted = 0;
       for (const auto& call : os.protect_calls) lifted += call.protection == 0x40 ? 1 : 0;
       EXPECT_EQ(lifted, 1) << "one probing run, matching at its first probe";
     }},
};

INSTANTIATE_TEST_SUITE_P(Singletons, FirstUseRace, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<RaceCase>& i) {
                           return std::string(i.param.name);
                         });

}  // namespace
