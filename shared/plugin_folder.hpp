// The folder the plug-in's own DLL was loaded from, where it keeps its data
// files.
#pragma once

#include <cstddef>

namespace hostkit {

inline constexpr std::size_t kFolderBufferSize = 260;

// The folder, ending in a backslash, determined on the first call (which a
// concurrent first caller waits for) and the same buffer afterwards. When the
// plug-in's module cannot be found the user is told once in a message box
// and the host executable's folder is used.
const char* plugin_folder();

}  // namespace hostkit
