// Looking at loaded modules and planted branches from a test.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>

namespace testing_modules {

// The address range a loaded module's image covers.
struct ModuleRange {
  std::uintptr_t begin;
  std::uintptr_t end;
  bool contains(std::uintptr_t address) const { return address >= begin && address < end; }
};

inline ModuleRange range_of(HMODULE module) {
  const auto base = reinterpret_cast<std::uintptr_t>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  return {base, base + nt->OptionalHeader.SizeOfImage};
}

// Where the relative CALL or JMP at `address` (of this process) leads.
inline std::uintptr_t relative_target(std::uintptr_t address) {
  std::int32_t displacement;
  std::memcpy(&displacement, reinterpret_cast<const void*>(address + 1), 4);
  return static_cast<std::uint32_t>(address + 5 + displacement);
}

// A function a test module exports, as the pointer type the test calls.
template <class Fn>
Fn export_of(HMODULE module, const char* name) {
  // Through void(*)(), the one function pointer type any other converts to
  // without a warning.
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace testing_modules
