// aimcam's per-frame work: the X and Z keys, and the live reload.
#pragma once

namespace aimcam {

inline constexpr int kMirrorKey = 0x58;  // X
inline constexpr int kPlainKey = 0x5A;   // Z

// Runs after the host's per-frame routine returns: Z (which wins when both
// are held) clears the mirror, X sets it, neither leaves it latched; then,
// in live-reload mode, the settings file is read again.
void on_frame_tick();

}  // namespace aimcam
