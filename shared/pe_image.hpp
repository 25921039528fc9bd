// What a loaded module's PE headers say about its image, read so that a
// header that is not there (or not readable) never faults.
#pragma once

#include <cstdint>
#include <optional>

namespace hostkit {

// Where the image starts running (AddressOfEntryPoint, relative to the image
// base), or nothing when no valid PE header can be read at `module_base`.
std::optional<std::uint32_t> entry_point_offset(std::uintptr_t module_base);

// The size of the module's image as mapped (SizeOfImage of its optional
// header), or nothing when no valid PE header can be read at `module_base`.
std::optional<std::uint32_t> mapped_image_size(std::uintptr_t module_base);

}  // namespace hostkit
