"""setup-check --init on a product of its own: the folder it writes passes the check without a
problem, and setup.exe in it installs the package under Wine and finds it installed afterwards;
the translated messages it writes in UTF-8 are what setup.exe shows."""

from __future__ import annotations

import json
import os
import shutil
import subprocess
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import wineharness as wh  # noqa: E402

QUILL_CODE = "{3C9A7E51-0B2D-4F68-A1E4-5D7C9B3F2A10}"
QUILL_SECOND_CODE = "{3C9A7E51-0B2D-4F68-A1E4-5D7C9B3F2A11}"
QUILL_VERSION = "3.2.1"
HOST_CHECK = Path(os.environ.get("SETUP_HOST_CHECK", wh.REPO / "build" / "host" / "setup-check"))
LANGUAGES = wh.REPO / "tools" / "setup-check" / "init" / "languages"
PREFIX_SYSTEM = ["--os", "6.1.7601.1.0", "--language", "0x0409", "--engine", "4.5.6001.22308"]

# Another maker's product: its own name, codes and a three-part version; engine 3.1; three files,
# one of them the key file setup.exe reads instances through.
QUILL_WXS = f"""<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <?ifndef var.ProductCode?><?define ProductCode = "{QUILL_CODE}"?><?endif?>
  <?ifndef var.Folder?><?define Folder = "Quill Notes"?><?endif?>
  <Product Id="$(var.ProductCode)" Name="Quill Notes" Language="1033" Version="{QUILL_VERSION}"
           Manufacturer="Quill Works" UpgradeCode="{{7D2E4B6A-9C1F-4E3D-8A5B-6F0E2D4C8B97}}">
    <Package InstallerVersion="301" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="quill.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="$(var.Folder)">
          <Component Id="Program" Guid="*">
            <File Id="quill.exe" Name="quill.exe" Source="quill.exe" KeyPath="yes"/>
          </Component>
          <Component Id="Library" Guid="*">
            <File Id="ledgr.dll" Name="ledgr.dll" Source="ledgr.dll" KeyPath="yes"/>
          </Component>
          <Component Id="Notes" Guid="*">
            <File Id="readme.txt" Name="readme.txt" Source="readme.txt" KeyPath="yes"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Complete" Level="1">
      <ComponentRef Id="Program"/><ComponentRef Id="Library"/><ComponentRef Id="Notes"/>
    </Feature>
  </Product>
</Wix>
"""


def build_quill_packages(folder: Path) -> tuple:
    folder.mkdir(parents=True, exist_ok=True)
    for name, text in {"quill.exe": "quill program", "ledgr.dll": "quill library", "readme.txt": "notes"}.items():
        (folder / name).write_text(text)
    wxs = folder / "quill.wxs"
    wxs.write_text(QUILL_WXS)
    versions = {"ledgr.dll": "3.2.1.40"}
    main = wh.build_package(folder / "quill.msi", wxs=wxs, file_versions=versions)
    second = wh.build_package(folder / "quill-second.msi", wxs=wxs, file_versions=versions,
                              defines={"ProductCode": QUILL_SECOND_CODE, "Folder": "Quill Notes Second"})
    return main, second


def language_text(code: str, key: str) -> str:
    """A key's text in languages/CODE.txt, the source --init fills in."""
    lines = (LANGUAGES / f"{code}.txt").read_text(encoding="utf-8").splitlines()
    (text,) = [line.split("=", 1)[1] for line in lines if line.split("=", 1)[0] == key]
    return text


class InitWritesAFolderThatInstallsTest(wh.SetupTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.package, cls.second_package = build_quill_packages(wh.e2e_work_dir() / "quill")
        cls.tool = cls.setup_exe.parent / "setup-check.exe"

    def setUp(self):
        self.remove_product_afterwards(QUILL_SECOND_CODE)
        self.remove_product_afterwards(QUILL_CODE)
        self.folder = self.prefix.drive_c / "dist" / "quill"
        self.windows_folder = "C:\\dist\\quill\\"
        if self.folder.exists():
            shutil.rmtree(self.folder)

    def init(self, *options: str, package: str = "") -> wh.Run:
        return self.prefix.wine([str(self.tool), "--init", package or wh.windows_path(self.package),
                                 self.windows_folder, *options], label="init")

    def check(self, *arguments: str) -> dict:
        run = self.prefix.wine([str(self.tool), "--json", *PREFIX_SYSTEM, self.windows_folder, *arguments],
                               label="setup-check")
        self.assertIn(run.exit_code, (0, 1, 2), run.stderr[-2000:])
        return json.loads(run.stdout)

    def asked(self, launch: wh.Launch) -> list:
        return [(call.text(0), call.text(1), call.retval) for call in launch.calls("msi.MsiGetProductInfoW")]

    def installs(self, launch: wh.Launch) -> list:
        return [call.text(1) for call in launch.calls("msi.MsiInstallProductW")]

    def test_the_written_folder_passes_the_check_installs_and_finds_the_product(self):
        refused = self.init("--languages", "ru,xx")
        self.assertEqual(refused.exit_code, 3)
        self.assertIn("the codes of /l are ru,uk,en,", refused.stderr)
        self.assertFalse(self.folder.exists())

        init = self.init("--min-os", "7-sp1", "--cmdline", "REBOOT=ReallySuppress", "--languages", "ru,de",
                         "--setup-exe", wh.windows_path(self.setup_exe))
        self.assertEqual(init.exit_code, 0, init.stdout + init.stderr)
        settings = (self.folder / "Setup.ini").read_bytes().decode("ascii")
        for line in ("Product=Quill Notes", f"ProductVersion={QUILL_VERSION}", f"ProductCode={QUILL_CODE}",
                     "CmdLine=REBOOT=ReallySuppress", "Location=quill.msi", "[MsiVersion]\r\n3.1=Systems",
                     "[Win7SP1]\r\nMajorVer=6\r\nMinorVer=1\r\nBuildNo=7601\r\nServicePack=256\r\n"):
            self.assertIn(line, settings)
        self.assertEqual(sorted(p.name for p in self.folder.iterdir()),
                         ["0x0407.ini", "0x0409.ini", "0x0419.ini", "Setup.ini", "quill.msi", "setup.exe"])
        self.assertIn("1150=Quill Notes erfordert Windows 7 mit Service Pack 1 oder höher.",
                      (self.folder / "0x0407.ini").read_bytes().decode("utf-8-sig"))

        report = self.check("--command-line", "/S")
        self.assertEqual(report["findings"], [])
        self.assertEqual(report["summary"]["exitCode"], 0)

        again = self.init("--min-os", "xp")
        self.assertEqual(again.exit_code, 3)
        self.assertIn("nothing was written", again.stderr)
        self.assertEqual((self.folder / "Setup.ini").read_bytes().decode("ascii"), settings)

        first = self.run_setup("/S", label="quill-install")
        self.assertEqual(first.exit_code, 0, first.run.stderr[-2000:])
        self.assertEqual(self.installs(first), [" REBOOT=ReallySuppress"])
        self.assertEqual(self.installs(first)[0], report["commandLine"])
        quill = self.prefix.product(QUILL_CODE)
        self.assertTrue(quill.installed)
        self.assertEqual(quill.value("VersionString"), QUILL_VERSION)

        # A second instance installed in the same version: setup.exe asks for it only when the
        # product itself is not found, and then adds the instance's transform.
        self.assertEqual(self.prefix.wine(["msiexec", "/i", wh.windows_path(self.second_package), "/qn"]).exit_code, 0)
        instances = f"\r\n[Instances]\r\ncount=1\r\n1=Second\r\n\r\n[Second]\r\nProductCode={QUILL_SECOND_CODE}\r\n"
        (self.folder / "Setup.ini").write_bytes((settings + instances).encode("ascii"))
        found = self.run_setup("/S", label="quill-found")
        self.assertEqual(self.asked(found), [(QUILL_CODE, "InstallLocation", 0), (QUILL_CODE, "VersionString", 0)])
        self.assertEqual(self.installs(found), [" REBOOT=ReallySuppress"])

        # Four parts against the installed three: 3.2.1.0 is not 3.2.1 (-1 for the missing part),
        # for the product and for the instance alike.
        four_parts = settings.replace(f"ProductVersion={QUILL_VERSION}", f"ProductVersion={QUILL_VERSION}.0")
        (self.folder / "Setup.ini").write_bytes((four_parts + instances).encode("ascii"))
        missed = self.run_setup("/S", label="quill-four-parts")
        self.assertEqual(self.asked(missed), [(QUILL_CODE, "InstallLocation", 0), (QUILL_CODE, "VersionString", 0),
                                              (QUILL_SECOND_CODE, "InstallLocation", 0),
                                              (QUILL_SECOND_CODE, "VersionString", 0)])
        self.assertEqual(self.installs(missed), [" REBOOT=ReallySuppress"])

        (self.folder / "Setup.ini").write_bytes((settings + instances).encode("ascii"))
        self.prefix.uninstall(QUILL_CODE)
        instance = self.run_setup("/S", label="quill-instance")
        self.assertEqual(self.installs(instance), ["TRANSFORMS=:Second.mst; REBOOT=ReallySuppress"])

    def test_setup_exe_shows_message_1150_as_the_language_file_says_it(self):
        if not HOST_CHECK.is_file():
            self.skipTest("the host build's setup-check is not built yet")
        # Windows 7 in the prefix, Windows 10 in the folder: every run ends at message 1150.
        self.addCleanup(self.prefix.reset_windows_version)
        self.prefix.set_windows_version("win7")
        init = subprocess.run([str(HOST_CHECK), "--init", str(self.package), str(self.folder), "--min-os", "10",
                               "--languages", "de,zh", "--setup-exe", str(self.setup_exe)],
                              capture_output=True, text=True, check=False)
        self.assertEqual(init.returncode, 0, init.stdout + init.stderr)
        for code, file in (("de", "0x0407.ini"), ("zh", "0x0804.ini")):
            with self.subTest(code):
                message = language_text(code, "1150").replace("{product}", "Quill Notes")
                message = message.replace("{windows}", "Windows 10")
                self.assertIn(f"1150={message}\r\n", (self.folder / file).read_bytes().decode("utf-8-sig"))
                launch = self.run_setup(f"/l {code}", label=f"init-{code}")
                self.assertEqual(launch.exit_code, 1, launch.run.stderr[-2000:])
                self.assertEqual(launch.call("user32.MessageBoxW").text(1), message)

    def test_no_copy_names_the_package_where_it_lies(self):
        self.assertEqual(self.init("--no-copy").exit_code, 3, "the package is on Z:, the folder on C:")
        shared = self.prefix.drive_c / "packages" / "quill.msi"
        shared.parent.mkdir(exist_ok=True)
        shutil.copyfile(self.package, shared)
        init = self.init("--no-copy", package="C:\\packages\\quill.msi")
        self.assertEqual(init.exit_code, 0, init.stdout + init.stderr)
        settings = (self.folder / "Setup.ini").read_bytes().decode("ascii")
        self.assertIn("Location=..\\..\\packages\\quill.msi\r\n", settings)
        self.assertFalse((self.folder / "quill.msi").exists())
        self.assertIn("[WinXPSP3]", settings)
        report = self.check()
        self.assertTrue(report["package"]["exists"])
        self.assertEqual(report["findings"], [])


if __name__ == "__main__":
    unittest.main()
