"""setup.exe end to end: the sample distribution of examples/ under Wine, seen through the calls the
program makes (relay trace), its exit code and standard output, and what got installed."""

import re
import unittest

import msi_transform
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
ONLY_WINDOWS_10 = wh.sample_settings(WinXP="WinXP=0", Vista="Vista=0")
RUSSIAN_NAME = "Ledgr Sample (Russian)"


def localised_usage(language_file: str) -> str:
    """Messages 1203 to 1206 of a language file of examples/, one line each."""
    data = (wh.EXAMPLES / language_file).read_bytes()
    text = data[2:].decode("utf-16-le") if data.startswith(b"\xff\xfe") else data.decode("ascii")
    messages = dict(line.split("=", 1) for line in text.splitlines() if "=" in line)
    return "\n".join(messages[str(number)] for number in range(1203, 1207))


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

    def test_usage_option_shows_the_language_files_usage_or_the_parsers(self):
        without_usage_texts = b"[0x0409]\r\n1150=" + ENGLISH_1150.encode() + b"\r\n"
        cases = [("/?", {}, localised_usage("0x0409.ini")),
                 ("/l ru /?", {}, localised_usage("0x0419.ini")),
                 ("/?", {"0x0409.ini": without_usage_texts}, USAGE.replace("\r\n", "\n"))]
        for number, (arguments, files, text) in enumerate(cases):
            with self.subTest(arguments=arguments, files=list(files)):
                self.distribution(files=files, name=f"usage-{number}")
                launch = self.run_setup(arguments)
                self.assertEqual(launch.exit_code, 1)
                self.assertEqual(launch.child_stdout, USAGE)
                box = launch.call("user32.MessageBoxW")
                self.assertTracedText(box.args[1], text)
                self.assertEqual((box.text(2), box.number(3)), ("", INFORMATION_BOX))
                self.assertEqual(launch.calls("kernel32.VerifyVersionInfoW"), [])

    def test_unsupported_system_is_told_in_the_chosen_language(self):
        # A language without a file of its own falls back to 0x0409.ini and its [0x0409] section.
        cases = [("", None, {}, ENGLISH_1150),
                 ("/l ru", None, {}, RUSSIAN_1150),
                 ("", {"LC_ALL": "ru_RU.UTF-8"}, {}, RUSSIAN_1150),   # the user's default language
                 ("/l de", None, {}, ENGLISH_1150),
                 ("/l ru", None, {"0x0419.ini": None}, ENGLISH_1150)]
        for number, (arguments, env, files, text) in enumerate(cases):
            with self.subTest(arguments=arguments, env=env, files=list(files)):
                self.distribution(files={"Setup.ini": ONLY_WINDOWS_10, **files},
                                  name=f"unsupported-{number}")
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
                settings = wh.sample_settings(ServicePack="ServicePack=" + service_pack)
                self.distribution(files={"Setup.ini": settings, wh.SAMPLE_PACKAGE: None})
                launch = self.run_setup("/S")
                self.assertEqual(len(launch.calls("msi.MsiInstallProductW")), int(accepted))
                self.assertEqual(launch.exit_code == 1, not accepted)

    def test_installer_failure_is_the_exit_code_and_shown_with_the_system_text(self):
        # The texts are those of Wine's message table for the codes.
        cases = [("not a package", {wh.SAMPLE_PACKAGE: b"not a package"}, None, 1627,
                  "Function failed.\r\n"),
                 ("missing package", {wh.SAMPLE_PACKAGE: None}, None, 2, "File not found.\r\n"),
                 # No msi.dll at all: no installer call could be made, which counts as result 1.
                 ("no msi.dll", {}, wh.dll_overrides("msi=d"), 1, "Invalid function.\r\n")]
        for number, (what, files, env, code, text) in enumerate(cases):
            with self.subTest(what):
                self.distribution(files=files, name=f"failure-{number}")
                launch = self.run_setup("/S", env=env)
                self.assertEqual(launch.exit_code, code)
                installs = launch.calls("msi.MsiInstallProductW")
                if env is None:
                    self.assertEqual([(c.text(0), c.text(1), c.retval) for c in installs],
                                     [(self.windows_folder + wh.SAMPLE_PACKAGE, " " + PROPERTIES, code)])
                else:
                    self.assertEqual(launch.trace.of("msi.MsiInstallProductW"), [])
                box = launch.call("user32.MessageBoxW")
                self.assertEqual((box.text(1), box.text(2), box.number(3)), (text, "Error", ERROR_BOX))
                self.assertFalse(self.prefix.is_installed(wh.SAMPLE_PRODUCT_CODE))

    def test_log_language_transform_and_free_properties_reach_the_installer(self):
        self.remove_product_afterwards(wh.SAMPLE_PRODUCT_CODE)
        transform = msi_transform.property_transform({"ProductName": RUSSIAN_NAME})
        folder = self.distribution(files={"1049.mst": transform})
        log = folder + "install.log"
        launch = self.run_setup(f'/l ru /S /debuglog {log} A=1 B="x y"')
        enable = launch.call("msi.MsiEnableLogW")
        self.assertEqual((enable.number(0), enable.text(1), enable.number(2)), (0x1000, log, 2))
        install = launch.call("msi.MsiInstallProductW")
        self.assertEqual(install.text(1), f'TRANSFORMS=1049.mst {PROPERTIES} A=1 B="x y" ')
        self.assertEqual((install.retval, launch.exit_code), (0, 0))
        # The installer applied the transform and took the properties, as its log tells.
        self.assertEqual(self.prefix.product(wh.SAMPLE_PRODUCT_CODE).value("ProductName"), RUSSIAN_NAME)
        written = (self.folder / "install.log").read_text(encoding="utf-8", errors="replace")
        logged = dict(re.findall(r"^Property\(S\): (\w+) = (.*)$", written, re.M))
        self.assertEqual({name: logged.get(name) for name in ("REBOOT", "A", "B", "ProductName")},
                         {"REBOOT": "ReallySuppress", "A": "1", "B": "x y", "ProductName": RUSSIAN_NAME})

    def test_installed_second_instance_gets_its_instance_transform_unless_admupdt_cfg(self):
        # The sample package is the instance "Second" by the setup.ini beside it. Its embedded
        # transform Second.mst gives it that instance's product code and name, so the installer
        # works on the installed instance (Wine installs it again and answers 0), as its log and
        # the products installed afterwards show; without the transform it installs the product.
        self.remove_product_afterwards(wh.SECOND_PRODUCT_CODE)
        self.remove_product_afterwards(wh.SAMPLE_PRODUCT_CODE)
        second = wh.packages_dir() / wh.SECOND_PACKAGE
        self.assertEqual(self.prefix.wine(["msiexec", "/i", wh.windows_path(second), "/qn"]).exit_code, 0)
        main_info = [(wh.SAMPLE_PRODUCT_CODE, "InstallLocation")]
        instance_info = [(wh.SECOND_PRODUCT_CODE, "InstallLocation"),
                         (wh.SECOND_PRODUCT_CODE, "VersionString")]
        cases = [({}, main_info + instance_info, f"TRANSFORMS=:Second.mst; {PROPERTIES}",
                  ("{6F1D3C2A-8B4E-4F5A-9C7D-2E3B4A5C6D72}", "Ledgr Sample (Second)"), False),
                 # The marker keeps the instance's product code out, so only the product is asked.
                 ({"admupdt.cfg": b""}, main_info, " " + PROPERTIES,
                  ("{6F1D3C2A-8B4E-4F5A-9C7D-2E3B4A5C6D71}", "Ledgr Sample (Main)"), True)]
        for number, (files, asked, text, identity, product_installed) in enumerate(cases):
            with self.subTest(files=list(files)):
                folder = self.distribution(files=files, name=f"instance-{number}")
                launch = self.run_setup(f"/S /debuglog {folder}install.log")
                self.assertEqual([(c.text(0), c.text(1)) for c in launch.calls("msi.MsiGetProductInfoW")],
                                 asked)
                install = launch.call("msi.MsiInstallProductW")
                self.assertEqual(install.text(1), text)
                self.assertEqual((install.retval, launch.exit_code), (0, 0))
                written = (self.folder / "install.log").read_text(encoding="utf-8", errors="replace")
                logged = dict(re.findall(r"^Property\(S\): (\w+) = (.*)$", written, re.M))
                self.assertEqual((logged.get("ProductCode"), logged.get("ProductName")), identity)
                self.assertEqual(self.prefix.is_installed(wh.SAMPLE_PRODUCT_CODE), product_installed)
                self.assertTrue(self.prefix.is_installed(wh.SECOND_PRODUCT_CODE))
                if product_installed:
                    self.prefix.uninstall(wh.SAMPLE_PRODUCT_CODE)


if __name__ == "__main__":
    unittest.main()
