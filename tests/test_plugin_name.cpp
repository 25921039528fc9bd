// Test programs that link the kit carry a name of their own, as a plug-in does.
#include "shared/kit_context.hpp"

const char* const hostkit::kit_default_plugin_name = "Kit Test Program";
