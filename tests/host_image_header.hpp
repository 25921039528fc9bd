// Rewrites the stand-in host's in-memory PE header, as a test fixture does
// before the kit first looks at it.
#pragma once

#include <windows.h>

#include <cstdint>

namespace testing_host {

inline std::uint32_t* entry_point_field() {
  auto* base = reinterpret_cast<std::uint8_t*>(GetModuleHandleA(nullptr));
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(
      base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  return reinterpret_cast<std::uint32_t*>(&nt->OptionalHeader.AddressOfEntryPoint);
}

inline void set_entry_point(std::uint32_t rva) {
  std::uint32_t* field = entry_point_field();
  DWORD old = 0;
  VirtualProtect(field, 4, PAGE_READWRITE, &old);
  *field = rva;
  VirtualProtect(field, 4, old, &old);
}

}  // namespace testing_host
