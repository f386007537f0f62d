"""Shows a Windows program under Wine on a virtual screen (Xvfb) and saves what a person would see
as a PNG: for looking at boxes, icons and file properties, not for tests.

    python3 tests/e2e/screenshot.py OUT.png [--seconds N] -- PROGRAM [ARGUMENTS...]

PROGRAM is what ``wine`` is given: a Unix path of a .exe, or a program of Wine's own such as
``explorer Z:\\\\path\\\\to\\\\folder``. It runs in a prefix of its own (build/windows/e2e/screenshots/),
in Wine's "Light" theme, with ``.exe`` files bound to their own icons as on Windows, under the
Wine loader of the .exe's architecture (of Wine's own programs: x86 where it runs, else x64)."""

import argparse
import os
import subprocess
import sys
import time
from pathlib import Path

import wineharness as wh

THEME_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager"
THEME = {"ThemeActive": "1", "DllName": r"C:\windows\resources\themes\light\light.msstyles",
         "ColorName": "Blue", "SizeName": "NormalSize"}
# Wine draws its boxes in Tahoma, which Debian's Wine does not ship. A missing font with links
# takes the first linked font in its place (DejaVu Sans: Latin, Cyrillic, Georgian), and that
# font's own links give what it lacks (Chinese, from fonts-noto-cjk).
FONT_LINK_KEY = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink"
FONT_LINKS = {"Tahoma": ["DejaVuSans.ttf,DejaVu Sans"], "DejaVu Sans": ["NotoSansCJK-Regular.ttc,Noto Sans CJK SC"]}


def screenshot_prefix(program: str) -> wh.Prefix:
    work = wh.e2e_work_dir() / "screenshots"
    arch = wh.pe_architecture(Path(program)) if Path(program).is_file() else wh.runnable_architecture()
    prefix = wh.Prefix(work / "wineprefix", wh.Prefix.from_environment().tools, work / "runs", arch)
    prefix.ensure()
    for name, value in THEME.items():
        prefix.reg_add(THEME_KEY, name, value)
    # Wine's registry names the class of .exe files (their icon is the file's own) but does not
    # tie the extension to it, so its shell would draw every program with the document icon.
    prefix.reg_add(r"HKCR\.exe", "", "exefile")
    for font, links in FONT_LINKS.items():
        prefix.reg_add(FONT_LINK_KEY, font, "\\0".join(links), "REG_MULTI_SZ")
    # Wine's desktop process, started by those edits without a display, would keep every later
    # window of the prefix off the screen.
    prefix.stop()
    return prefix


def main(argv) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output", type=Path)
    parser.add_argument("--seconds", type=float, default=6, help="wait before the picture")
    parser.add_argument("command", nargs="+")
    arguments = parser.parse_args(argv)
    prefix = screenshot_prefix(arguments.command[0])
    read, write = os.pipe()
    screen = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24"],
                              pass_fds=[write], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        display = ":" + os.read(read, 16).decode().strip()
        env = prefix.env(extra={"DISPLAY": display})
        with open(prefix.path.parent / "program.log", "ab") as log:
            subprocess.Popen([prefix.loader, *arguments.command], env=env, stdin=subprocess.DEVNULL,
                             stdout=log, stderr=log)
        time.sleep(arguments.seconds)
        # The screen is black where no window is: trimmed, the picture holds the windows only.
        subprocess.run(["import", "-display", display, "-window", "root", "-trim", "+repage",
                        str(arguments.output)], check=True)
    finally:
        prefix.stop()
        screen.terminate()
        screen.wait()
    print(arguments.output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
