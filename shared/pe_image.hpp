// What a loaded module's PE header says about its image, read so that a
// header that is not there (or not readable) never faults.
#pragma once

#include <cstdint>
#include <optional>

namespace hostkit {

// The size of the module's image as mapped (SizeOfImage of its optional
// header), or nothing when no valid PE header can be read at `module_base`.
std::optional<std::uint32_t> mapped_image_size(std::uintptr_t module_base);

}  // namespace hostkit
