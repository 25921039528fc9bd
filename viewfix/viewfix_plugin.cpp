// The first-person fix plug-in. Its start-up object is constructed when the
// loader runs the DLL's static initialisers; the kit's exit routines take its
// hooks down when it unloads (unless a repair has pinned it for good).
#include "shared/address_table.hpp"
#include "shared/host_events.hpp"
#include "shared/kit_context.hpp"
#include "viewfix/heading_limiter.hpp"
#include "viewfix/outside_module.hpp"

const char* const hostkit::kit_default_plugin_name = "Hostkit Plugin";

namespace viewfix {
namespace {

// The host addresses are resolved before the plug-in object is constructed:
// both are initialised in this translation unit, in this order.
[[maybe_unused]] const bool host_addresses_resolved =
    (hostkit::resolve_host_address_table(), true);

// Both handlers run before the host's own routine at their call sites, and
// only on the builds the events bind to; on any other build they are stored
// and never run.
class KestrelviewModFix {
 public:
  KestrelviewModFix() {
    auto& init = plugin::initEvent();
    init.add_handler(init.pre_handlers, repair_outside_module);
    auto& frame = plugin::frameEvent();
    frame.add_handler(frame.pre_handlers, limit_heading);
  }
};

[[maybe_unused]] KestrelviewModFix plugin;

}  // namespace
}  // namespace viewfix
