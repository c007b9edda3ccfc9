// The boot image nuv-bootgen wrote, in the program's read-only data: a word (0: the image is
// stored as written, not packed), then the document. The build names the file in
// NUV_BOOT_IMAGE_FILE; memory-init finds it by the two symbols.
__asm__(".section .rodata\n"
        ".balign 16\n"
        ".global nuv_boot_image\n"
        "nuv_boot_image:\n"
        ".long 0\n"
        ".incbin \"" NUV_BOOT_IMAGE_FILE "\"\n"
        ".global nuv_boot_image_end\n"
        "nuv_boot_image_end:\n"
        ".previous\n");
