// The aim camera plug-in: loading the DLL is all it takes. The one static
// object below does the whole start-up when the loader runs the DLL's static
// initialisers (on a game build aimcam does not know it stays off); the
// kit's exit routines take the hooks down when it unloads.
#include "aimcam/startup.hpp"
#include "shared/kit_context.hpp"

const char* const hostkit::kit_default_plugin_name = "Unknown Plugin Name";

namespace aimcam {
namespace {

class AimcamPlugin {
 public:
  AimcamPlugin() { start_aimcam(); }
  AimcamPlugin(const AimcamPlugin&) = delete;
  AimcamPlugin& operator=(const AimcamPlugin&) = delete;
};

AimcamPlugin plugin;

}  // namespace
}  // namespace aimcam
