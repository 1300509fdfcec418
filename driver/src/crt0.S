/* Entry at the header's pc0: own stack, zeroed bss, then main. */
    .section .entry, "ax", @progbits
    .set noreorder
    .globl _start
    .type _start, @function
_start:
    lui     $sp, 0x801F
    ori     $sp, $sp, 0xFF00
    la      $t0, __bss_start
    la      $t1, __bss_end
1:  sltu    $t2, $t0, $t1
    beq     $t2, $zero, 2f
    nop
    sw      $zero, 0($t0)
    b       1b
    addiu   $t0, $t0, 4
2:  jal     main
    nop
3:  b       3b
    nop
    .size _start, . - _start
