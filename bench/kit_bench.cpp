// Benchmarks, run in one stand-in host process: what the plug-ins add to the
// host's own work on its per-frame and per-aim paths.
#include <cstdio>

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

}  // namespace

int main() {
  std::printf("%-34s %-30s %12s %-8s %-24s %7s\n", "benchmark", "measured", "value", "unit",
              "against", "ratio");
  hooked_frame_site();
  return 0;
}
