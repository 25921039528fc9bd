#include "shared/address_table.hpp"

#include <array>

#include "shared/game_version.hpp"
#include "shared/host_interface.hpp"

namespace hostkit {

namespace address_table {
std::uint32_t camera_object = 0;
}  // namespace address_table

namespace {

const std::array<HostAddressEntry, 1> kEntries = {{
    {&address_table::camera_object, host::kCameraObject, host::kCameraObject},
}};

}  // namespace

std::uint32_t entry_address(const HostAddressEntry& entry, std::int32_t version) {
  switch (version) {
    case kVersion1001:
      return entry.address_1001;
    case kVersion1002:
      return entry.address_1002;
    default:
      return 0;
  }
}

void resolve_entry(const HostAddressEntry& entry) {
  *entry.slot = static_cast<std::uint32_t>(host_address(entry_address(entry, GameVersion())));
}

void resolve_host_address_table() {
  for (const HostAddressEntry& entry : kEntries) resolve_entry(entry);
}

}  // namespace hostkit
