"""Bad input setup.exe must survive: settings files of any size and content, command lines at the
system's limits, language files that are missing or unreadable, a package that is not one, an
engine installer that is not a program.

Each case ends in its specified outcome or in a clear failure: the usage on standard output with
exit code 1 (settings that do not allow an installation), or an error code as exit code with its
system text in the "Error" box. Never a crash or the runtime's abort (checked from the exit code
and Wine's standard error), never a hang (every run has a time limit)."""

import random
import re
import unittest

import msi_transform
import wineharness as wh

PROPERTIES = "REBOOT=ReallySuppress"
SAMPLE = wh.sample_settings().encode("ascii")
ENGLISH_1150 = "This product needs a newer version of Windows. Setup cannot continue."
ONLY_WINDOWS_10 = wh.sample_settings(WinXP="WinXP=0", Vista="Vista=0")
ERROR_NOT_ENOUGH_MEMORY = 8
ERROR_INVALID_COMMAND_LINE = 1639
# What Wine's installer answers for a package it cannot open, and for one that is no database.
ERROR_FUNCTION_FAILED, ERROR_INSTALL_PACKAGE_INVALID = 1627, 1620
LIMIT_SECONDS = 60
INSTALLS, REFUSED = "installs", "refused"
MAXIMUM_COMMAND_LINE = 32767


def noise(size: int, seed: int) -> bytes:
    """Bytes that look like nothing, the same on every run, starting with no byte-order mark."""
    data = bytearray(random.Random(seed).randbytes(size))
    data[0] = ord("x")
    return bytes(data)


def settings_with(old: bytes, new: bytes) -> bytes:
    assert SAMPLE.count(old) == 1, old
    return SAMPLE.replace(old, new)


class BadInputTest(wh.SetupTestCase):
    maxDiff = None

    # --- outcomes

    def assert_survived(self, launch):
        self.assertIsNotNone(launch.exit_code, "setup.exe did not start")
        self.assertLess(launch.exit_code, 0xC0000000, f"ended by exception {launch.exit_code:#x}")
        self.assertEqual(wh.crash_signs(launch.run), [])

    def assert_installed(self, launch, properties=" " + PROPERTIES):
        """The installation ran with these properties (a text or a pattern) and succeeded; the
        product is removed again for the next case."""
        self.assert_survived(launch)
        install = launch.call("msi.MsiInstallProductW")
        if isinstance(properties, re.Pattern):
            self.assertRegex(install.text(1), properties)
        else:
            self.assertTracedText(install.args[1], properties)
        self.assertEqual((install.retval, launch.exit_code), (0, 0))
        self.assertTrue(self.prefix.is_installed(wh.SAMPLE_PRODUCT_CODE))
        self.prefix.uninstall(wh.SAMPLE_PRODUCT_CODE)

    def assert_refused(self, launch, message=ENGLISH_1150):
        """The settings allow no installation: the message box, then the usage and exit code 1."""
        self.assert_survived(launch)
        self.assertEqual(launch.exit_code, 1)
        self.assertTrue(launch.child_stdout.startswith("Usage:  [/l <str>]"), launch.child_stdout)
        box = launch.call("user32.MessageBoxW")
        self.assertEqual((box.text(1), box.text(2), box.number(3)), (message, "", 0x40))
        self.assertEqual(launch.calls("msi.MsiInstallProductW"), [])

    def assert_error_box(self, launch, code, text):
        self.assert_survived(launch)
        self.assertEqual(launch.exit_code, code)
        box = launch.call("user32.MessageBoxW")
        self.assertEqual((box.text(1), box.text(2), box.number(3)), (text, "Error", 0x1010))
        self.assertFalse(self.prefix.is_installed(wh.SAMPLE_PRODUCT_CODE))

    def run_case(self, name, files, arguments="/S", **options):
        self.distribution(files=files, name=name)
        return self.run_setup(arguments, timeout=LIMIT_SECONDS, label=name, **options)

    # --- settings files

    def test_settings_of_any_content(self):
        self.remove_product_afterwards(wh.SAMPLE_PRODUCT_CODE)
        utf16 = wh.ini_bytes(wh.sample_settings(), "utf-16")
        # Keys that sort before the systems' own, so that all of them are looked at first.
        fillers = "".join(f"Filler{i:06d}=0\r\n" for i in range(100_000)).encode("ascii")
        cmdline = b"CmdLine=" + PROPERTIES.encode()
        invalid_utf8 = (b"\xef\xbb\xbf"
                        + settings_with(cmdline, cmdline + b" NOTE=a\xc0\x80b\xffc\xe2\x82d")
                        + b"\r\n; cut short \xf0\x9f")
        engine = "[MsiVersion]".encode("utf-16-le")
        cases = [
            ("empty", b"", REFUSED),
            ("binary noise", noise(65536, 1), REFUSED),
            ("binary noise after a UTF-16 mark", b"\xff\xfe" + noise(65535, 2), REFUSED),
            ("binary noise after a UTF-8 mark", b"\xef\xbb\xbf" + noise(65536, 3), REFUSED),
            # The text ends at its first NUL: what follows it, here the engine and the systems,
            # is not read.
            ("a NUL at the start", b"\0" + SAMPLE, REFUSED),
            ("a NUL before the engine section", settings_with(b"[MsiVersion]", b"\0[MsiVersion]"), REFUSED),
            ("a NUL before the engine section in UTF-16", utf16.replace(engine, b"\0\0" + engine), REFUSED),
            ("NULs after the last section", SAMPLE + b"\0\0;\0\r\n", INSTALLS),
            ("invalid UTF-8 after its mark", invalid_utf8,
             re.compile(f"^ {PROPERTIES} NOTE=a\ufffd+b\ufffd+c\ufffd+d$")),
            ("odd-length UTF-16", utf16 + b"A", INSTALLS),
            ("100,000 keys in a section", settings_with(b"[Systems]\r\n", b"[Systems]\r\n" + fillers),
             INSTALLS),
            ("a line of 10 MB", settings_with(b"Product=Ledgr Sample", b"Product=" + b"x" * (10 << 20)),
             INSTALLS),
        ]
        for number, (what, settings, outcome) in enumerate(cases):
            with self.subTest(what):
                launch = self.run_case(f"settings-{number}", {"Setup.ini": settings})
                if outcome == REFUSED:
                    self.assert_refused(launch)
                elif outcome == INSTALLS:
                    self.assert_installed(launch)
                else:
                    self.assert_installed(launch, outcome)

    def lay_out_with_large_settings(self, name, lines):
        """A distribution whose Setup.ini is the sample followed by a section of 200 MB, written
        piece by piece and deleted when the test ends."""
        self.distribution(name=name)
        path = self.folder / "Setup.ini"
        self.addCleanup(lambda: path.unlink(missing_ok=True))
        with open(path, "wb") as settings:
            settings.write(SAMPLE + b"\r\n[Filler]\r\n")
            written = len(SAMPLE)
            for chunk in lines():
                settings.write(chunk)
                written += len(chunk)
                if written >= 200 << 20:
                    break

    def test_settings_of_200_megabytes_of_comments_install(self):
        self.remove_product_afterwards(wh.SAMPLE_PRODUCT_CODE)
        comments = b"; " + b"c" * 76 + b"\r\n"

        def lines():
            while True:
                yield comments * 10_000

        self.lay_out_with_large_settings("large-comments", lines)
        self.assert_installed(self.run_setup("/S", timeout=LIMIT_SECONDS))

    def test_settings_of_200_megabytes_of_keys_install_or_fail_clearly(self):
        # 2.6 million keys may not fit into a 32-bit process: then the "Error" box tells so.
        self.remove_product_afterwards(wh.SAMPLE_PRODUCT_CODE)

        def lines():
            value = b"v" * 66
            for block in range(1_000_000):
                yield b"".join(b"K%09d=%s\r\n" % (block * 1000 + i, value) for i in range(1000))

        self.lay_out_with_large_settings("large-keys", lines)
        launch = self.run_setup("/S", timeout=LIMIT_SECONDS)
        if launch.exit_code == 0:
            self.assert_installed(launch)
        else:
            self.assert_error_box(launch, ERROR_NOT_ENOUGH_MEMORY, "Not enough memory.\r\n")

    def test_settings_larger_than_the_process_can_hold_end_with_error_8(self):
        # A sparse file of a terabyte takes no room on the disk, and no process on a machine of
        # this size can hold it: reading it throws the run's one exception, through the C++
        # runtime's exception machinery as setup.exe links it (setup/driver/one_thread.cpp).
        self.distribution(name="sparse-settings")
        path = self.folder / "Setup.ini"
        self.addCleanup(lambda: path.unlink(missing_ok=True))
        with open(path, "r+b") as settings:
            settings.truncate(1 << 40)
        self.assert_error_box(self.run_setup("/S"), ERROR_NOT_ENOUGH_MEMORY, "Not enough memory.\r\n")

    # --- command lines

    def test_command_lines_at_the_limits(self):
        self.remove_product_afterwards(wh.SAMPLE_PRODUCT_CODE)
        self.distribution(name="command-lines")
        program = f'"{self.windows_folder}setup.exe"'
        log = self.windows_folder + "install.log"
        head = f"/S /debuglog {log} LONG="
        value = "y" * (30_000 - len(program) - 1 - len(head))

        launch = self.run_setup(head + value, timeout=LIMIT_SECONDS)
        self.assertEqual(len(launch.command_line), 30_000)
        self.assert_installed(launch, f" {PROPERTIES} LONG={value} ")
        written = (self.folder / "install.log").read_text(encoding="utf-8", errors="replace")
        self.assertIn(f"Property(S): LONG = {value}\n", written)   # all of it reached the installer

        switches = " ".join(["/S"] * 10_000)
        launch = self.run_setup(switches, timeout=LIMIT_SECONDS)
        self.assertEqual(launch.call("msi.MsiSetInternalUI").number(0), 2)
        self.assert_installed(launch)

        # Every one a free argument; the installer refuses properties without a value.
        free = "/S " + " ".join(["X"] * 9_999)
        self.assertLess(len(program) + 1 + len(free), MAXIMUM_COMMAND_LINE)
        launch = self.run_setup(free, timeout=LIMIT_SECONDS)
        self.assertTracedText(launch.call("msi.MsiInstallProductW").args[1],
                              f" {PROPERTIES} " + "X " * 9_999)
        self.assert_error_box(launch, ERROR_INVALID_COMMAND_LINE, "Invalid command line.\r\n")

    # --- other files of the distribution

    def test_missing_or_unreadable_language_files_leave_the_messages_empty(self):
        big_endian = b"\xfe\xff" + "[0x0409]\r\n1150=Never read\r\n".encode("utf-16-be")
        cases = [("", {"0x0409.ini": None, "0x0419.ini": None}),
                 ("", {"0x0409.ini": None, "0x0409.ini/inside.txt": b""}),   # a folder
                 ("", {"0x0409.ini": big_endian}),
                 ("", {"0x0409.ini": noise(4096, 4)}),
                 # The language's own file is there, as a folder: no fallback to English then.
                 ("/l ru", {"0x0419.ini": None, "0x0419.ini/inside.txt": b""})]
        for number, (arguments, files) in enumerate(cases):
            with self.subTest(arguments=arguments, files=list(files)):
                launch = self.run_case(f"language-{number}", {"Setup.ini": ONLY_WINDOWS_10, **files},
                                       arguments)
                self.assert_refused(launch, message="")

        # Where the system is supported, no message is needed at all.
        self.remove_product_afterwards(wh.SAMPLE_PRODUCT_CODE)
        self.assert_installed(self.run_case("language-none", {"0x0409.ini": None, "0x0419.ini": None}))

    def test_package_that_is_not_a_package(self):
        cannot_open = (ERROR_FUNCTION_FAILED, "Function failed.\r\n")
        cases = [("empty", {wh.SAMPLE_PACKAGE: b""}, cannot_open),
                 ("a folder", {wh.SAMPLE_PACKAGE: None, wh.SAMPLE_PACKAGE + "/inside.txt": b""},
                  cannot_open),
                 ("binary noise", {wh.SAMPLE_PACKAGE: noise(65536, 5)}, cannot_open),
                 ("a compound file but no database",
                  {wh.SAMPLE_PACKAGE: msi_transform.property_transform({"A": "1"})},
                  (ERROR_INSTALL_PACKAGE_INVALID, "Installation package is invalid.\r\n"))]
        for number, (what, files, (code, text)) in enumerate(cases):
            with self.subTest(what):
                launch = self.run_case(f"package-{number}", files)
                self.assertEqual(launch.call("msi.MsiInstallProductW").retval, code)
                self.assert_error_box(launch, code, text)

    def test_engine_installer_that_is_not_a_program(self):
        # The engine is older than required, so setup.exe tries to start it. That fails, or,
        # for anything that begins like a program ("MZ"), a 32-bit caller gets Wine's DOS
        # support, which gives up at once; a 64-bit one has none, as 64-bit Windows has none.
        # Either way the installation goes on.
        self.remove_product_afterwards(wh.SAMPLE_PRODUCT_CODE)
        newer_engine = wh.sample_settings(**{"3.1": "9.0=Systems"})
        cases = [("text", b"plain text, no program", False),
                 ("empty", b"", False),
                 ("a broken program", b"MZ" + noise(4094, 6), self.prefix.arch == "x86")]
        for number, (what, content, started) in enumerate(cases):
            with self.subTest(what):
                launch = self.run_case(f"engine-{number}", {"Setup.ini": newer_engine,
                                                            "instmsi30.exe": content})
                start = launch.call("kernel32.CreateProcessW")
                self.assertEqual((start.text(0), start.retval),
                                 (self.windows_folder + "instmsi30.exe", int(started)))
                self.assert_installed(launch)


if __name__ == "__main__":
    unittest.main()
