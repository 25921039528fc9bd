// The aim camera plug-in: loading the DLL is all it takes. The one static
// object below does the whole start-up when the loader runs the DLL's static
// initialisers.
#include "aimcam/aim_redirect.hpp"
#include "shared/kit_context.hpp"

const char* const hostkit::kit_default_plugin_name = "Unknown Plugin Name";

namespace aimcam {
namespace {

class AimcamPlugin {
 public:
  AimcamPlugin() { install_aim_redirect(); }
  AimcamPlugin(const AimcamPlugin&) = delete;
  AimcamPlugin& operator=(const AimcamPlugin&) = delete;
};

AimcamPlugin plugin;

}  // namespace
}  // namespace aimcam
