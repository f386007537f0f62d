"""setup-check --deploy (the host build's) for the sample and for another maker's package: the
descriptions state the package's facts, the hash is the zip's, and the zip, unpacked into a fresh
folder under Wine, installs with its nested setup.exe and the Silent switch, as winget runs it."""

from __future__ import annotations

import hashlib
import json
import os
import shutil
import subprocess
import sys
import unittest
import zipfile
from pathlib import Path

import yaml

sys.path.insert(0, str(Path(__file__).resolve().parent))
import test_setup_check_init as quill  # noqa: E402
import wineharness as wh  # noqa: E402

HOST_CHECK = Path(os.environ.get("SETUP_HOST_CHECK", wh.REPO / "build" / "host" / "setup-check"))
URL = "https://downloads.example/product.zip"


class DeployedZipInstallsTest(wh.SetupTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        if not HOST_CHECK.is_file():
            raise unittest.SkipTest("the host build's setup-check is not built yet")
        cls.work = wh.e2e_work_dir() / "deploy"
        shutil.rmtree(cls.work, ignore_errors=True)

    def setup_check(self, *arguments) -> None:
        run = subprocess.run([str(HOST_CHECK), *map(str, arguments)], capture_output=True, text=True, check=False)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)

    def assert_deploys(self, folder: Path, name: str, code: str, upgrade: str, version: str) -> None:
        self.remove_product_afterwards(code)
        out = self.work / "out" / name
        self.setup_check("--deploy", folder, out, "--url", URL)
        (manifest,) = (out / "winget").glob("*.installer.yaml")
        installer = yaml.safe_load(manifest.read_text(encoding="utf-8"))
        entry = installer["AppsAndFeaturesEntries"][0]
        self.assertEqual((installer["ProductCode"], installer["PackageVersion"], installer["Scope"]),
                         (code, version, "machine"))
        # DisplayVersion is left out: it would only repeat PackageVersion.
        self.assertEqual((entry["ProductCode"], entry["UpgradeCode"], entry.get("DisplayVersion"), entry["InstallerType"]),
                         (code, upgrade, None, "msi"))
        (download,) = installer["Installers"]
        (archive,) = out.glob("*.zip")
        # Both packages are x86: the folder's setup.exe, when it is the 64-bit one, sets the bar.
        self.assertEqual((download["Architecture"], download["InstallerUrl"], download["InstallerSha256"]),
                         (self.prefix.arch, URL, hashlib.sha256(archive.read_bytes()).hexdigest().upper()))
        intune = json.loads((out / "intune" / "win32LobApp.json").read_text(encoding="utf-8"))
        self.assertEqual((intune["rules"][0]["productCode"], intune["rules"][0]["productVersion"],
                          intune["msiInformation"]["upgradeCode"], intune["msiInformation"]["packageType"]),
                         (code, version, upgrade, "perMachine"))
        self.assertIn(f"-ProductCode '{code}' -Value -ExpressionOperator GreaterEquals -ExpectedValue '{version}'",
                      (out / "configmgr" / "New-Application.ps1").read_text(encoding="utf-8-sig"))

        # As winget does: the zip unpacked into a folder of its own, the nested installer started
        # with the Silent switch.
        unpacked = self.prefix.drive_c / "winget" / name
        shutil.rmtree(unpacked, ignore_errors=True)
        with zipfile.ZipFile(archive) as files:
            files.extractall(unpacked)
        nested = installer["NestedInstallerFiles"][0]["RelativeFilePath"]
        launch = self.prefix.launch(f'"C:\\winget\\{name}\\{nested}" {installer["InstallerSwitches"]["Silent"]}',
                                    label=f"deploy-{name}")
        self.assertEqual(launch.exit_code, 0, launch.run.stderr[-2000:])
        product = self.prefix.product(code)
        self.assertEqual((product.installed, product.value("VersionString")), (True, version))

    def test_the_sample(self):
        folder = wh.lay_out_distribution(self.work / "sample", setup_exe=self.setup_exe, packages=wh.packages_dir())
        self.assert_deploys(folder, "sample", wh.SAMPLE_PRODUCT_CODE, wh.SAMPLE_UPGRADE_CODE, wh.SAMPLE_VERSION)

    def test_another_makers_package(self):
        package, _ = quill.build_quill_packages(wh.e2e_work_dir() / "quill")
        folder = self.work / "quill"
        self.setup_check("--init", package, folder, "--min-os", "7-sp1", "--setup-exe", self.setup_exe)
        self.assert_deploys(folder, "quill", quill.QUILL_CODE, "{7D2E4B6A-9C1F-4E3D-8A5B-6F0E2D4C8B97}",
                            quill.QUILL_VERSION)


if __name__ == "__main__":
    unittest.main()
