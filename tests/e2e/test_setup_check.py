"""setup-check against setup.exe: for the same folder, arguments and system, the dry run must
predict exactly what the real program hands to the Windows Installer under Wine."""

from __future__ import annotations

import json
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import wineharness as wh  # noqa: E402

# What the e2e prefix is: Wine's default Windows 7 SP1, its msi.dll, an English user.
PREFIX_SYSTEM = ["--os", "6.1.7601.1.0", "--language", "0x0409", "--engine", "4.5.6001.22308"]
UNSUPPORTED = wh.sample_settings(WinXP="WinXP=0", Vista="Vista=0")


class SetupCheckPredictsSetupTest(wh.SetupTestCase):

    def check(self, arguments: str, installed=()) -> dict:
        tool = self.setup_exe.parent / "setup-check.exe"
        argv = [str(tool), "--json", *PREFIX_SYSTEM]
        for code in installed:
            argv += ["--installed", f"{code}={wh.SAMPLE_VERSION}"]
        argv += [self.windows_folder, "--command-line", arguments]
        run = self.prefix.wine(argv, label="setup-check")
        self.assertIn(run.exit_code, (0, 1, 2), run.stderr[-2000:])
        return json.loads(run.stdout)

    def assertSamePrediction(self, report: dict, launch: wh.Launch) -> None:
        installs = launch.calls("msi.MsiInstallProductW")
        self.assertEqual(report["installerReached"], bool(installs))
        if not installs:
            self.assertEqual(report["exitCode"], launch.exit_code)
            self.assertIsNone(report["commandLine"])
            return
        self.assertTracedText(installs[0].args[1], report["commandLine"])
        self.assertEqual(installs[0].text(0).lower(), report["packagePath"].lower())
        self.assertEqual(launch.call("msi.MsiSetInternalUI").number(0), report["uiLevel"])
        logs = launch.calls("msi.MsiEnableLogW")
        self.assertEqual(logs[0].text(1) if logs else None, report["logPath"])

    def test_same_property_string_for_every_kind_of_run(self):
        cases = [
            ("install", {}, "/S"),
            ("free-properties", {}, "/S B=2 C=3"),
            ("log-and-language", {"1049.mst": b""},
             "/x /S /l ru /debuglog C:\\dist\\check.log"),
            ("administrative", {"1049.mst": b""}, "/a /l ru /S"),
            ("usage", {}, "/?"),
            ("unsupported", {"Setup.ini": UNSUPPORTED}, "/S"),
            ("no-settings", {"Setup.ini": None}, "/S"),
        ]
        for name, files, arguments in cases:
            with self.subTest(name):
                self.distribution(files=files, name=f"check-{name}")
                launch = self.run_setup(arguments)
                self.assertSamePrediction(self.check(arguments), launch)
                if self.prefix.is_installed(wh.SAMPLE_PRODUCT_CODE):
                    self.prefix.uninstall(wh.SAMPLE_PRODUCT_CODE)

    def test_same_instance_transform_when_the_instance_is_installed(self):
        self.remove_product_afterwards(wh.SECOND_PRODUCT_CODE)
        self.remove_product_afterwards(wh.SAMPLE_PRODUCT_CODE)
        second = wh.packages_dir() / wh.SECOND_PACKAGE
        self.assertEqual(self.prefix.wine(["msiexec", "/i", wh.windows_path(second), "/qn"]).exit_code, 0)
        self.distribution(name="check-instance")
        launch = self.run_setup("/S")
        report = self.check("/S", installed=[wh.SECOND_PRODUCT_CODE])
        self.assertEqual(report["commandLine"], "TRANSFORMS=:Second.mst; REBOOT=ReallySuppress")
        # The sample package holds that transform, so the folder has nothing to report.
        self.assertTrue(report["package"]["holdsInstanceTransform"])
        self.assertEqual(report["findings"], [])
        self.assertSamePrediction(report, launch)

    def test_same_package_search_when_the_location_holds_a_wildcard(self):
        # setup.exe finds the package with a file search, in which "?" matches, and then opens it
        # by the name as written, which no file has.
        settings = wh.sample_settings(Location="Location=ledgr?.msi")
        package = wh.packages_dir() / wh.SAMPLE_PACKAGE
        self.distribution(files={"Setup.ini": settings, "ledgr.msi": None, "ledgr1.msi": package})
        launch = self.run_setup("/S")
        opened = [call.text(0) for call in launch.calls("msi.MsiOpenDatabaseW")]
        self.assertEqual(opened, [self.windows_folder + "ledgr?.msi"])
        report = self.check("/S")
        self.assertTrue(report["package"]["exists"])
        self.assertNotEqual(report["package"]["inspectionResult"], 0)
        self.assertEqual([f["code"] for f in report["findings"]], ["package-unreadable"])
        self.assertSamePrediction(report, launch)


if __name__ == "__main__":
    unittest.main()
