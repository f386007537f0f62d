"""Libraries planted under system names (msi.dll, version.dll) beside setup.exe and in the current
folder, with Wine told to prefer a library found there over its own (as Windows does for any
library that is not one of its KnownDLLs). setup.exe must take both from the system folder only:
the planted code never serves it, and the real installation goes on.

The planted libraries (planted_dll.cpp) write "<library>.ran" beside themselves: a "load" line
whenever a process loads them and a "call <function> from <calling module>" line per call."""

import shutil
import unittest

import wineharness as wh

PLANTED = ("msi.dll", "version.dll")
PREFER_PLANTED = wh.dll_overrides("msi,version=n,b")


def marks(library) -> list:
    """The lines a planted library wrote, [] when its code never ran."""
    path = library.parent / (library.name + ".ran")
    return path.read_bytes().decode("utf-16-le").splitlines() if path.exists() else []


def callers(lines) -> set:
    return {line.split(" from ", 1)[1] for line in lines if line.startswith("call ")}


def is_system_module(path: str) -> bool:
    return path.lower().startswith("c:\\windows\\")


class PlantingTest(wh.SetupTestCase):
    maxDiff = None
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.planted = cls.prefix.tools / "planted"

    def plant(self, folder):
        folder.mkdir(parents=True, exist_ok=True)
        for name in PLANTED:
            shutil.copyfile(self.planted / name, folder / name)

    def test_planted_libraries_never_serve_setup_and_the_installation_goes_on(self):
        self.remove_product_afterwards(wh.SAMPLE_PRODUCT_CODE)
        # The engine installer stand-in runs only if the engine version were misread.
        self.distribution(files={"instmsi30.exe": self.prefix.tools / "engine_installer.exe"},
                          name="planted")
        self.plant(self.folder)
        current = self.folder.parent / (self.folder.name + "-current")
        if current.exists():
            shutil.rmtree(current)
        self.plant(current)

        launch = self.run_setup("/S", cwd=current, env=PREFER_PLANTED)

        # Wine's own user32.dll loads the version.dll beside the program before setup.exe runs
        # and calls it itself (see the next test); setup.exe must never be one of its callers.
        # Everything is gathered first, so that a failure shows the whole picture.
        version_marks = marks(self.folder / "version.dll")
        installs = launch.calls("msi.MsiInstallProductW")
        observed = {
            "msi.dll beside setup.exe": marks(self.folder / "msi.dll"),
            "callers of version.dll beside setup.exe, other than system modules":
                sorted(c for c in callers(version_marks) if not is_system_module(c)),
            "planted in the current folder": [line for name in PLANTED for line in marks(current / name)],
            "engine installer started (engine version misread)": (self.folder / "instmsi30.ran").exists(),
            "install results": [call.retval for call in installs],
            "exit code": launch.exit_code,
            "installed": self.prefix.is_installed(wh.SAMPLE_PRODUCT_CODE),
        }
        self.assertEqual(observed, {
            "msi.dll beside setup.exe": [],
            "callers of version.dll beside setup.exe, other than system modules": [],
            "planted in the current folder": [],
            "engine installer started (engine version misread)": False,
            "install results": [0],
            "exit code": 0,
            "installed": True,
        }, "\n".join(version_marks))

    def test_wine_itself_loads_a_version_dll_beside_any_windowed_program(self):
        # Why the test above cannot ask for no trace of version.dll at all: a program that
        # imports nothing but kernel32 and user32 gets the planted one too, through Wine's user32.
        folder = self.prefix.drive_c / "dist" / "windowed-program"
        if folder.exists():
            shutil.rmtree(folder)
        self.plant(folder)
        shutil.copyfile(self.prefix.tools / "message_box.exe", folder / "message_box.exe")
        self.prefix.wine([folder / "message_box.exe"], env=PREFER_PLANTED)
        version_marks = marks(folder / "version.dll")
        self.assertTrue(version_marks and version_marks[0].startswith("load "), version_marks)
        self.assertEqual({caller.lower() for caller in callers(version_marks)},
                         {"c:\\windows\\system32\\user32.dll"})
        self.assertEqual(marks(folder / "msi.dll"), [])


if __name__ == "__main__":
    unittest.main()
