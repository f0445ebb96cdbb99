/* The updaters that updpack carries (carried_updaters.h), included byte for
   byte. UPDPACK_WIN32_UPDATER and UPDPACK_WIN64_UPDATER name the files. */
  .section .rodata
  .balign 16
  .globl updpack_win32_updater_start
  .globl updpack_win32_updater_end
updpack_win32_updater_start:
  .incbin UPDPACK_WIN32_UPDATER
updpack_win32_updater_end:
  .balign 16
  .globl updpack_win64_updater_start
  .globl updpack_win64_updater_end
updpack_win64_updater_start:
  .incbin UPDPACK_WIN64_UPDATER
updpack_win64_updater_end:
  .section .note.GNU-stack,"",@progbits
