// The aim camera plug-in: loading the DLL is all it takes. The one static
// object below does the whole start-up when the loader runs the DLL's static
// initialisers; the kit's exit routines take the hooks down when it unloads.
#include "aimcam/aim_redirect.hpp"
#include "aimcam/aim_settings.hpp"
#include "aimcam/frame_controls.hpp"
#include "shared/host_events.hpp"
#include "shared/kit_context.hpp"

const char* const hostkit::kit_default_plugin_name = "Unknown Plugin Name";

namespace aimcam {
namespace {

class AimcamPlugin {
 public:
  AimcamPlugin() {
    install_aim_redirect();
    load_aim_settings();
    plugin::frameTickHook().add_post_handler(on_frame_tick);
  }
  AimcamPlugin(const AimcamPlugin&) = delete;
  AimcamPlugin& operator=(const AimcamPlugin&) = delete;
};

AimcamPlugin plugin;

}  // namespace
}  // namespace aimcam
