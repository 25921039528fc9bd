// The one place where the kit meets the operating system. Every Windows call
// the kit and the plug-ins make goes through this table, so that tests can
// count the calls and make them fail.
#pragma once

#include <cstddef>
#include <cstdint>

namespace injector::os {

inline constexpr std::uint32_t kExecuteReadWrite = 0x40;  // PAGE_EXECUTE_READWRITE
inline constexpr unsigned kMessageBoxOk = 0;              // MB_OK
inline constexpr unsigned kMessageBoxIconWarning = 0x30;  // MB_ICONWARNING

enum class Access { read, write };

struct Api {
  // VirtualProtect: true on success; `previous` receives the old protection.
  bool (*protect)(std::uintptr_t address, std::size_t size, std::uint32_t protection,
                  std::uint32_t* previous);
  // Whether every byte of the range is committed memory that may be read (or
  // written) under its current protection, without faulting.
  bool (*accessible)(std::uintptr_t address, std::size_t size, Access access);
  // GetModuleHandleA: null name for the process image; null when not loaded.
  void* (*module_handle)(const char* name);
  // GetModuleHandleExA with FROM_ADDRESS: the module that holds `address`.
  // `pin` keeps the module loaded until the process ends; otherwise its
  // reference count is left unchanged. False when no module holds it.
  bool (*module_from_address)(const void* address, bool pin, void** module);
  // GetModuleFileNameA.
  std::uint32_t (*module_file_name)(void* module, char* buffer, std::uint32_t size);
  // MessageBoxA.
  int (*message_box)(void* owner, const char* text, const char* caption, unsigned type);
  // GetKeyState: bit 15 set while the key is down, as the calling thread has
  // seen its input so far.
  std::int16_t (*key_state)(int virtual_key);
  // OutputDebugStringA: a note for a debugger, invisible to the player.
  void (*debug_output)(const char* text);
};

// The table in use; tests replace entries and put them back.
Api& api();
// The real Windows calls.
const Api& system_api();

}  // namespace injector::os
