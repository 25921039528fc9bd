// Loading "aimingSets.dat" from the plug-in's folder into the host and into
// aimcam's own tables.
#pragma once

#include <array>
#include <cstdint>

namespace aimcam {

inline constexpr char kSettingsFileName[] = "aimingSets.dat";

// Non-zero: read the settings file again in every frame. From line 1.
extern std::int32_t live_reload;
// The camera table's 4 rows of 7 floats, in file order; copied into the
// host's aim table after each load of its rows.
extern std::array<std::array<float, 7>, 4> camera_rows;

// The plug-in folder followed by "aimingSets.dat", rebuilt in one static
// buffer on every call; empty when the two together do not fit in 260
// characters (no shortened, different path is ever used).
const char* aim_settings_path();

// Reads the file line by line, storing each value as its line is scanned.
// What a line does not yield (and every line of a file that cannot be
// opened) keeps its previous value.
void load_aim_settings();

}  // namespace aimcam
