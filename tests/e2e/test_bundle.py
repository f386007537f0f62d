"""A bundle: setup.exe carrying its distribution folder as a cabinet after its own bytes, with a
trailer that locates the cabinet and holds its SHA-256. The bundles here are made by the test
itself (gcab and a few lines of Python), so that what setup.exe does with one is proven apart
from the tool that makes them; setup-check's own bundles are tested with the tool."""

import hashlib
import shutil
import struct
import subprocess
import tempfile
import unittest
from pathlib import Path

import wineharness as wh

MAGIC = b"SETUPCB1"
FILE_CORRUPT = 1392


def cabinet(folder: Path, names) -> bytes:
    """The files of folder under their relative names, as gcab -c -z writes them (MSZIP)."""
    with tempfile.TemporaryDirectory() as work:
        output = Path(work) / "payload.cab"
        subprocess.run(["gcab", "-c", "-z", str(output), *names], cwd=folder, check=True,
                       stdout=subprocess.DEVNULL)
        return output.read_bytes()


def bundle(program: bytes, payload: bytes) -> bytes:
    """program, payload, zeros to a multiple of 8, then the 56-byte trailer."""
    body = program + payload
    body += b"\0" * (-len(body) % 8)
    return body + MAGIC + struct.pack("<QQ", len(program), len(payload)) + hashlib.sha256(payload).digest()


class BundleTest(wh.SetupTestCase):
    def setUp(self):
        self.distribution()
        self.names = sorted(p.name for p in self.folder.iterdir() if p.name != "setup.exe")
        self.program = (self.folder / "setup.exe").read_bytes()
        # The bundle stands alone, in a folder of its own.
        self.bundle_folder = self.folder.parent / (self.folder.name + "-bundle")
        shutil.rmtree(self.bundle_folder, ignore_errors=True)
        self.bundle_folder.mkdir()
        for temp in self.unpacked_folders():
            shutil.rmtree(temp)

    def unpacked_folders(self):
        users = self.prefix.drive_c / "users"
        return sorted(p for p in users.glob("*/**/Temp/setup-bundle-*") if p.is_dir())

    def run_bundle(self, data: bytes, arguments: str):
        (self.bundle_folder / "setup.exe").write_bytes(data)
        command = f'"{wh.windows_path(self.bundle_folder / "setup.exe")}" {arguments}'
        return self.prefix.launch(command, label=self.id().rsplit(".", 1)[-1])

    def test_a_bundle_installs_from_its_unpacked_folder_and_leaves_nothing(self):
        self.remove_product_afterwards(wh.SAMPLE_PRODUCT_CODE)
        data = bundle(self.program, cabinet(self.folder, self.names))
        install = self.run_bundle(data, "/S")
        self.assertEqual(install.exit_code, 0)
        package = install.call("msi.MsiInstallProductW").text(0)
        self.assertRegex(package, r"(?i)\\Temp\\setup-bundle-[0-9a-f]{32}\\ledgr\.msi$")
        self.assertTrue(self.prefix.is_installed(wh.SAMPLE_PRODUCT_CODE))
        removal = self.run_bundle(data, "/x /S")
        self.assertEqual(removal.exit_code, 0)
        self.assertFalse(self.prefix.is_installed(wh.SAMPLE_PRODUCT_CODE))
        self.assertEqual(self.unpacked_folders(), [])

    def test_a_changed_payload_ends_with_1392_and_unpacks_nothing(self):
        data = bytearray(bundle(self.program, cabinet(self.folder, self.names)))
        data[len(self.program) + 100] ^= 0x01
        run = self.run_bundle(bytes(data), "/S")
        self.assertEqual(run.exit_code, FILE_CORRUPT)
        self.assertEqual(run.calls("msi.MsiInstallProductW"), [])
        self.assertEqual(self.unpacked_folders(), [])

    def test_an_entry_that_climbs_out_is_refused_and_nothing_lands_outside(self):
        (self.folder / "zz").mkdir()
        (self.folder / "zz" / "evil.txt").write_text("planted")
        payload = cabinet(self.folder, self.names + ["zz/evil.txt"])
        # The same length, so the cabinet stays whole: "zz\evil.txt" becomes "..\evil.txt".
        self.assertIn(b"zz\\evil.txt", payload)
        payload = payload.replace(b"zz\\evil.txt", b"..\\evil.txt")
        run = self.run_bundle(bundle(self.program, payload), "/S")
        self.assertEqual(run.exit_code, FILE_CORRUPT)
        self.assertEqual(run.calls("msi.MsiInstallProductW"), [])
        self.assertEqual(self.unpacked_folders(), [])
        temps = list((self.prefix.drive_c / "users").glob("*/**/Temp"))
        self.assertTrue(temps)
        self.assertEqual([t for t in temps if (t / "evil.txt").exists()], [])


if __name__ == "__main__":
    unittest.main()
