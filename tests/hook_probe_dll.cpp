// A test plug-in that links the kit and hooks the three event sites at load,
// as the plug-ins do; its counters show which handlers ran.
#include "shared/host_events.hpp"
#include "shared/kit_context.hpp"

const char* const hostkit::kit_default_plugin_name = "Hook Probe";

namespace {

int counts[3];
void on_init() { ++counts[0]; }
void on_frame() { ++counts[1]; }
void on_tick() { ++counts[2]; }

struct HookProbe {
  HookProbe() {
    plugin::initEvent().add_handler(plugin::initEvent().pre_handlers, on_init);
    plugin::frameEvent().add_handler(plugin::frameEvent().pre_handlers, on_frame);
    plugin::frameTickHook().add_post_handler(on_tick);
  }
} probe;

}  // namespace

extern "C" __declspec(dllexport) int probe_count(int which) { return counts[which]; }
