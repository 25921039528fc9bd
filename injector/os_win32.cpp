#include "injector/os.hpp"

#include <windows.h>

namespace injector::os {
namespace {

bool protect(std::uintptr_t address, std::size_t size, std::uint32_t protection,
             std::uint32_t* previous) {
  DWORD old = 0;
  const BOOL ok = VirtualProtect(reinterpret_cast<void*>(address), size, protection, &old);
  *previous = old;
  return ok != FALSE;
}

bool permits(DWORD protection, Access access) {
  if (protection & (PAGE_GUARD | PAGE_NOACCESS)) return false;
  const DWORD base = protection & 0xFF;
  const DWORD writable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE |
                         PAGE_EXECUTE_WRITECOPY;
  const DWORD readable = writable | PAGE_READONLY | PAGE_EXECUTE_READ;
  return (base & (access == Access::write ? writable : readable)) != 0;
}

bool accessible(std::uintptr_t address, std::size_t size, Access access) {
  if (size == 0) return true;
  const std::uintptr_t last = address + (size - 1);
  if (last < address) return false;  // the range wraps past the end of memory
  std::uintptr_t at = address;
  for (;;) {
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof info) == 0) return false;
    if (info.State != MEM_COMMIT || !permits(info.Protect, access)) return false;
    const std::uintptr_t region_end =
        reinterpret_cast<std::uintptr_t>(info.BaseAddress) + info.RegionSize;
    if (region_end == 0 || region_end > last) return true;  // region reaches the range's end
    at = region_end;
  }
}

void* module_handle(const char* name) { return GetModuleHandleA(name); }

bool module_from_address(const void* address, bool pin, void** module) {
  HMODULE handle = nullptr;
  const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                      (pin ? GET_MODULE_HANDLE_EX_FLAG_PIN
                           : GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT);
  const BOOL ok = GetModuleHandleExA(flags, static_cast<LPCSTR>(address), &handle);
  *module = handle;
  return ok != FALSE;
}

std::uint32_t module_file_name(void* module, char* buffer, std::uint32_t size) {
  return GetModuleFileNameA(static_cast<HMODULE>(module), buffer, size);
}

int message_box(void* owner, const char* text, const char* caption, unsigned type) {
  return MessageBoxA(static_cast<HWND>(owner), text, caption, type);
}

std::int16_t key_state(int virtual_key) { return GetKeyState(virtual_key); }

void debug_output(const char* text) { OutputDebugStringA(text); }

constexpr Api kSystem{protect,      accessible,  module_handle, module_from_address,
                      module_file_name, message_box, key_state,   debug_output};
Api current = kSystem;

}  // namespace

Api& api() { return current; }
const Api& system_api() { return kSystem; }

}  // namespace injector::os
