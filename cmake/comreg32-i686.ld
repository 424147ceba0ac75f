/* Section layout of the shipped 32-bit exe. Code, constants, the import table and
   the resources share one read-only section, and zero-filled variables take no room
   in the file: each section costs at least one 512-byte file block, and with three
   sections the headers fit in one block too. Writable data stays out of the
   executable section. The linker fills the import and resource directories only for
   sections named .idata and .rsrc, so the build writes them into the header from the
   symbols that mark them here. */
SECTIONS
{
  . = SIZEOF_HEADERS;
  . = ALIGN(__section_alignment__);
  .text __image_base__ + __section_alignment__ :
  {
    /* Calls go through the import address table, so the import libraries' jump
       stubs are left out. */
    EXCLUDE_FILE (*.a:*) *(.text)
    *(SORT(.text$*)) *(.text.*)
    *(.rdata) *(SORT(.rdata$*)) *(.rodata) *(.rodata.*)
    /* The import table: descriptors, their terminator, name and address tables. */
    . = ALIGN(4);
    __comreg32_imports_start = .;
    KEEP (SORT(*)(.idata$2))
    KEEP (SORT(*)(.idata$3))
    LONG (0); LONG (0); LONG (0); LONG (0); LONG (0);
    __comreg32_imports_end = .;
    KEEP (SORT(*)(.idata$4))
    __IAT_start__ = .;
    KEEP (SORT(*)(.idata$5))
    __IAT_end__ = .;
    KEEP (SORT(*)(.idata$6))
    KEEP (SORT(*)(.idata$7))
    /* The resources (manifest, version information), likewise read-only. */
    . = ALIGN(4);
    __comreg32_resources_start = .;
    KEEP (*(.rsrc)) KEEP (*(SORT(.rsrc$*)))
    __comreg32_resources_end = .;
  }
  .data BLOCK(__section_alignment__) :
  {
    *(.data) *(SORT(.data$*)) *(.data.*)
  }
  /* Not NOLOAD: with it, ld gives the section a raw size with no file data behind it
     and marks it discardable; without, it has no file data and says so. */
  .bss BLOCK(__section_alignment__) :
  {
    *(.bss) *(SORT(.bss$*)) *(.bss.*) *(COMMON)
  }
  .reloc BLOCK(__section_alignment__) :
  {
    *(.reloc)
  }
  /DISCARD/ :
  {
    *.a:*(.text)
    *(.debug$S) *(.debug$T) *(.debug$F) *(.drectve) *(.note.GNU-stack) *(.eh_frame*) *(.comment)
  }
}
