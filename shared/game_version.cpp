#include "shared/game_version.hpp"

#include <array>

#include "injector/memory.hpp"
#include "injector/os.hpp"
#include "shared/host_interface.hpp"
#include "shared/kit_context.hpp"

namespace hostkit {
namespace {

struct Probe {
  std::uintptr_t address;
  std::uint32_t expected;
  std::int32_t version;
};

// In order; the first match decides. The first two read the same dword,
// each reading it afresh.
constexpr std::array<Probe, 7> kProbes = {{
    {host::kProbeCodeStart, 0x53EC8B55, kVersion1001},
    {host::kProbeCodeStart, 0x16197BE9, kVersion1002},
    {host::kProbe8245BC, 0x000094BF, kVersion1011},
    {host::kProbe8252FC, 0x000094BF, kVersion1101},
    {host::kProbe82533C, 0x000094BF, kVersion1111},
    {host::kProbe858D51, 0x3539F633, kVersion3200},
    {host::kProbe858C61, 0x3539F633, kVersion3210},
}};

std::int32_t probe_version() {
  for (const Probe& probe : kProbes) {
    if (read_host_dword(probe.address) == probe.expected) return probe.version;
  }
  return kVersionUnknown;
}

}  // namespace

std::uintptr_t host_module_base() {
  static const auto base =
      reinterpret_cast<std::uintptr_t>(injector::os::api().module_handle(nullptr));
  return base;
}

std::uint32_t read_host_dword(std::uintptr_t address) {
  // An unmapped probe address reads as 0, which matches no probe.
  return injector::read_value<std::uint32_t>(resolve_address(host_address(address)), 0);
}

std::int32_t GameVersion() {
  static const std::int32_t version = probe_version();
  return version;
}

}  // namespace hostkit
