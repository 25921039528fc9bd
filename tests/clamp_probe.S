# Runs clamp_thunk with every register set from a table and lands, at the
# address clamp_thunk goes on to, in code that saves every register as it
# arrived before returning to the test.
#
#   struct ProbeRegisters { uint32_t eax, ebx, ecx, edx, esi, edi, ebp, esp; };
#   void clamp_probe_run(const ProbeRegisters* in);
#   void clamp_probe_landing_a(), clamp_probe_landing_b();  // resume addresses
#   ProbeRegisters clamp_probe_landed;    // the registers as they arrived
#   uint32_t clamp_probe_which;           // 1 or 2: the landing reached
    .intel_syntax noprefix

    .text
    .globl _clamp_probe_run
_clamp_probe_run:
    push ebp
    push ebx
    push esi
    push edi
    mov [probe_saved_esp], esp
    mov eax, [esp + 20]
    mov ebx, [eax + 4]
    mov ecx, [eax + 8]
    mov edx, [eax + 12]
    mov esi, [eax + 16]
    mov edi, [eax + 20]
    mov ebp, [eax + 24]
    mov esp, [eax + 28]
    mov eax, [eax + 0]
    jmp _viewfix_clamp_thunk

    .globl _clamp_probe_landing_a
_clamp_probe_landing_a:
    mov dword ptr [_clamp_probe_which], 1
    jmp landed
    .globl _clamp_probe_landing_b
_clamp_probe_landing_b:
    mov dword ptr [_clamp_probe_which], 2
landed:
    mov [_clamp_probe_landed + 0], eax
    mov [_clamp_probe_landed + 4], ebx
    mov [_clamp_probe_landed + 8], ecx
    mov [_clamp_probe_landed + 12], edx
    mov [_clamp_probe_landed + 16], esi
    mov [_clamp_probe_landed + 20], edi
    mov [_clamp_probe_landed + 24], ebp
    mov [_clamp_probe_landed + 28], esp
    mov esp, [probe_saved_esp]
    pop edi
    pop esi
    pop ebx
    pop ebp
    ret

    .data
    .p2align 2
probe_saved_esp:
    .long 0
    .globl _clamp_probe_which
_clamp_probe_which:
    .long 0
    .globl _clamp_probe_landed
_clamp_probe_landed:
    .space 32
