"""A built setup.exe as a file: the architecture its build is for (32-bit x86, the one that ships,
or x86-64), graphical subsystem, a manifest that asks for no elevation, themed controls and
per-monitor scaling, a version resource, an import table of system libraries only, and a size
within its architecture's limit. None of it starts the program, so it is checked on any machine.

setup.exe usually runs from a folder others can write to (Downloads, a share). Windows takes the
KnownDLLs (kernel32, user32, ...) from the system folder whatever lies beside the program, but any
other imported library is looked for beside it first: such a dependency must be loaded at run
time from the system folder instead, and no runtime library of the compiler may be needed."""

import os
import dataclasses
import re
import struct
import subprocess
import unittest
from xml.etree import ElementTree

import wineharness as wh

# Libraries Windows maps from its KnownDLLs list on every version setup.exe starts on.
KNOWN_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "ole32.dll",
              "oleaut32.dll", "shell32.dll", "shlwapi.dll", "comdlg32.dll", "msvcrt.dll",
              "rpcrt4.dll", "imm32.dll", "ws2_32.dll", "ntdll.dll"}
RT_VERSION, RT_MANIFEST = 16, 24
ASM_V1, ASM_V3 = "urn:schemas-microsoft-com:asm.v1", "urn:schemas-microsoft-com:asm.v3"
COMPATIBILITY = "urn:schemas-microsoft-com:compatibility.v1"
DPI_2005 = "http://schemas.microsoft.com/SMI/2005/WindowsSettings"
DPI_2016 = "http://schemas.microsoft.com/SMI/2016/WindowsSettings"
SUPPORTED_SYSTEMS = ["{e2011457-1546-43c5-a5fe-008deee3d3f0}",   # Vista
                     "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",   # 7
                     "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",   # 8
                     "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",   # 8.1
                     "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"]   # 10 and 11
COMMON_CONTROLS_6 = {"type": "win32", "name": "Microsoft.Windows.Common-Controls",
                     "version": "6.0.0.0", "publicKeyToken": "6595b64144ccf1df"}
IMAGE_FILE_32BIT_MACHINE = 0x0100
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2


@dataclasses.dataclass
class Architecture:
    machine: int          # the COFF header's machine field
    magic: int            # the optional header's: PE32 or PE32+
    objdump: str          # the binutils that read it, and the format they name
    file_format: str
    size_limit: int       # bytes, stripped: a download and a file a mail server lets through
    manifest_name: str    # the manifest's processorArchitecture


# The build's architecture as CMake configured it, not as the file says: that is what is checked.
ARCHITECTURES = {
    "x86": Architecture(0x14C, 0x10B, "i686-w64-mingw32-objdump", "pei-i386", 180 * 1024, "x86"),
    "x64": Architecture(0x8664, 0x20B, "x86_64-w64-mingw32-objdump", "pei-x86-64", 180 * 1024, "amd64"),
}
BUILD = ARCHITECTURES[os.environ.get("SETUP_WINE_ARCH", "x86")]


class PortableExecutable:
    """The headers and the resources of a PE file, as far as these tests need them."""

    def __init__(self, data: bytes):
        self.data = data
        header = struct.unpack_from("<I", data, 0x3C)[0]
        if data[header:header + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        self.machine, sections, _, symbol_table, symbol_count, optional_size, self.characteristics = \
            struct.unpack_from("<HHIIIHH", data, header + 4)
        self.symbols = (symbol_table, symbol_count)
        optional = header + 24
        self.magic = struct.unpack_from("<H", data, optional)[0]
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        # PE32+ widens the image base and the four stack and heap sizes before the directories.
        directories = optional + (112 if self.magic == 0x20B else 96)
        self.resource_rva = struct.unpack_from("<I", data, directories + 8 * 2)[0]
        table = optional + optional_size
        self.sections = [struct.unpack_from("<8sIIII", data, table + 40 * i) for i in range(sections)]

    def offset(self, rva: int) -> int:
        for _, size, address, raw_size, raw_offset in self.sections:
            if address <= rva < address + max(size, raw_size):
                return raw_offset + rva - address
        raise ValueError(f"address {rva:#x} is in no section")

    def resources(self, kind: int) -> list:
        """The data of every resource of one type (all names, all languages)."""
        base = self.offset(self.resource_rva)

        def entries(directory: int) -> list:
            named, numbered = struct.unpack_from("<HH", self.data, base + directory + 12)
            return [struct.unpack_from("<II", self.data, base + directory + 16 + 8 * i)
                    for i in range(named + numbered)]

        def leaves(pointer: int) -> list:
            if pointer & 0x80000000:
                return [leaf for _, child in entries(pointer & 0x7FFFFFFF) for leaf in leaves(child)]
            rva, size = struct.unpack_from("<II", self.data, base + pointer)
            return [self.data[self.offset(rva):self.offset(rva) + size]]

        return [leaf for name, child in entries(0) if name == kind for leaf in leaves(child)]


class ExecutableTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.setup_exe = wh.setup_exe()
        if cls.setup_exe is None:
            raise unittest.SkipTest("setup.exe is not built yet")
        cls.headers = subprocess.run([BUILD.objdump, "-p", str(cls.setup_exe)],
                                     capture_output=True, text=True, check=True).stdout
        cls.image = PortableExecutable(cls.setup_exe.read_bytes())

    def test_imports_only_libraries_windows_takes_from_its_system_folder(self):
        imported = {name.lower() for name in re.findall(r"^\s*DLL Name: (\S+)$", self.headers, re.M)}
        self.assertIn("kernel32.dll", imported)   # the table was read at all
        self.assertEqual(imported - KNOWN_DLLS, set())
        # Nor any library loaded on first use through a delay-import table.
        self.assertRegex(self.headers, r"Entry d 0+ 0+ Delay Import Directory")

    def test_is_a_program_of_its_architecture_and_the_graphical_subsystem(self):
        self.assertIn(f"file format {BUILD.file_format}", self.headers)
        self.assertEqual((self.image.machine, self.image.magic), (BUILD.machine, BUILD.magic))
        self.assertEqual(bool(self.image.characteristics & IMAGE_FILE_32BIT_MACHINE),
                         BUILD.magic == 0x10B)
        self.assertEqual(self.image.subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI)
        self.assertRegex(self.headers, r"Subsystem\s+00000002\s+\(Windows GUI\)")

    def test_is_stripped_and_within_its_size_limit(self):
        self.assertEqual(self.image.symbols, (0, 0), "a COFF symbol table is left in")
        self.assertFalse([name for name, *_ in self.image.sections if name.startswith(b"/")],
                         "sections named through the string table: debug information is left in")
        size = self.setup_exe.stat().st_size
        self.assertLessEqual(size, BUILD.size_limit, f"{size} bytes")

    def test_manifest_asks_for_the_invoker_themed_controls_and_sharp_scaling(self):
        manifests = self.image.resources(RT_MANIFEST)
        self.assertEqual(len(manifests), 1)
        manifest = ElementTree.fromstring(manifests[0])
        identity = manifest.find(f"{{{ASM_V1}}}assemblyIdentity")
        self.assertEqual(identity.get("processorArchitecture"), BUILD.manifest_name)
        levels = manifest.findall(f"{{{ASM_V3}}}trustInfo/{{{ASM_V3}}}security/"
                                  f"{{{ASM_V3}}}requestedPrivileges/{{{ASM_V3}}}requestedExecutionLevel")
        self.assertEqual([level.get("level") for level in levels], ["asInvoker"])
        systems = manifest.findall(f"{{{COMPATIBILITY}}}compatibility/{{{COMPATIBILITY}}}application/"
                                   f"{{{COMPATIBILITY}}}supportedOS")
        self.assertEqual([system.get("Id") for system in systems], SUPPORTED_SYSTEMS)
        dependencies = manifest.findall(f"{{{ASM_V1}}}dependency/{{{ASM_V1}}}dependentAssembly/"
                                        f"{{{ASM_V1}}}assemblyIdentity")
        self.assertEqual([{key: d.get(key) for key in COMMON_CONTROLS_6} for d in dependencies],
                         [COMMON_CONTROLS_6])
        settings = manifest.find(f"{{{ASM_V3}}}application/{{{ASM_V3}}}windowsSettings")
        # Windows 10 1607 and later take the first value they know; older ones read dpiAware.
        self.assertEqual(settings.findtext(f"{{{DPI_2016}}}dpiAwareness"), "PerMonitorV2, PerMonitor")
        self.assertEqual(settings.findtext(f"{{{DPI_2005}}}dpiAware"), "true/pm")

    def test_version_resource_names_the_program(self):
        versions = self.image.resources(RT_VERSION)
        self.assertEqual(len(versions), 1)
        block = versions[0]
        self.assertGreater(block.find(struct.pack("<I", 0xFEEF04BD)), 0)   # the fixed part
        self.assertNotEqual(wh.file_product_version(self.setup_exe), (0, 0, 0, 0))
        text = block.decode("utf-16-le", errors="replace")
        self.assertRegex(text, "OriginalFilename\0+setup\\.exe\0")


if __name__ == "__main__":
    unittest.main()
