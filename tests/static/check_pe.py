#!/usr/bin/python3
"""Static checks of a built comreg32.exe, read with pefile (an independent reader of
the PE format: the build's own post-link step writes the import and resource
directories and the checksum, so its reading of the format must not be the only one):

  check_pe.py EXE ARCH VERSION [--string KEY=VALUE]... [--signed-copy-of UNSIGNED]

Checks the machine, the subsystem, the security flags, the exact imports, that every
data directory lies inside a section, the header checksum, pefile's warnings, the
manifest (parsed as XML) and the version resource, whose string table must hold
exactly FileVersion and ProductVersion (VERSION) and the --string pairs. With
--signed-copy-of, EXE is an Authenticode-signed copy of UNSIGNED: it must be that
file with only the checksum and the security directory changed, followed by the
certificate table at the end of the file, outside every section. Prints the size."""
import argparse
import os
import sys
import xml.etree.ElementTree as ElementTree

import pefile

k_expectedImports = {
    "i686": {
        "KERNEL32.dll": {"AddVectoredExceptionHandler", "ExitProcess", "GetCommandLineA", "GetCurrentThreadId",
                         "GetModuleFileNameA", "GetModuleHandleA",
                         "GetProcAddress", "HeapAlloc", "HeapCreate", "HeapDestroy", "HeapFree",
                         "HeapReAlloc", "LoadLibraryA", "RaiseException", "RtlUnwind", "SetDllDirectoryA",
                         "UnhandledExceptionFilter"},
        "USER32.dll": {"CharNextA", "FindWindowA", "GetProcessWindowStation", "GetUserObjectInformationA",
                       "MessageBoxA"},
    },
}
k_expectedImports["x86_64"] = {
    "KERNEL32.dll": (k_expectedImports["i686"]["KERNEL32.dll"] - {"RtlUnwind"}) | {"RtlUnwindEx"},
    "USER32.dll": k_expectedImports["i686"]["USER32.dll"],
}
# pefile guesses at truncation when over half of a file is zero bytes; a small exe
# whose sections are padded to 512-byte blocks (the x64 twin, at 9.5 KB) is just that.
k_zeroShareWarning = "Byte 0x00 makes up"


def structural_warnings(pe):
    return [warning for warning in pe.get_warnings() if not warning.startswith(k_zeroShareWarning)]


k_expectedMachine = {"i686": (0x14C, 0x10B), "x86_64": (0x8664, 0x20B)}  # machine, optional header magic
# The data directories each build has: imports, resources, base relocations and the
# import address table; x64 also its exception (unwind) table. A signed copy adds the
# security directory.
k_import, k_resource, k_exception, k_security, k_relocation, k_iat = 1, 2, 3, 4, 5, 12
k_expectedDirectories = {"i686": {k_import, k_resource, k_relocation, k_iat},
                         "x86_64": {k_import, k_resource, k_exception, k_relocation, k_iat}}
k_supportedOsIds = {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                    "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                    "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}
k_manifestType, k_versionType = 24, 16
k_shippedSizeLimit = 6 * 1024  # resources included, signature not
k_guiSubsystem = 2
k_dynamicBase, k_nxCompat, k_noSeh = 0x40, 0x100, 0x400
k_fixedFileInfoSignature, k_appFileType, k_ntWindows32 = 0xFEEF04BD, 1, 0x40004
k_stringTable, k_translation = b"040904B0", "0x0409 0x04b0"  # US English, UTF-16
k_certificateRevision, k_pkcsSignedData = 0x0200, 2


def read_imports(pe):
    """{DLL name: set of function names}; an import by ordinal shows as "#N"."""
    return {entry.dll.decode(): {item.name.decode() if item.name else "#%d" % item.ordinal
                                 for item in entry.imports}
            for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}


def directories_outside_sections(pe):
    """The names of the data directories (other than the security directory, which
    holds a file offset) that do not lie wholly inside the file data of one section."""
    outside = []
    for index, directory in enumerate(pe.OPTIONAL_HEADER.DATA_DIRECTORY):
        if index == k_security or directory.Size == 0:
            continue
        start, end = directory.VirtualAddress, directory.VirtualAddress + directory.Size
        if not any(section.PointerToRawData and section.VirtualAddress <= start and
                   end <= section.VirtualAddress + min(section.Misc_VirtualSize, section.SizeOfRawData)
                   for section in pe.sections):
            outside.append(directory.name)
    return outside


def resources(pe):
    """{(type, id): data} of the first language of every resource."""
    found = {}
    root = pe.DIRECTORY_ENTRY_RESOURCE.entries if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []
    for resource_type in root:
        for resource in resource_type.directory.entries:
            data = resource.directory.entries[0].data.struct
            found[(resource_type.id, resource.id)] = pe.get_data(data.OffsetToData, data.Size)
    return found


def manifest_facts(data):
    """(requested execution levels, supportedOS ids) of a manifest, or None when it is
    not well-formed XML."""
    try:
        root = ElementTree.fromstring(data)
    except ElementTree.ParseError:
        return None
    local = lambda element: element.tag.rsplit("}", 1)[-1]  # noqa: E731
    levels = [(element.get("level"), element.get("uiAccess", "false"))
              for element in root.iter() if local(element) == "requestedExecutionLevel"]
    ids = [element.get("Id", "").strip("{}") for element in root.iter() if local(element) == "supportedOS"]
    return levels, ids


def version_facts(pe):
    """(fixed file info, {string table language: {key: value}}, translations)."""
    fixed = pe.VS_FIXEDFILEINFO[0] if getattr(pe, "VS_FIXEDFILEINFO", None) else None
    tables, translations = {}, []
    for info in (pe.FileInfo[0] if getattr(pe, "FileInfo", None) else []):
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                tables[table.LangID] = {key.decode(): value.decode() for key, value in table.entries.items()}
        elif info.Key == b"VarFileInfo":
            translations += [var.entry.get(b"Translation") for var in info.Var]
    return fixed, tables, translations


def signed_copy_checks(pe, image, unsigned_path):
    """Checks of a signed copy against the file it was signed from."""
    security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[k_security]
    offset, size = security.VirtualAddress, security.Size
    original = open(unsigned_path, "rb").read()
    original += b"\0" * (-len(original) % 8)  # the certificate table starts 8-byte aligned
    checksum_field = pe.OPTIONAL_HEADER.get_field_absolute_offset("CheckSum")
    security_field = security.get_field_absolute_offset("VirtualAddress")
    unchanged = bytearray(image[:offset])
    unchanged[checksum_field:checksum_field + 4] = original[checksum_field:checksum_field + 4]
    unchanged[security_field:security_field + 8] = original[security_field:security_field + 8]
    sections_end = max(section.PointerToRawData + section.SizeOfRawData for section in pe.sections)
    length = pe.get_dword_from_offset(offset) if size >= 8 else 0
    return [
        ("the security directory is present", size > 0),
        ("the certificate table ends the file", offset + size == len(image)),
        ("the certificate table lies outside every section", offset >= sections_end),
        ("the certificate table starts 8-byte aligned", offset % 8 == 0),
        ("one WIN_CERTIFICATE of revision 2.0 with PKCS#7 signed data fills it",
         size >= 8 and length <= size and size - length < 8 and
         pe.get_word_from_offset(offset + 4) == k_certificateRevision and
         pe.get_word_from_offset(offset + 6) == k_pkcsSignedData),
        ("before it, the unsigned file with only checksum and security directory changed",
         bytes(unchanged) == original),
    ]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("exe")
    parser.add_argument("arch", choices=sorted(k_expectedImports))
    parser.add_argument("version")
    parser.add_argument("--string", action="append", default=[], metavar="KEY=VALUE")
    parser.add_argument("--signed-copy-of", metavar="UNSIGNED")
    args = parser.parse_args()

    image = open(args.exe, "rb").read()
    try:
        pe = pefile.PE(data=image)
    except pefile.PEFormatError as error:
        print(f"FAILED pefile cannot read {args.exe}: {error}")
        return 1
    header = pe.OPTIONAL_HEADER
    machine, magic = k_expectedMachine[args.arch]
    flags = header.DllCharacteristics
    present = {index for index, directory in enumerate(header.DATA_DIRECTORY) if directory.Size}
    signed = args.signed_copy_of is not None
    found = resources(pe)
    manifest = manifest_facts(found.get((k_manifestType, 1), b""))
    fixed, tables, translations = version_facts(pe)
    numbers = [int(part) for part in args.version.split(".")] + [0]
    version_ms, version_ls = numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3]
    strings = dict(pair.split("=", 1) for pair in args.string)
    strings.update({"FileVersion": args.version, "ProductVersion": args.version})
    unsigned_size = header.DATA_DIRECTORY[k_security].VirtualAddress if signed else len(image)

    checks = [
        (f"machine {machine:#x}, optional header magic {magic:#x}",
         pe.FILE_HEADER.Machine == machine and header.Magic == magic),
        ("GUI subsystem", header.Subsystem == k_guiSubsystem),
        ("DYNAMIC_BASE set", bool(flags & k_dynamicBase)),
        ("NX_COMPAT set", bool(flags & k_nxCompat)),
        ("NO_SEH not set", not flags & k_noSeh),
        ("imports exactly the expected functions of kernel32 and user32",
         read_imports(pe) == k_expectedImports[args.arch]),
        ("data directories: exactly the expected ones",
         present == k_expectedDirectories[args.arch] | ({k_security} if signed else set())),
        ("every section has file data exactly when it has a raw size",
         all(bool(section.PointerToRawData) == bool(section.SizeOfRawData) for section in pe.sections)),
        ("every data directory lies inside a section's file data", not directories_outside_sections(pe)),
        ("header checksum is set and equals pefile's", header.CheckSum != 0 and
         header.CheckSum == pe.generate_checksum()),
        ("pefile has no warnings but its share-of-zero-bytes guess", not structural_warnings(pe)),
        ("resources: exactly manifest 1 and version information 1",
         set(found) == {(k_manifestType, 1), (k_versionType, 1)}),
        ("manifest is XML and asks for asInvoker, without UI access",
         manifest is not None and manifest[0] == [("asInvoker", "false")]),
        ("manifest names exactly Vista, 7, 8, 8.1 and 10",
         manifest is not None and sorted(manifest[1]) == sorted(k_supportedOsIds)),
        ("fixed version information: an application for Win32 on NT",
         fixed is not None and fixed.Signature == k_fixedFileInfoSignature and
         fixed.FileType == k_appFileType and fixed.FileOS == k_ntWindows32),
        ("fixed file and product versions carry the project version",
         fixed is not None and (fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS,
                                fixed.ProductVersionLS) == (version_ms, version_ls) * 2),
        ("one string table, US English in UTF-16, and its translation",
         list(tables) == [k_stringTable] and translations == [k_translation]),
        ("version strings exactly: " + ", ".join(sorted(strings)), tables.get(k_stringTable) == strings),
    ]
    if args.arch == "i686":
        checks.append((f"the shipped exe is at most {k_shippedSizeLimit} bytes", unsigned_size <= k_shippedSizeLimit))
    if signed:
        checks += signed_copy_checks(pe, image, args.signed_copy_of)
    else:
        checks.append(("no security directory", k_security not in present))

    for name, passed in checks:
        print(("ok     " if passed else "FAILED ") + name)
    if read_imports(pe) != k_expectedImports[args.arch]:
        print("imports found:", read_imports(pe))
    if directories_outside_sections(pe):
        print("outside every section:", directories_outside_sections(pe))
    for warning in pe.get_warnings():
        print("pefile warning:", warning)
    if tables.get(k_stringTable) != strings:
        print("version strings found:", tables)
    print(f"size of {os.path.basename(args.exe)} ({args.arch}): {len(image)} bytes")
    return 1 if any(not passed for _, passed in checks) else 0


sys.exit(main())
