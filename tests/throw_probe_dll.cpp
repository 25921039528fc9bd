// A test plug-in, linked exactly as the plug-ins are, whose per-frame handler
// throws: the exception leaves the plug-in's code into the host's, where
// nothing can catch it. The handler says so on stderr first, so that a test
// can tell this exception from any other way the process might end.
#include <cstdio>
#include <stdexcept>

#include "shared/host_events.hpp"
#include "shared/kit_context.hpp"

const char* const hostkit::kit_default_plugin_name = "Throw Probe";

namespace {

void on_frame_tick() {
  std::fputs("throw_probe: throwing from the frame handler\n", stderr);
  std::fflush(stderr);
  throw std::runtime_error("thrown by throw_probe's frame handler");
}

struct ThrowProbe {
  ThrowProbe() { plugin::frameTickHook().add_post_handler(on_frame_tick); }
} probe;

}  // namespace
