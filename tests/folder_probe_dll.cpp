// A test plug-in that links the kit and tells where it thinks its folder is.
#include "shared/kit_context.hpp"
#include "shared/plugin_folder.hpp"

const char* const hostkit::kit_default_plugin_name = "Folder Probe";

extern "C" __declspec(dllexport) const char* probe_plugin_folder() {
  return hostkit::plugin_folder();
}
