# The code the outside module's jump at its linked-value load leads to. It does
# what the replaced instructions did - ECX = the 16-bit value of the record
# linked from the record in EDX - and limits that value, then goes on in the
# module at viewfix_resume_address, through EDI (free at that point in the
# module's code). Nothing else changes: no stack use, no other register, no
# memory; only the flags, from the comparison.
    .intel_syntax noprefix
#include "shared/host_interface.hpp"

    .set VALUE_LIMIT, 611            # the largest value the module can handle

    .text
    .globl _viewfix_clamp_thunk
    .p2align 4
_viewfix_clamp_thunk:
    mov ecx, [edx + HOST_CHARACTER_LINKED_RECORD]
    movzx ecx, word ptr [ecx + HOST_LINKED_VALUE]
    cmp ecx, VALUE_LIMIT
    jbe 1f
    mov ecx, VALUE_LIMIT
1:
    mov edi, dword ptr [_viewfix_resume_address]
    jmp edi
