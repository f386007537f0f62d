"""A product's name, company, version and icon on setup.exe, read back from the file; and the
values refused before anything is built: the rules of cmake/branding.cmake, which `./run brand`
and a build of one's own both reach through the configuration's cache variables."""

import json
import shutil
import subprocess
import unittest
from pathlib import Path

import resources
import wineharness as wh

HERE = Path(__file__).resolve().parent
SAMPLE_BRAND = json.loads((HERE / "sample-brand.json").read_text(encoding="utf-8"))
PLAIN_ICON = wh.REPO / "setup" / "driver" / "setup.ico"
PLAIN_STRINGS = {"FileDescription": "Product setup", "FileVersion": "1.0.0.0",
                 "InternalName": "setup", "OriginalFilename": "setup.exe",
                 "ProductName": "setup", "ProductVersion": "1.0.0.0"}


class BrandedFileTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.plain, cls.branded = wh.setup_exe(), wh.branded_setup_exe()
        if cls.plain is None or cls.branded is None:
            raise unittest.SkipTest("setup.exe is not built yet")

    def test_each_file_says_exactly_what_its_build_was_given(self):
        name, company = SAMPLE_BRAND["name"], SAMPLE_BRAND["company"]
        version = tuple(map(int, SAMPLE_BRAND["version"].split(".")))
        branded_strings = {**PLAIN_STRINGS, "ProductName": name, "FileDescription": f"{name} Setup",
                           "FileVersion": SAMPLE_BRAND["version"],
                           "ProductVersion": SAMPLE_BRAND["version"], "CompanyName": company,
                           "LegalCopyright": f"Copyright © {company}"}
        cases = [(self.plain, PLAIN_STRINGS, (1, 0, 0, 0), PLAIN_ICON),
                 (self.branded, branded_strings, version, HERE / SAMPLE_BRAND["icon"])]
        for program, strings, numbers, icon in cases:
            with self.subTest(program=str(program)):
                info = resources.version_info(program)
                self.assertEqual(info.strings, strings)
                self.assertEqual((info.file_version, info.product_version), (numbers, numbers))
                self.assertEqual(resources.program_icon(program),
                                 resources.icon_images(icon.read_bytes()))

    def test_branding_leaves_the_manifest_as_it_is(self):
        self.assertEqual(resources.manifest(self.branded), resources.manifest(self.plain))


class BadBrandTest(unittest.TestCase):
    def configure(self, folder: Path, **values) -> subprocess.CompletedProcess:
        """The configuration of a branded setup.exe in ``folder``, where one of an earlier
        configuration lies."""
        folder.mkdir(parents=True)
        (folder / "setup.exe").write_bytes(b"from an earlier configuration")
        brand = {"NAME": "Quill Notes", "COMPANY": "Quill Ltd", "VERSION": "3.2.1.0",
                 "ICON": str(HERE / SAMPLE_BRAND["icon"]), **values}
        defines = [b"-DSETUP_BRAND_%s=%s" % (key.encode(), value if isinstance(value, bytes)
                                             else value.encode()) for key, value in brand.items()]
        return subprocess.run([b"cmake", b"--preset", b"brand", b"-B", bytes(folder), *defines],
                              cwd=wh.REPO, capture_output=True, text=True, errors="replace")

    def test_bad_values_end_the_configuration_with_a_message_and_no_setup_exe(self):
        work = wh.e2e_work_dir() / "bad-brand"
        shutil.rmtree(work, ignore_errors=True)
        work.mkdir(parents=True)
        png = work / "quill.png"
        png.write_bytes(b"\x89PNG\r\n\x1a\n" + bytes(100))
        cut_icon = work / "cut.ico"
        cut_icon.write_bytes((HERE / SAMPLE_BRAND["icon"]).read_bytes()[:2000])
        not_a_version = "is not four numbers from 0 to 65535 separated by dots, without leading zeros"
        not_text = "is not one line of UTF-8 text: a version resource holds no control characters"
        cases = [
            ({"VERSION": "3.2.1"}, f'the version "3.2.1" {not_a_version}'),
            ({"VERSION": "3.2.1.65536"}, f'the version "3.2.1.65536" {not_a_version}'),
            ({"VERSION": "3.2.01.0"}, f'the version "3.2.01.0" {not_a_version}'),
            ({"VERSION": "3.2.1.0 beta"}, f'the version "3.2.1.0 beta" {not_a_version}'),
            ({"NAME": "Quill\tNotes"}, f'the name "Quill\tNotes" {not_text}'),
            ({"COMPANY": b"Quill \xe9 Ltd"}, f'the company "Quill \ufffd Ltd" {not_text}'),
            ({"COMPANY": "Quill \x85 Ltd"}, f'the company "Quill \x85 Ltd" {not_text}'),
            ({"NAME": "Q" * 257}, "the name is 257 bytes long; at most 256 fit"),
            ({"COMPANY": ""}, "a branded setup.exe needs a name, a company and a version; the company is missing"),
            ({"ICON": str(png)}, f'the icon "{png}" is not an .ico file'),
            ({"ICON": str(cut_icon)}, f'the icon "{cut_icon}" is not an .ico file (image 2 of 2 lies outside the file)'),
            ({"ICON": str(work / "none.ico")}, f'the icon "{work / "none.ico"}" is not a file'),
        ]
        for number, (values, message) in enumerate(cases):
            with self.subTest(values=values):
                folder = work / str(number)
                result = self.configure(folder, **values)
                self.assertNotEqual(result.returncode, 0, result.stdout)
                # CMake rewraps the message's lines.
                self.assertIn(" ".join(("setup branding: " + message).split()),
                              " ".join(result.stderr.split()))
                self.assertFalse((folder / "setup.exe").exists())
        # The same configuration with good values goes through, and leaves what it finds; the
        # program's own icon holds a PNG image, as a product's icon may.
        accepted = self.configure(work / "good", NAME="Quill «Notes» 中文 \\ \"Pro\"",
                                  ICON=str(PLAIN_ICON))
        self.assertEqual(accepted.returncode, 0, accepted.stderr)
        self.assertTrue((work / "good" / "setup.exe").exists())


if __name__ == "__main__":
    unittest.main()
