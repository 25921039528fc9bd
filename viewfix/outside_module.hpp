// Repairs the outside module "Kestrelview.sp" that another mod loads into the
// game: its reference to a cell of its own is turned to a cell of ours, and
// the path that takes a 16-bit value from a linked record is made to limit
// that value (clamp_thunk), then carry on in the module.
#pragma once

#include <cstdint>

namespace viewfix {

// The outside module's handle (its base), or null when it is not loaded; set
// by every repair.
extern void* outside_module;
// The host's guarded code as it stood at the last repair.
extern std::uint32_t saved_guard_bytes;
// The cell the outside module's reference leads to once repaired; viewfix
// itself never reads or writes it.
extern std::uint32_t redirect_cell;

extern "C" {
// Where clamp_thunk goes on in the outside module; read by it on every pass.
extern std::uintptr_t viewfix_resume_address;
// Entered only by the jump planted in the outside module (see clamp_thunk.S):
// not a function to call.
void viewfix_clamp_thunk();
}

// Looks the outside module up (never loads it) and, when it is there and its
// image reaches past every place repaired, captures the guarded code,
// redirects its cell reference, plants the jump to clamp_thunk and keeps
// viewfix loaded for good. A module of that name that is smaller counts as
// absent. Repeats everything on every call.
void repair_outside_module();

}  // namespace viewfix
