// Replaces one imported function of a loaded module in its import address
// table, so that a test sees exactly what the module passes to Windows. The
// entry is put back when the patch goes, unless the module has been unloaded
// by then.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>

namespace testing_imports {

class ImportPatch {
 public:
  // `dll` and `function` as the module imports them (the DLL name compared
  // without regard to case); the patch is inactive if no such import exists.
  ImportPatch(HMODULE module, const char* dll, const char* function, const void* replacement)
      : module_(module) {
    slot_ = find_slot(module, dll, function);
    if (slot_ == nullptr) return;
    original_ = *slot_;
    write(reinterpret_cast<std::uintptr_t>(replacement));
  }
  ~ImportPatch() {
    if (slot_ == nullptr) return;
    HMODULE holder = nullptr;
    const bool loaded = GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(slot_), &holder);
    if (loaded && holder == module_) write(original_);
  }
  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;

  bool active() const { return slot_ != nullptr; }
  // The function the module imported, for a replacement to call on.
  template <class Fn>
  Fn original() const {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(original_));
  }

 private:
  static std::uintptr_t* find_slot(HMODULE module, const char* dll, const char* function) {
    const auto base = reinterpret_cast<std::uintptr_t>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const auto& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return nullptr;
    for (auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         import->Name != 0; ++import) {
      if (lstrcmpiA(reinterpret_cast<const char*>(base + import->Name), dll) != 0) continue;
      const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA32*>(
          base + (import->OriginalFirstThunk != 0 ? import->OriginalFirstThunk : import->FirstThunk));
      auto* slots = reinterpret_cast<std::uintptr_t*>(base + import->FirstThunk);
      for (; names->u1.AddressOfData != 0; ++names, ++slots) {
        if (IMAGE_SNAP_BY_ORDINAL32(names->u1.Ordinal)) continue;
        const auto* by_name =
            reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
        if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), function) == 0) return slots;
      }
    }
    return nullptr;
  }

  void write(std::uintptr_t value) {
    DWORD old = 0;
    VirtualProtect(slot_, sizeof value, PAGE_READWRITE, &old);
    *slot_ = value;
    VirtualProtect(slot_, sizeof value, old, &old);
  }

  HMODULE module_;
  std::uintptr_t* slot_ = nullptr;
  std::uintptr_t original_ = 0;
};

}  // namespace testing_imports
