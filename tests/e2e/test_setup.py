"""setup.exe end to end: the sample distribution of examples/ under Wine, seen through the calls the
program makes (relay trace), its exit code and standard output, and what got installed."""

import unittest

import wineharness as wh

PROPERTIES = "REBOOT=ReallySuppress"   # CmdLine of examples/Setup.ini
ENGLISH_1150 = "This product needs a newer version of Windows. Setup cannot continue."
RUSSIAN_1150 = ("Для этого продукта нужна более новая версия Windows. "
                "Установка не может быть продолжена.")
USAGE = ("Usage:  [/l <str>] [/S] [/a] [/x] [/instance <str>] [/debuglog <str>] [/?] "
         "[input params...]\r\n"
         "/l:<str>       \tlanguage\r\n"
         "/S             \tSilent\r\n"
         "/a             \tadmin install\r\n"
         "/x             \tuninstall\r\n"
         "/instance:<str>\tinstance\r\n"
         "/debuglog:<str>\tdebuglog\r\n"
         "/?             \tUsage\r\n")
INFORMATION_BOX = 0x40
ERROR_BOX = 0x1010


def settings(**replacements: str) -> str:
    """examples/Setup.ini with whole lines replaced: settings(WinXP="WinXP=0")."""
    lines = (wh.EXAMPLES / "Setup.ini").read_bytes().decode("ascii").split("\r\n")
    for key, line in replacements.items():
        lines = [line if old.split("=", 1)[0] == key else old for old in lines]
    return "\r\n".join(lines)


ONLY_WINDOWS_10 = settings(WinXP="WinXP=0", Vista="Vista=0")


class SetupTest(wh.SetupTestCase):
    def test_silent_install_then_silent_removal(self):
        self.remove_product_afterwards(wh.SAMPLE_PRODUCT_CODE)
        install = self.run_setup("/S")
        self.assertEqual(install.exit_code, 0)
        self.assertEqual(install.child_stdout, "")
        self.assertEqual(install.call("msi.MsiSetInternalUI").args[0].number, 2)
        call = install.call("msi.MsiInstallProductW")
        self.assertEqual(call.text(0), self.windows_folder + wh.SAMPLE_PACKAGE)
        self.assertEqual(call.text(1), " " + PROPERTIES)
        self.assertEqual(install.calls("user32.MessageBoxW"), [])
        self.assertTrue(self.prefix.is_installed(wh.SAMPLE_PRODUCT_CODE))

        removal = self.run_setup("/x /S")
        self.assertEqual(removal.exit_code, 0)
        # Detection found this very version installed, so no instance transform is added.
        asked = [(c.text(0), c.text(1)) for c in removal.calls("msi.MsiGetProductInfoW")]
        self.assertEqual(asked, [(wh.SAMPLE_PRODUCT_CODE, "InstallLocation"),
                                 (wh.SAMPLE_PRODUCT_CODE, "VersionString")])
        self.assertEqual(removal.call("msi.MsiInstallProductW").text(1), "REMOVE=ALL  " + PROPERTIES)
        self.assertFalse(self.prefix.is_installed(wh.SAMPLE_PRODUCT_CODE))

    def test_without_settings_file_only_the_usage_is_written(self):
        self.distribution(files={"Setup.ini": None})
        launch = self.run_setup("/S")
        self.assertEqual(launch.exit_code, 1)
        self.assertEqual(launch.child_stdout, USAGE)
        self.assertEqual(launch.calls("user32.MessageBoxW"), [])
        self.assertEqual(launch.calls("msi.MsiInstallProductW"), [])

    def test_usage_option_shows_a_box_and_writes_the_usage(self):
        launch = self.run_setup("/?")
        self.assertEqual(launch.exit_code, 1)
        self.assertEqual(launch.child_stdout, USAGE)
        box = launch.call("user32.MessageBoxW")
        self.assertNotEqual(box.text(1), "")
        self.assertEqual((box.text(2), box.number(3)), ("", INFORMATION_BOX))
        self.assertEqual(launch.calls("kernel32.VerifyVersionInfoW"), [])

    def test_unsupported_system_is_told_in_the_chosen_language(self):
        cases = [("", None, ENGLISH_1150),
                 ("/l ru", None, RUSSIAN_1150),
                 ("", {"LC_ALL": "ru_RU.UTF-8"}, RUSSIAN_1150)]   # the user's default language
        self.distribution(files={"Setup.ini": ONLY_WINDOWS_10})
        for arguments, env, text in cases:
            with self.subTest(arguments=arguments, env=env):
                launch = self.run_setup(arguments, env=env)
                self.assertEqual(launch.exit_code, 1)
                self.assertEqual(launch.child_stdout, USAGE)
                box = launch.call("user32.MessageBoxW")
                self.assertTracedText(box.args[1], text)
                self.assertEqual((box.text(2), box.number(3)), ("", INFORMATION_BOX))
                self.assertEqual(launch.calls("msi.MsiInstallProductW"), [])

    def test_service_pack_of_the_running_system_counts(self):
        # Wine's Windows XP is 5.1.2600 with service pack 3. Without a package the install
        # call fails at once, which is enough to tell that the system was accepted.
        self.addCleanup(self.prefix.reset_windows_version)
        self.prefix.set_windows_version("winxp")
        for service_pack, accepted in (("768", True), ("1024", False)):
            with self.subTest(service_pack=service_pack):
                self.distribution(files={"Setup.ini": settings(ServicePack="ServicePack=" + service_pack),
                                         wh.SAMPLE_PACKAGE: None})
                launch = self.run_setup("/S")
                self.assertEqual(len(launch.calls("msi.MsiInstallProductW")), int(accepted))
                self.assertEqual(launch.exit_code == 1, not accepted)

    def test_installer_failure_is_shown_with_the_system_text(self):
        self.distribution(files={wh.SAMPLE_PACKAGE: b"not a package"})
        launch = self.run_setup("/S")
        result = launch.call("msi.MsiInstallProductW").retval
        self.assertNotIn(result, (0, 1602))
        self.assertEqual(launch.exit_code, result)
        box = launch.call("user32.MessageBoxW")
        self.assertNotEqual(box.text(1), "")
        self.assertEqual((box.text(2), box.number(3)), ("Error", ERROR_BOX))

    def test_log_language_transform_and_free_properties_reach_the_installer(self):
        folder = self.distribution(files={"1049.mst": b"not a transform"})
        log = folder + "install.log"
        launch = self.run_setup(f'/l ru /S /debuglog {log} A=1 "B=x y"')
        enable = launch.call("msi.MsiEnableLogW")
        self.assertEqual((enable.number(0), enable.text(1), enable.number(2)), (0x1000, log, 2))
        install = launch.call("msi.MsiInstallProductW")
        self.assertEqual(install.text(1), f'TRANSFORMS=1049.mst {PROPERTIES} A=1 "B=x y" ')
        self.assertEqual(launch.exit_code, install.retval)

    def test_installed_second_instance_gets_its_instance_transform(self):
        self.remove_product_afterwards(wh.SECOND_PRODUCT_CODE)
        second = wh.packages_dir() / wh.SECOND_PACKAGE
        self.assertEqual(self.prefix.wine(["msiexec", "/i", wh.windows_path(second), "/qn"]).exit_code, 0)
        launch = self.run_setup("/S")
        asked = [(c.text(0), c.text(1)) for c in launch.calls("msi.MsiGetProductInfoW")]
        self.assertEqual(asked, [(wh.SAMPLE_PRODUCT_CODE, "InstallLocation"),
                                 (wh.SECOND_PRODUCT_CODE, "InstallLocation"),
                                 (wh.SECOND_PRODUCT_CODE, "VersionString")])
        self.assertEqual(launch.call("msi.MsiInstallProductW").text(1),
                         f"TRANSFORMS=:Second.mst; {PROPERTIES}")


if __name__ == "__main__":
    unittest.main()
