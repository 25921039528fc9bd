// A module named "Kestrelview.sp" whose image ends before the places viewfix
// repairs in the camera module it knows: another build of that module, or
// another file of the same name. Built without the C runtime, so that its
// whole image is a few pages; it does nothing when loaded.
extern "C" {

// Bytes a test can watch (nothing may write into this module), kept in the
// code section so that the image has no data section of its own.
__attribute__((used, section(".text"))) const unsigned char short_module_marker[16] = {
    'K', 'e', 's', 't', 'r', 'e', 'l', 'v', 'i', 'e', 'w', ' ', 's', 'h', 'o', 'r'};

__attribute__((stdcall)) int short_module_entry(void*, unsigned long, void*) { return 1; }
}
