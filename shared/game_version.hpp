// Where the host executable is mapped, and which build it is by its code
// bytes. Addresses are given for the executable's image base 0x400000 and
// rebased onto the base where it really is.
#pragma once

#include <cstdint>

namespace hostkit {

// GameVersion codes.
inline constexpr std::int32_t kVersionUnknown = 0;
inline constexpr std::int32_t kVersion1001 = 1001;
inline constexpr std::int32_t kVersion1002 = 1002;
inline constexpr std::int32_t kVersion1011 = 1011;
inline constexpr std::int32_t kVersion1101 = 1101;
inline constexpr std::int32_t kVersion1111 = 1111;
inline constexpr std::int32_t kVersion3200 = 3200;
inline constexpr std::int32_t kVersion3210 = 3210;

// The base address of the process image, looked up once.
std::uintptr_t host_module_base();

// A host address for image base 0x400000, rebased onto the real base (32-bit
// arithmetic: host_address(0) is base - 0x400000).
inline std::uintptr_t host_address(std::uintptr_t address) {
  return static_cast<std::uint32_t>(host_module_base() + address - 0x400000u);
}

// The 32-bit value at a rebased host address, read with the protection
// lifted; 0 where nothing is mapped.
std::uint32_t read_host_dword(std::uintptr_t address);

// The running host build by its code bytes: probed on the first call
// (thread-safe), cached afterwards; 0 when no probe matches.
std::int32_t GameVersion();

// Whether the kit binds its version-dependent features to this build.
inline bool supported_version(std::int32_t version) {
  return version == kVersion1001 || version == kVersion1002;
}

}  // namespace hostkit
