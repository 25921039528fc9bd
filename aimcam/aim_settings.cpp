#include "aimcam/aim_settings.hpp"

#include <cstdio>
#include <cstring>

#include "aimcam/aim_redirect.hpp"
#include "aimcam/settings_format.hpp"
#include "injector/memory.hpp"
#include "injector/os.hpp"
#include "shared/host_interface.hpp"
#include "shared/kit_context.hpp"
#include "shared/plugin_folder.hpp"

namespace aimcam {

std::int32_t live_reload = 0;
std::array<std::array<float, 7>, 4> camera_rows{};

namespace {

char settings_path[hostkit::kFolderBufferSize];
// The part of the file that 31 line reads can reach; static, so a load
// (every frame in live-reload mode) allocates nothing.
char file_bytes[kMaxSettingsBytes];

// Host data is written plainly, without a protection change; the write is
// skipped if the address is not mapped in this process.
void write_host_data(std::uintptr_t address, const void* source, std::size_t size) {
  injector::write_raw(address, source, size, false);
}

class HostSink final : public SettingsSink {
 public:
  void on_line(const LineSpec& format, std::string_view, const LineScan& scan) override {
    const int count = scan.converted;
    switch (format.target) {
      case Target::Header:
        break;
      case Target::LiveReload:
        if (count > 0) live_reload = scan.integer;
        break;
      case Target::HostValue:
        if (count > 0) write_host_data(format.host_address, &scan.floats[0], sizeof(float));
        break;
      case Target::CodeConstant:
        // The constant sits inside host code: lift the protection for it.
        if (count > 0) {
          injector::write_value<float>(hostkit::resolve_address(format.host_address),
                                       scan.floats[0]);
        }
        break;
      case Target::CameraRow:
        for (int i = 0; i < count; ++i) camera_rows[format.index][i] = scan.floats[i];
        break;
      case Target::WeaponSlot:
        for (int i = 0; i < count; ++i) weapon_offsets[format.index][i] = scan.floats[i];
        break;
    }
  }

  void on_camera_rows_done() override {
    static_assert(sizeof camera_rows == host::kAimTableFloats * sizeof(float));
    write_host_data(host::kAimTable, camera_rows.data(), sizeof camera_rows);
  }
};

}  // namespace

const char* aim_settings_path() {
  const char* folder = hostkit::plugin_folder();
  const int written = std::snprintf(settings_path, sizeof settings_path, "%s%s", folder,
                                    kSettingsFileName);
  if (written < 0 || static_cast<std::size_t>(written) >= sizeof settings_path) {
    settings_path[0] = '\0';
  }
  return settings_path;
}

void load_aim_settings() {
  const char* path = aim_settings_path();
  std::FILE* file = path[0] != '\0' ? std::fopen(path, "rb") : nullptr;
  if (file == nullptr) {
    injector::os::api().debug_output("aimcam: cannot open the settings file aimingSets.dat\n");
    return;
  }
  const std::size_t size = std::fread(file_bytes, 1, sizeof file_bytes, file);
  std::fclose(file);
  HostSink sink;
  read_settings(std::string_view(file_bytes, size), sink);
}

}  // namespace aimcam
