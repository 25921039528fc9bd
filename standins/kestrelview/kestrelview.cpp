// The stand-in outside module "Kestrelview.sp": the exports let tests run its
// code paths and do what the real module does to the host.
#include <windows.h>

#include <cstdint>

#include "standins/host/game_layout.hpp"

extern "C" {
// In kestrelview_image.S.
std::uint32_t kv_linked_value_path(const void* record);
void kv_count_path();
extern std::uint32_t kv_own_cell;
extern std::uint32_t kv_arrived;

// Runs the linked-value path with `record` in EDX; ECX as it arrived where
// the module goes on with it.
__declspec(dllexport) std::uint32_t kestrelview_linked_value(const void* record) {
  return kv_linked_value_path(record);
}

// Runs the path that adds one to the cell its reference names.
__declspec(dllexport) void kestrelview_count() { kv_count_path(); }

// The module's own cell, which that path counts in until it is redirected.
__declspec(dllexport) std::uint32_t kestrelview_own_count() { return kv_own_cell; }

// Switches the host's guarded code off as the real module does: four NOPs
// written at its absolute address.
__declspec(dllexport) void kestrelview_silence_guard() {
  void* guard = reinterpret_cast<void*>(game::code::kGuarded);
  const std::uint32_t silenced = game::code::kSilenced;
  DWORD old = 0;
  VirtualProtect(guard, sizeof silenced, PAGE_EXECUTE_READWRITE, &old);
  CopyMemory(guard, &silenced, sizeof silenced);
  VirtualProtect(guard, sizeof silenced, old, &old);
  FlushInstructionCache(GetCurrentProcess(), guard, sizeof silenced);
}
}
