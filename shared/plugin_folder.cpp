#include "shared/plugin_folder.hpp"

#include <cstdio>
#include <cstring>

#include "injector/os.hpp"

namespace hostkit {
namespace {

char folder[kFolderBufferSize];

void determine_folder() {
  folder[0] = '\0';
  void* module = nullptr;
  // The module holding this very function is the plug-in's own DLL; its
  // reference count stays as it is, so nothing has to be released.
  if (!injector::os::api().module_from_address(reinterpret_cast<const void*>(&determine_folder),
                                               false, &module)) {
    char message[512];
    std::snprintf(message, sizeof message, "%s", "FILESYSTEM\nFailed to retrieve plugin dir path");
    injector::os::api().message_box(nullptr, message, "hostkit", injector::os::kMessageBoxOk);
    module = nullptr;  // the host executable's path instead
  }
  injector::os::api().module_file_name(module, folder, kFolderBufferSize);
  folder[kFolderBufferSize - 1] = '\0';
  if (char* last = std::strrchr(folder, '\\')) last[1] = '\0';
}

}  // namespace

const char* plugin_folder() {
  static const bool determined = (determine_folder(), true);
  (void)determined;
  return folder;
}

}  // namespace hostkit
