// The first-person fix plug-in. Its start-up object is constructed when the
// loader runs the DLL's static initialisers.
#include "shared/address_table.hpp"
#include "shared/kit_context.hpp"

const char* const hostkit::kit_default_plugin_name = "Hostkit Plugin";

namespace viewfix {
namespace {

// The host addresses are resolved before the plug-in object is constructed:
// both are initialised in this translation unit, in this order.
[[maybe_unused]] const bool host_addresses_resolved =
    (hostkit::resolve_host_address_table(), true);

class KestrelviewModFix {
 public:
  KestrelviewModFix() = default;
};

[[maybe_unused]] KestrelviewModFix plugin;

}  // namespace
}  // namespace viewfix
