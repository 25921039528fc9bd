// An empty DLL, built with the plug-ins' static runtime flags: the baseline
// for what loading and unloading a plug-in DLL costs.
extern "C" void empty_plugin_unused() {}
