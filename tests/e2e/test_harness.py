"""The harness proven on what exists without setup.exe: msiexec stands in for the program that hands
a package to the Windows Installer, message_box.exe for one that shows a box."""

import time
import unittest

import wineharness as wh


class HarnessTest(wh.WineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.package = wh.packages_dir() / wh.SAMPLE_PACKAGE

    def test_sample_packages_hold_the_rows_the_program_reads(self):
        for name, code in ((wh.SAMPLE_PACKAGE, wh.SAMPLE_PRODUCT_CODE),
                           (wh.SECOND_PACKAGE, wh.SECOND_PRODUCT_CODE)):
            with self.subTest(package=name):
                package = wh.packages_dir() / name
                files = [(row[0], row[4]) for row in wh.msi_table(package, "File")]
                self.assertEqual(files, [("ledgr.dll", wh.SAMPLE_VERSION)])
                properties = dict(row[:2] for row in wh.msi_table(package, "Property"))
                self.assertEqual(properties["ProductCode"], code)
                self.assertEqual(properties["ProductVersion"], wh.SAMPLE_VERSION)

    def test_msiexec_install_is_traced_and_really_installs(self):
        package = wh.windows_path(self.package)
        launch = self.prefix.launch(f'msiexec /i "{package}" /qn PROP=1', label="install")
        try:
            self.assertEqual(launch.exit_code, 0, launch.run.stderr[-3000:])
            install = launch.call("msi.MsiInstallProductW")
            self.assertEqual(install.text(0), package)
            self.assertEqual(install.text(1), " PROP=1")
            self.assertFalse(install.args[1].truncated)
            self.assertEqual(install.retval, 0)
            self.assertEqual([c.number(0) for c in launch.calls("msi.MsiSetInternalUI")], [2])
            self.assertEqual(launch.call("kernel32.ExitProcess").number(0), 0)

            product = self.prefix.product(wh.SAMPLE_PRODUCT_CODE)
            self.assertTrue(product.installed)
            self.assertEqual(product.value("VersionString"), wh.SAMPLE_VERSION)
            self.assertEqual(product.value("ProductName"), "Ledgr Sample (Main)")
            installed_file = self.prefix.drive_c / "Program Files (x86)" / "Ledgr Main" / "ledgr.dll"
            self.assertTrue(installed_file.is_file())
        finally:
            removal = self.prefix.launch(f"msiexec /x {wh.SAMPLE_PRODUCT_CODE} /qn", label="remove")
        self.assertEqual(removal.exit_code, 0)
        self.assertEqual(self.prefix.product(wh.SAMPLE_PRODUCT_CODE).state, wh.INSTALLSTATE_UNKNOWN)
        self.assertFalse(installed_file.exists())

    def test_the_second_instance_is_a_product_of_its_own(self):
        second = wh.packages_dir() / wh.SECOND_PACKAGE
        run = self.prefix.wine(["msiexec", "/i", wh.windows_path(second), "/qn"], label="second")
        try:
            self.assertEqual(run.exit_code, 0)
            products = self.prefix.products(wh.SAMPLE_PRODUCT_CODE, wh.SECOND_PRODUCT_CODE)
            self.assertFalse(products[wh.SAMPLE_PRODUCT_CODE].installed)
            self.assertTrue(products[wh.SECOND_PRODUCT_CODE].installed)
            self.assertEqual(products[wh.SECOND_PRODUCT_CODE].value("VersionString"), wh.SAMPLE_VERSION)
        finally:
            self.prefix.uninstall(wh.SECOND_PRODUCT_CODE)
        self.assertFalse(self.prefix.is_installed(wh.SECOND_PRODUCT_CODE))

    def test_message_box_is_traced_and_does_not_wait_without_a_display(self):
        started = time.monotonic()
        launch = self.prefix.launch(str(self.prefix.tools / "message_box.exe"), label="box")
        self.assertLess(time.monotonic() - started, 30)
        box = launch.call("user32.MessageBoxW")
        self.assertEqual(box.text(1), 'Known text: "quoted"\\ line\nnext\tTab \u0416')
        self.assertEqual(box.text(2), "Known caption")
        self.assertEqual(box.number(3), 0x1010)
        self.assertEqual(box.retval, 0xFFFFFFFF)  # -1: Wine had no display to show it on
        # The whole 32-bit exit code, although a shell sees only 255 of it.
        self.assertEqual(launch.exit_code, 0xFFFFFFFF)
        self.assertEqual(launch.run.exit_code, 255)
        self.assertEqual(launch.call("kernel32.ExitProcess").number(0), 0xFFFFFFFF)

    def test_crash_and_abort_are_told_from_an_orderly_end(self):
        # What the tests of bad input rely on to say "never a crash".
        program = wh.windows_path(self.prefix.tools / "crash.exe")
        for argument, exit_code, sign in (("fault", 0xC0000005, "Unhandled page fault"),
                                          ("abort", 3, "terminate called")):
            with self.subTest(argument):
                launch = self.prefix.launch(f'"{program}" {argument}', label="crash")
                self.assertEqual(launch.exit_code, exit_code)
                self.assertIn(sign, "\n".join(wh.crash_signs(launch.run)))
        orderly = self.prefix.launch(str(self.prefix.tools / "message_box.exe"), label="orderly")
        self.assertEqual(wh.crash_signs(orderly.run), [])

    def test_launcher_hands_over_the_exact_command_line(self):
        program = wh.windows_path(self.prefix.tools / "message_box.exe")
        command_line = f'"{program}"  a\\"b "c d"\t\u0416 \\\\"x" '
        launch = self.prefix.launch(command_line, label="exact")
        self.assertEqual(launch.call("user32.MessageBoxW").text(1), command_line)
        # The launcher's own call, told from those of Wine's background processes by its text.
        handed = [c for c in launch.trace.of("kernel32.CreateProcessW") if c.text(1) == command_line]
        self.assertEqual(len(handed), 1)
        self.assertIsNone(handed[0].text(0))

    def test_launcher_reports_a_program_that_cannot_start(self):
        launch = self.prefix.launch(r"C:\no\such\program.exe", label="missing")
        self.assertIsNone(launch.exit_code)
        self.assertIn(launch.start_error, (2, 3))  # file or path not found

    def test_windows_version_of_the_prefix(self):
        try:
            for version, expected in (("winxp", "5.1.2600"), ("win7", "6.1.7601")):
                self.prefix.set_windows_version(version)
                run = self.prefix.wine(["cmd", "/c", "ver"], label="ver-" + version)
                self.assertIn(expected, run.stdout)
        finally:
            self.prefix.reset_windows_version()


if __name__ == "__main__":
    unittest.main()
