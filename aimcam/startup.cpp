#include "aimcam/startup.hpp"

#include "aimcam/aim_redirect.hpp"
#include "aimcam/aim_settings.hpp"
#include "aimcam/frame_controls.hpp"
#include "injector/os.hpp"
#include "shared/game_version.hpp"
#include "shared/host_events.hpp"

namespace aimcam {

bool start_aimcam() {
  // Every address aimcam patches belongs to these two builds; on any other
  // build they may hold other code or data, and writing there would crash
  // the game at some later moment with nothing to point at aimcam.
  if (!hostkit::supported_version(hostkit::GameVersion())) {
    injector::os::api().message_box(nullptr, kUnsupportedBuildText, kUnsupportedBuildCaption,
                                    injector::os::kMessageBoxOk |
                                        injector::os::kMessageBoxIconWarning);
    return false;
  }
  install_aim_redirect();
  load_aim_settings();
  plugin::frameTickHook().add_post_handler(on_frame_tick);
  return true;
}

}  // namespace aimcam
