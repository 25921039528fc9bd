// The first-person fix plug-in. Its start-up object is constructed when the
// loader runs the DLL's static initialisers.
#include "shared/kit_context.hpp"

const char* const hostkit::kit_default_plugin_name = "Hostkit Plugin";

namespace viewfix {
namespace {

class KestrelviewModFix {
 public:
  KestrelviewModFix() = default;
};

[[maybe_unused]] KestrelviewModFix plugin;

}  // namespace
}  // namespace viewfix
