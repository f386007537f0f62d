"""The installer engine update end to end: when Setup.ini asks for a newer Windows Installer than
the one in the prefix, setup.exe runs "instmsi30.exe" from its folder and waits for it before it
looks at the package. A stand-in (engine_installer.exe) marks that it ran and takes a second."""

import unittest

import wineharness as wh

STAND_IN_SECONDS = 1.0


def requiring(version: str) -> str:
    """The sample settings with another lowest engine version."""
    return wh.sample_settings(**{"3.1": f"{version}=Systems"})


class EngineUpdateTest(wh.SetupTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.engine = ".".join(map(str, wh.file_product_version(cls.prefix.system_dir / "msi.dll")))
        cls.stand_in = cls.prefix.tools / "engine_installer.exe"

    def mark(self):
        """The stand-in's mark: its process id and its command line, or None when it did not run."""
        path = self.folder / "instmsi30.ran"
        if not path.exists():
            return None
        process, command_line = path.read_text(encoding="utf-8").split("\n", 1)
        return int(process), command_line

    def test_older_engine_is_updated_and_waited_for_before_the_package_is_opened(self):
        self.remove_product_afterwards(wh.SAMPLE_PRODUCT_CODE)
        self.distribution(files={"Setup.ini": requiring("9.0"), "instmsi30.exe": self.stand_in})
        launch = self.run_setup("/S", timestamps=True)

        start = launch.call("kernel32.CreateProcessW")
        self.assertEqual((start.text(0), start.number(1), start.retval),
                         (self.windows_folder + "instmsi30.exe", 0, 1))   # no command line
        stand_in, command_line = self.mark()
        self.assertEqual(command_line, f'"{self.windows_folder}instmsi30.exe"')
        stand_in_end = [c for c in launch.trace.of("kernel32.ExitProcess") if c.process == stand_in]
        self.assertEqual(len(stand_in_end), 1, "the stand-in's end is not in the trace")
        opened = launch.call("msi.MsiOpenDatabaseW")
        self.assertLessEqual(stand_in_end[0].timestamp, opened.timestamp)
        self.assertGreaterEqual(stand_in_end[0].timestamp - start.timestamp, STAND_IN_SECONDS * 0.9)

        # msi.dll was let go for the update and bound again: the installation goes on.
        self.assertEqual((launch.call("msi.MsiInstallProductW").retval, launch.exit_code), (0, 0))
        self.assertTrue(self.prefix.is_installed(wh.SAMPLE_PRODUCT_CODE))

    def test_nothing_is_started_without_need_or_without_the_engine_installer(self):
        # The prefix's engine exactly: its product version is read and found new enough.
        cases = [("9.0", {"instmsi30.exe": None}),
                 (self.engine, {"instmsi30.exe": self.stand_in})]
        for number, (version, files) in enumerate(cases):
            with self.subTest(required=version, stand_in=files["instmsi30.exe"] is not None):
                self.remove_product_afterwards(wh.SAMPLE_PRODUCT_CODE)
                self.distribution(files={"Setup.ini": requiring(version), **files},
                                  name=f"no-update-{number}")
                launch = self.run_setup("/S")
                self.assertEqual(launch.calls("kernel32.CreateProcessW"), [])
                self.assertIsNone(self.mark())
                self.assertEqual((launch.call("msi.MsiInstallProductW").retval, launch.exit_code), (0, 0))
                self.prefix.uninstall(wh.SAMPLE_PRODUCT_CODE)


if __name__ == "__main__":
    unittest.main()
