#include "shared/kit_context.hpp"

#include "injector/memory.hpp"
#include "injector/os.hpp"
#include "shared/host_interface.hpp"
#include "shared/pe_image.hpp"

namespace hostkit {
namespace {

KitContext create_context() {
  KitContext context{kit_default_plugin_name, {}};
  detect_host_build(context.version);
  return context;
}

}  // namespace

const KitContext& kit_context() {
  static const KitContext context = create_context();
  return context;
}

bool detect_host_build(HostVersionInfo& version) {
  version = {};
  const auto base = reinterpret_cast<std::uintptr_t>(injector::os::api().module_handle(nullptr));
  const auto entry_point = entry_point_offset(base);
  if (!entry_point) return false;

  // The key is the entry point as an address for image base 0x400000,
  // wherever the executable is really mapped.
  const auto build = known_build(*entry_point + static_cast<std::uint32_t>(host::kImageBase));
  if (!build) return false;
  version = build->info;
  if (build->tests_patch_mark) {
    // Absolute, and not through resolve_address: this runs while the
    // context is being created.
    const auto opcode = injector::read_value<std::uint8_t>(host::kPatchMarkByte);
    version.patch_mark = opcode == kPatchMarkOpcode ? kPatchMark : 0;
  }
  return true;
}

}  // namespace hostkit
