// Host addresses that differ between the host builds: each entry knows the
// address for every build that has it and, once resolved, holds in its slot
// where that address lies in this process. The slots are plain 32-bit values
// read directly by the plug-ins afterwards.
#pragma once

#include <cstdint>

namespace hostkit {

struct HostAddressEntry {
  std::uint32_t* slot;
  // For image base 0x400000; 0 where the build has no such address.
  std::uint32_t address_1001;
  std::uint32_t address_1002;
};

// The entry's address for the GameVersion code `version` (0 for any build the
// entry does not list).
std::uint32_t entry_address(const HostAddressEntry& entry, std::int32_t version);

// Stores host_address() of the entry's address for the running build in its
// slot; for a build without that address the slot gets host_address(0). The
// first use of GameVersion probes the host's code, later ones reuse its code.
void resolve_entry(const HostAddressEntry& entry);

// The slots of the table.
namespace address_table {
extern std::uint32_t camera_object;  // the camera object (heading float at +0x150)
}  // namespace address_table

// Resolves every entry of the table; a plug-in calls this once at start-up,
// before anything reads a slot.
void resolve_host_address_table();

}  // namespace hostkit
