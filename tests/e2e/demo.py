"""The sample product installed by setup.exe under Wine, told the way a user wants to see it.

    python3 tests/e2e/demo.py [setup.exe arguments]     (``./run demo [-- arguments]``)

Without arguments setup.exe runs silently (/S) and installs the sample product; ``/x /S``
removes it again. The program is build/windows/setup.exe unless SETUP_EXE names another (./run
takes the 64-bit one where the 32-bit one cannot run), with the harness's tools of its build.
The prefix, the packages and the distribution live in build/demo-x86/ (or -x64/, after the
program) and are kept between runs, so that a later run sees what an earlier one installed.
"""

from __future__ import annotations

import os
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
os.environ.setdefault("SETUP_E2E_WORK", str(REPO / "build" / "demo-x86"))
os.environ.setdefault("SETUP_E2E_PREFIX", str(Path(os.environ["SETUP_E2E_WORK"]) / "wineprefix"))
os.environ.setdefault("SETUP_E2E_TOOLS", str(REPO / "build" / "windows" / "tests" / "e2e"))

sys.path.insert(0, str(Path(__file__).resolve().parent))
import wineharness as harness  # noqa: E402  (the paths above must be set first)

# What the Windows Installer's results mean to someone running setup.exe.
EXIT_CODES = {
    0: "success",
    1: "setup.exe stopped before the installer: see the message or the usage text",
    2: "the package file was not found",
    1602: "the user cancelled the installation",
    1603: "a fatal error occurred during installation",
    1605: "the product is not installed",
    1618: "another installation is already in progress",
    1619: "the package could not be opened",
    1624: "a transform could not be applied",
    1638: "another version of this product is already installed",
    1639: "invalid command-line argument",
    3010: "success; a restart is required to complete it",
}

PRODUCTS = {harness.SAMPLE_PRODUCT_CODE: "sample product",
            harness.SECOND_PRODUCT_CODE: "sample product, second instance"}


def packages() -> Path:
    """The sample packages, built once: a rebuilt package would carry a new package code and no
    longer match what an earlier run installed."""
    folder = harness.packages_dir()
    if not (folder / harness.SAMPLE_PACKAGE).is_file():
        harness.build_sample_packages(folder)
    return folder


def show_call(call: harness.Call) -> None:
    if call.matches("msi.MsiInstallProductW"):
        print(f"  package:          {call.text(0)}")
        print(f"  property string:  \"{call.text(1)}\"")
    elif call.matches("msi.MsiSetInternalUI"):
        level = call.number(0)
        print(f"  installer UI:     {level} ({'none' if level == 2 else 'full' if level == 5 else 'other'})")
    elif call.matches("msi.MsiEnableLogW"):
        print(f"  installer log:    {call.text(1)}")
    elif call.matches("user32.MessageBoxW"):
        print(f"  message box:      \"{call.text(1)}\" (caption \"{call.text(2)}\")")


def main(arguments: list) -> int:
    program = harness.setup_exe()
    if program is None:
        print("demo: setup.exe is not built; run ./run demo", file=sys.stderr)
        return 2
    prefix = harness.Prefix.from_environment()
    prefix.warm_up()
    folder = harness.lay_out_distribution(prefix.drive_c / "dist" / "demo", setup_exe=program,
                                          packages=packages())
    line = " ".join(arguments) if arguments else "/S"
    print(f"distribution: C:\\dist\\demo\\ ({folder})")
    print(f"running:      setup.exe {line}\n")
    launch = prefix.launch(f'"C:\\dist\\demo\\setup.exe" {line}', label="demo")
    for call in launch.trace.calls:
        if call.process == launch.process:
            show_call(call)
    code = launch.exit_code
    print(f"\nexit code {code}: {EXIT_CODES.get(code, 'see the Windows Installer result codes')}")
    if launch.child_stdout.strip():
        print("standard output:\n  " + launch.child_stdout.strip().replace("\n", "\n  "))
    print("\ninstalled now:")
    for product_code, product in prefix.products(*PRODUCTS).items():
        state = f"yes, version {product.value('VersionString')}" if product.installed else "no"
        print(f"  {PRODUCTS[product_code]} {product_code}: {state}")
    prefix.stop()
    return 0 if code == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
