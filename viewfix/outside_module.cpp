#include "viewfix/outside_module.hpp"

#include "injector/memory.hpp"
#include "injector/os.hpp"
#include "shared/host_interface.hpp"
#include "shared/kit_context.hpp"
#include "shared/pe_image.hpp"

namespace viewfix {

void* outside_module = nullptr;
std::uint32_t saved_guard_bytes = 0;
alignas(4) std::uint32_t redirect_cell = 0;

extern "C" {
std::uintptr_t viewfix_resume_address = 0;
}

namespace {

// Whether the module's image, as mapped, holds every place the repair
// touches, up to where the clamped path goes on. A module of the same name
// that ends sooner is another build (or another file altogether): the repair
// would write past its end.
bool holds_the_repaired_code(void* module) {
  const auto size = hostkit::mapped_image_size(reinterpret_cast<std::uintptr_t>(module));
  return size && *size > host::kestrelview::kLinkedValueUse;
}

}  // namespace

void repair_outside_module() {
  void* module = injector::os::api().module_handle(host::kestrelview::kModuleName);
  if (module != nullptr && !holds_the_repaired_code(module)) module = nullptr;
  outside_module = module;
  if (outside_module == nullptr) return;
  const auto base = reinterpret_cast<std::uintptr_t>(outside_module);

  // The guarded code is read at its absolute address: the outside module
  // writes it there, whatever the host's base.
  saved_guard_bytes =
      injector::read_value<std::uint32_t>(hostkit::resolve_address(host::kGuardedCode));

  injector::write_value<std::uint32_t>(
      hostkit::resolve_address(base + host::kestrelview::kCellReference),
      static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&redirect_cell)));

  // Where the thunk goes on is known before the jump to it exists, so a
  // thread already running the module's code never finds it unset. The
  // store is to a global and is followed by calls the compiler cannot see
  // through, so it is not moved after the patch; x86 keeps stores in order.
  viewfix_resume_address = base + host::kestrelview::kLinkedValueUse;
  injector::plant_jump(hostkit::resolve_address(base + host::kestrelview::kLinkedValueLoad),
                       injector::code_address(&viewfix_clamp_thunk));

  // The module now jumps into viewfix's code: viewfix must never be unloaded
  // before the process ends, so its own module is pinned.
  void* self = nullptr;
  injector::os::api().module_from_address(
      reinterpret_cast<const void*>(&viewfix_clamp_thunk), true, &self);
}

}  // namespace viewfix
