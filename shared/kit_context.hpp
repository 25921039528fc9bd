// The kit's context of one plug-in module: its name and the host build it
// runs in. Created on first use; every kit memory operation and hook
// installation takes its address through resolve_address, which creates it.
#pragma once

#include <cstdint>

#include "shared/build_table.hpp"

namespace hostkit {

struct KitContext {
  const char* plugin_name;
  HostVersionInfo version;
};

// Each plug-in (and each test program) that links the kit defines its
// default name.
extern const char* const kit_default_plugin_name;

// The one context of this module, created on the first call (thread-safe: a
// concurrent first caller waits for it).
const KitContext& kit_context();

// Fills `version` from the entry point of the process image; false, with the
// record all zero, for an unknown entry point.
bool detect_host_build(HostVersionInfo& version);

// Makes sure the context exists, then returns the address unchanged.
inline std::uintptr_t resolve_address(std::uintptr_t address) {
  kit_context();
  return address;
}

}  // namespace hostkit
