"""setup.exe's install modes end to end: installation and removal with the installer's own user
interface, administrative installation, and a product that is already installed."""

import unittest

import msi_transform
import wineharness as wh

PROPERTIES = "REBOOT=ReallySuppress"
FULL_UI, NO_UI = 5, 2
ERROR_FUNCTION_NOT_CALLED = 1626


class InstallModesTest(wh.SetupTestCase):
    def ui_level(self, launch):
        ui = launch.call("msi.MsiSetInternalUI")
        return ui.number(0), ui.number(1)

    def test_full_user_interface_install_with_free_parameters_then_removal(self):
        # Without /S the installer gets its full user interface; without a display Wine's
        # installer shows nothing and does not wait, so the run ends on its own.
        self.remove_product_afterwards(wh.SAMPLE_PRODUCT_CODE)
        install = self.run_setup("B=2 C=3", timeout=60)
        self.assertEqual(self.ui_level(install), (FULL_UI, 0))
        self.assertEqual(install.call("msi.MsiInstallProductW").text(1), f" {PROPERTIES} B=2 C=3 ")
        self.assertEqual(install.calls("msi.MsiEnableLogW"), [])
        self.assertEqual(install.calls("user32.MessageBoxW"), [])
        self.assertEqual((install.exit_code, install.child_stdout), (0, ""))
        self.assertTrue(self.prefix.is_installed(wh.SAMPLE_PRODUCT_CODE))

        removal = self.run_setup("/x", timeout=60)
        self.assertEqual(self.ui_level(removal), (FULL_UI, 0))
        self.assertEqual(removal.call("msi.MsiInstallProductW").text(1), f"REMOVE=ALL  {PROPERTIES}")
        self.assertEqual(removal.exit_code, 0)
        self.assertFalse(self.prefix.is_installed(wh.SAMPLE_PRODUCT_CODE))

    def test_administrative_installation_wins_over_removal(self):
        # A folder with blanks: the directory property is quoted and has no final backslash.
        # Wine 8 has no ADMIN action, so its installer answers 1626, which setup.exe shows and
        # returns like any other failure; nothing gets installed.
        transform = msi_transform.property_transform({"ProductName": "Ledgr Sample (Russian)"})
        cases = [(r"/a /S TARGETDIR=C:\admin\image", {}, NO_UI,
                  'SETUPEXEDIR="C:\\dist\\admin with blanks" SETUPEXENAME="setup.exe" '
                  + PROPERTIES + r" TARGETDIR=C:\admin\image "),
                 ("/x /l ru /a", {"1049.mst": transform}, FULL_UI,
                  'SETUPEXEDIR="C:\\dist\\admin with blanks" SETUPEXENAME="setup.exe" '
                  "TRANSFORMS=1049.mst " + PROPERTIES)]
        for arguments, files, ui_level, text in cases:
            with self.subTest(arguments=arguments):
                self.distribution(files=files, name="admin with blanks")
                launch = self.run_setup(arguments)
                self.assertEqual(self.ui_level(launch), (ui_level, 0))
                install = launch.call("msi.MsiInstallProductW")
                self.assertEqual(install.text(0), self.windows_folder + wh.SAMPLE_PACKAGE)
                self.assertEqual(install.text(1), "ACTION=ADMIN " + text)
                self.assertEqual((install.retval, launch.exit_code),
                                 (ERROR_FUNCTION_NOT_CALLED, ERROR_FUNCTION_NOT_CALLED))
                box = launch.call("user32.MessageBoxW")
                self.assertEqual((box.text(1), box.text(2), box.number(3)),
                                 ("Function could not be called.\r\n", "Error", 0x1010))
                self.assertFalse(self.prefix.is_installed(wh.SAMPLE_PRODUCT_CODE))
                self.assertFalse((self.prefix.drive_c / "admin").exists())

    def test_installed_product_itself_gets_no_instance_transform(self):
        # The product and its instance are both installed in the package's version: the
        # product's own code is asked first and wins, so nothing is added for the instance.
        self.remove_product_afterwards(wh.SAMPLE_PRODUCT_CODE)
        self.remove_product_afterwards(wh.SECOND_PRODUCT_CODE)
        for package in (wh.SAMPLE_PACKAGE, wh.SECOND_PACKAGE):
            run = self.prefix.wine(["msiexec", "/i", wh.windows_path(wh.packages_dir() / package), "/qn"])
            self.assertEqual(run.exit_code, 0)
        launch = self.run_setup("/S")
        self.assertEqual([(c.text(0), c.text(1), c.retval) for c in launch.calls("msi.MsiGetProductInfoW")],
                         [(wh.SAMPLE_PRODUCT_CODE, "InstallLocation", 0),
                          (wh.SAMPLE_PRODUCT_CODE, "VersionString", 0)])
        install = launch.call("msi.MsiInstallProductW")
        self.assertEqual(install.text(1), " " + PROPERTIES)
        self.assertEqual((install.retval, launch.exit_code), (0, 0))
        self.assertTrue(self.prefix.is_installed(wh.SAMPLE_PRODUCT_CODE))


if __name__ == "__main__":
    unittest.main()
