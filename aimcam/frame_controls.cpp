#include "aimcam/frame_controls.hpp"

#include "aimcam/aim_redirect.hpp"
#include "aimcam/aim_settings.hpp"
#include "injector/os.hpp"

namespace aimcam {
namespace {

// GetKeyState's bit 15: the key is down as of the input this thread has seen.
bool key_down(int virtual_key) {
  return (static_cast<std::uint16_t>(injector::os::api().key_state(virtual_key)) & 0x8000u) != 0;
}

}  // namespace

void on_frame_tick() {
  if (key_down(kPlainKey)) {
    mirrored = 0;
  } else if (key_down(kMirrorKey)) {
    mirrored = 1;
  }
  if (live_reload != 0) load_aim_settings();
}

}  // namespace aimcam
