"""setup.exe where no one can see a box: started in a window station without WSF_VISIBLE, as
under a service or a deployment agent, it shows no box and ends with the exit code it would have
had after the box; in the visible station the same runs still show theirs. A success that asks
for a restart is no error."""

import unittest
from pathlib import Path

import wineharness as wh
from test_setup import ONLY_WINDOWS_10, USAGE

# A box in an invisible station never returns: a regression must fail, not hang the suite.
PROMPT = 60
RESTART_PACKAGE = "restart.msi"
RESTART_PRODUCT_CODE = "{6F1D3C2A-8B4E-4F5A-9C7D-2E3B4A5C6D7A}"


class UnattendedTest(wh.SetupTestCase):
    def test_no_box_where_no_one_can_see_it(self):
        cases = [("usage", {}, "/S /?", 1),
                 ("unsupported system", {"Setup.ini": ONLY_WINDOWS_10}, "/S", 1),
                 ("failed installation", {wh.SAMPLE_PACKAGE: b"not a package"}, "/S", 1627)]
        for what, files, arguments, code in cases:
            for station in (None, "Unattended"):
                with self.subTest(what, station=station):
                    self.distribution(files=files, name=f"{what}-{station}".replace(" ", "-"))
                    launch = self.run_setup(arguments, station=station, timeout=PROMPT)
                    self.assertEqual(launch.exit_code, code)
                    self.assertEqual([c.number(0) for c in launch.calls("kernel32.ExitProcess")], [code])
                    self.assertEqual(launch.child_stdout, USAGE if code == 1 else "")
                    self.assertEqual(len(launch.calls("user32.MessageBoxW")), 0 if station else 1)

    def test_success_with_a_restart_pending_shows_no_box(self):
        self.remove_product_afterwards(RESTART_PRODUCT_CODE)
        package = wh.build_package(wh.packages_dir() / RESTART_PACKAGE,
                                   wxs=Path(__file__).with_name("restart.wxs"))
        self.distribution(files={RESTART_PACKAGE: package,
                                 "Setup.ini": wh.sample_settings(Location="Location=" + RESTART_PACKAGE)})
        launch = self.run_setup("/S", timeout=PROMPT)
        self.assertEqual(launch.call("msi.MsiInstallProductW").retval, 3010)
        # The whole code: a Unix shell sees only its low 8 bits (3010 & 0xFF = 194).
        self.assertEqual(launch.call("kernel32.ExitProcess").number(0), 3010)
        self.assertEqual((launch.exit_code, launch.run.exit_code), (3010, 194))
        self.assertEqual(launch.calls("user32.MessageBoxW"), [])
        self.assertTrue(self.prefix.is_installed(RESTART_PRODUCT_CODE))


if __name__ == "__main__":
    unittest.main()
