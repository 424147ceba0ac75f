#!/usr/bin/env python3
"""Static checks of a built comreg32.exe: check_pe.py OBJDUMP EXE ARCH VERSION.

The header fields and the import table are read with objdump; the resources are
read by walking the resource directory that the header points at, as the Windows
loader does (the shipped exe keeps them inside its code section, where tools that
look for a section named .rsrc do not see them). Prints the exe's size."""
import os
import re
import struct
import subprocess
import sys

k_expectedImports = {
    "i686": {
        "KERNEL32.dll": {"AddVectoredExceptionHandler", "ExitProcess", "GetCommandLineA", "GetCurrentThreadId",
                         "GetModuleFileNameA", "GetModuleHandleA",
                         "GetProcAddress", "HeapAlloc", "HeapCreate", "HeapDestroy", "HeapFree",
                         "HeapReAlloc", "LoadLibraryA", "RaiseException", "RtlUnwind", "SetDllDirectoryA",
                         "UnhandledExceptionFilter"},
        "USER32.dll": {"CharNextA", "FindWindowA", "MessageBoxA"},
    },
}
k_expectedImports["x86_64"] = {
    "KERNEL32.dll": (k_expectedImports["i686"]["KERNEL32.dll"] - {"RtlUnwind"}) | {"RtlUnwindEx"},
    "USER32.dll": k_expectedImports["i686"]["USER32.dll"],
}
k_expectedFormat = {"i686": ("pei-i386", "010b"), "x86_64": ("pei-x86-64", "020b")}
k_supportedOsIds = ["e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                    "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                    "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"]
k_manifestType, k_versionType = 24, 16
k_shippedSizeLimit = 6 * 1024  # resources included
k_dynamicBase, k_nxCompat, k_noSeh = 0x40, 0x100, 0x400


def parse_imports(dump):
    """Maps each imported DLL to the set of functions objdump lists for it."""
    imports, current = {}, None
    for line in dump.splitlines():
        named = re.match(r"\s*DLL Name: (\S+)", line)
        if named:
            current = imports.setdefault(named.group(1), set())
        elif current is not None and re.match(r"\s*[0-9a-f]+\s+\d+\s+\S+$", line):
            current.add(line.split()[-1])
        elif not line.strip():
            current = None
    return imports


def rva_to_offset(image, rva):
    """File offset of an RVA, through the section table."""
    header = struct.unpack_from("<I", image, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H", image, header + 6)[0], struct.unpack_from("<H", image, header + 20)[0]
    table = header + 24 + optional_size
    for index in range(sections):
        virtual_size, virtual_address, raw_size, raw_offset = struct.unpack_from("<IIII", image, table + 40 * index + 8)
        if virtual_address <= rva < virtual_address + max(virtual_size, raw_size):
            return raw_offset + rva - virtual_address
    raise ValueError(f"RVA {rva:#x} lies in no section")


def read_resources(image):
    """Returns {(type, id): bytes} for the first language of every resource."""
    header = struct.unpack_from("<I", image, 0x3C)[0]
    optional = header + 24
    directories = optional + (96 if struct.unpack_from("<H", image, optional)[0] == 0x10B else 112)
    root_rva, root_size = struct.unpack_from("<II", image, directories + 8 * 2)
    if root_size == 0:
        return {}
    root = rva_to_offset(image, root_rva)

    def entries(offset):
        named, numbered = struct.unpack_from("<HH", image, offset + 12)
        for index in range(named + numbered):
            name, target = struct.unpack_from("<II", image, offset + 16 + 8 * index)
            yield name, target

    found = {}
    for type_id, type_target in entries(root):
        for name_id, name_target in entries(root + (type_target & 0x7FFFFFFF)):
            language = next(entries(root + (name_target & 0x7FFFFFFF)))
            data_rva, data_size = struct.unpack_from("<II", image, root + language[1])
            found[(type_id, name_id)] = image[rva_to_offset(image, data_rva):][:data_size]
    return found


def version_strings(block):
    """The UTF-16 key/value strings of a VERSIONINFO block, as a dict."""
    text = block.decode("utf-16-le", errors="replace")
    pairs = {}
    for key in ("FileVersion", "ProductVersion", "FileDescription"):
        match = re.search(key + "\0+([^\0]+)\0", text)
        if match:
            pairs[key] = match.group(1)
    return pairs


def main():
    objdump, exe, arch, version = sys.argv[1:5]
    dump = subprocess.run([objdump, "-p", exe], check=True, capture_output=True, text=True).stdout
    image = open(exe, "rb").read()
    file_format, magic = k_expectedFormat[arch]
    characteristics = int(re.search(r"DllCharacteristics\s+([0-9a-f]+)", dump).group(1), 16)
    resources = read_resources(image)
    manifest = resources.get((k_manifestType, 1), b"").decode("utf-8", errors="replace")
    version_info = version_strings(resources.get((k_versionType, 1), b""))
    fixed_version = struct.unpack_from("<HHHH", resources.get((k_versionType, 1), b"\0" * 60), 48)
    numbers = [int(part) for part in version.split(".")] + [0]

    checks = [
        (f"file format is {file_format}", f"file format {file_format}" in dump),
        (f"optional header magic {magic}", re.search(r"Magic\s+" + magic, dump) is not None),
        ("GUI subsystem", re.search(r"Subsystem\s+00000002", dump) is not None),
        ("DYNAMIC_BASE set", bool(characteristics & k_dynamicBase)),
        ("NX_COMPAT set", bool(characteristics & k_nxCompat)),
        ("NO_SEH not set", not characteristics & k_noSeh),
        ("imports exactly the expected functions of kernel32 and user32",
         parse_imports(dump) == k_expectedImports[arch]),
        ("manifest asks for asInvoker", 'level="asInvoker"' in manifest),
        ("manifest names Vista to 10", all(f"{{{guid}}}" in manifest for guid in k_supportedOsIds)),
        ("version strings carry the project version",
         version_info.get("FileVersion") == version and version_info.get("ProductVersion") == version),
        ("fixed file version carries the project version",
         (fixed_version[1], fixed_version[0], fixed_version[3], fixed_version[2]) == tuple(numbers[:4])),
    ]
    if arch == "i686":
        checks.append((f"the shipped exe is at most {k_shippedSizeLimit} bytes", len(image) <= k_shippedSizeLimit))
    failed = [name for name, passed in checks if not passed]
    for name, passed in checks:
        print(("ok     " if passed else "FAILED ") + name)
    if parse_imports(dump) != k_expectedImports[arch]:
        print("imports found:", parse_imports(dump))
    print(f"size of {os.path.basename(exe)} ({arch}): {len(image)} bytes")
    sys.exit(1 if failed else 0)


main()
