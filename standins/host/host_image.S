# The stand-in host's image: real code at the host game's fixed addresses
# (stated for image base 0x400000; the section is linked at base + 0x1000).
# Host routines are 5-byte jumps to C++ stand-ins with the host's calling
# conventions; call sites are real CALL instructions inside small caller
# routines, so a test runs exactly the instructions the game runs.
    .intel_syntax noprefix

    .set BASE, 0x401000
    .macro at address, fill=0xCC
    .org (\address) - BASE, \fill
    .endm

    .section .hostcode,"x"
host_image_start:

# Version probe: the first code bytes of a build the kit supports.
    .byte 0x55, 0x8B, 0xEC, 0x53

    at 0x406A20
    .byte 0x00                       # the patch mark byte

    at 0x43E0C0                      # host_character_set_heading
    jmp _standin_character_set_heading
    at 0x441DB0                      # host_character_heading
    jmp _standin_character_heading
    at 0x446F90                      # host_character_refresh
    jmp _standin_character_refresh

    at 0x521500                      # host_aim_camera_update
    jmp _standin_aim_camera_update

    at 0x521630                      # mov dword ptr [eax], <host aim code constant>
    .byte 0xC7, 0x00
    .float 10.0

# uint32_t host_aim_caller(void* camera, float* point, float a, float b, float c)
    at 0x527A80
    .globl _host_aim_caller
_host_aim_caller:
    push ebp
    mov ebp, esp
    push dword ptr [ebp + 24]
    push dword ptr [ebp + 20]
    push dword ptr [ebp + 16]
    push dword ptr [ebp + 12]
    mov ecx, [ebp + 8]
    at 0x527A95, 0x90                # the aim call site
    call 0x521500 - BASE + host_image_start
    pop ebp
    ret

    at 0x52C977                      # the guarded code
    .globl _host_guarded_code
_host_guarded_code:
    .byte 0x8B, 0x4E, 0x10, 0x51

    at 0x5334F0                      # host_character_offset_point
    jmp _standin_character_offset_point

# uintptr_t host_frame_event(void): runs the frameEvent call site once.
    at 0x53C060
    .globl _host_frame_event
_host_frame_event:
    push ebp
    mov ebp, esp
    at 0x53C077, 0x90
    call frame_event_callee
    pop ebp
    ret
    at 0x53C100
frame_event_callee:
    jmp _standin_frame_event_callee

# uintptr_t host_frame_tick(void): runs the frameTickHook call site once.
    at 0x53E970
    .globl _host_frame_tick
_host_frame_tick:
    push ebp
    mov ebp, esp
    at 0x53E981, 0x90
    call frame_tick_callee
    pop ebp
    ret
    at 0x53EA00
frame_tick_callee:
    jmp _standin_frame_tick_callee

    at 0x56E210                      # host_find_player
    jmp _standin_find_player

# uintptr_t host_init_event(void): runs the initEvent call site once.
    at 0x5BF390
    .globl _host_init_event
_host_init_event:
    push ebp
    mov ebp, esp
    at 0x5BF3A1, 0x90
    call init_event_callee
    pop ebp
    ret
    at 0x5BF400
init_event_callee:
    jmp _standin_init_event_callee

    at 0x5E3960                      # host_character_condition
    jmp _standin_character_condition

    at 0x600000
    .globl _host_image_code_end
_host_image_code_end:

# Host data: writable, zero at start, up to 0xC00000.
    .section .hostdata,"bw"
    .globl _host_image_data
_host_image_data:
    .space 0x600000
