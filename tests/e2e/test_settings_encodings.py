"""Setup.ini in each encoding setup.exe reads (ANSI, UTF-8 and UTF-16LE with their marks), seen
through a property with letters outside ASCII that must reach the installer unchanged; and a
UTF-16BE file, which the program cannot read."""

import unittest

import wineharness as wh

ENGLISH_1150 = "This product needs a newer version of Windows. Setup cannot continue."


class SettingsEncodingsTest(wh.SetupTestCase):
    def test_each_readable_encoding_installs_with_its_properties_intact(self):
        # ANSI is the system code page, which Wine takes from the locale's name.
        cases = [("cp1252", {"LC_ALL": "en_US.UTF-8"}, "Café"),
                 ("cp1251", {"LC_ALL": "ru_RU.UTF-8"}, "Журнал"),
                 ("utf-8", None, "Café Журнал 日本"),
                 ("utf-16", None, "Café Журнал 日本 \U0001F600")]
        for encoding, env, note in cases:
            with self.subTest(encoding=encoding):
                self.remove_product_afterwards(wh.SAMPLE_PRODUCT_CODE)
                properties = f'REBOOT=ReallySuppress NOTE="{note}"'
                settings = wh.sample_settings(CmdLine="CmdLine=" + properties)
                self.distribution(files={"Setup.ini": wh.ini_bytes(settings, encoding)},
                                  name="encoding-" + encoding)
                launch = self.run_setup("/S", env=env)
                install = launch.call("msi.MsiInstallProductW")
                self.assertEqual(install.text(1), " " + properties)
                self.assertEqual((install.retval, launch.exit_code), (0, 0))
                self.assertTrue(self.prefix.is_installed(wh.SAMPLE_PRODUCT_CODE))
                self.prefix.uninstall(wh.SAMPLE_PRODUCT_CODE)

    def test_big_endian_settings_cannot_be_read_so_no_system_is_supported(self):
        self.distribution(files={"Setup.ini": wh.ini_bytes(wh.sample_settings(), "utf-16-be")})
        launch = self.run_setup("/S")
        self.assertEqual(launch.exit_code, 1)
        self.assertTrue(launch.child_stdout.startswith("Usage:  [/l <str>]"))
        box = launch.call("user32.MessageBoxW")
        self.assertEqual((box.text(1), box.text(2), box.number(3)), (ENGLISH_1150, "", 0x40))
        self.assertEqual(launch.calls("msi.MsiInstallProductW"), [])


if __name__ == "__main__":
    unittest.main()
