# The stand-in outside module's code at the offsets (from its module base)
# where the real module has the code viewfix repairs. The section is linked
# at RVA 0x1000, so `at` takes offsets from the module base.
    .intel_syntax noprefix

    .set SECTION_RVA, 0x1000
    .macro at offset, fill=0xCC
    .org (\offset) - SECTION_RVA, \fill
    .endm

    .section .kvcode,"x"
kv_code_start:

# void kv_count_path(void): adds one to the cell named by the 32-bit
# reference at +0x1FFA (the operand of its INC).
    at 0x1FF8
    .globl _kv_count_path
_kv_count_path:
    inc dword ptr [_kv_own_cell]     # FF 05, then the reference at +0x1FFA
    ret

# uint32_t kv_linked_value_path(const void* record): the module's path with
# the record in EDX. At +0x47EC it loads the linked record's 16-bit value
# into ECX (10 bytes); at +0x47F6 it goes on with ECX, which it keeps as
# what arrived and returns.
    at 0x47E0
    .globl _kv_linked_value_path
_kv_linked_value_path:
    push edi                         # the module's own use of EDI ends here
    mov edx, [esp + 8]
    at 0x47EC, 0x90
    mov ecx, [edx + 0x58C]
    movzx ecx, word ptr [ecx + 0x22]
    at 0x47F6                        # fails to assemble if the load is longer
kv_value_use:
    mov [_kv_arrived], ecx
    mov eax, ecx
    pop edi
    ret

# The section fills RVA 0x1000 up to 0x6000, where the DLL's .text begins.
    at 0x6000

    .data
    .globl _kv_own_cell
    .p2align 2
_kv_own_cell:
    .long 0
    .globl _kv_arrived
_kv_arrived:
    .long 0
