"""Builds the packages of the integration tests from examples/product.wxs (a ctest fixture).

    build_packages.py FOLDER

- ledgr.msi, ledgr-second.msi: the sample product and its second instance, both 2.0.1.5;
- ledgr-old.msi: a third instance of the product, in version 1.9.0.0;
- ledgr-no-key-file.msi: the sample product without its File row "ledgr.dll".

The File row's Version is set apart from every product version, so that a test sees which of the
two it was given. Beside each package, <package>.packagecode holds its package code (summary
revision number) as msitools reads it: wixl makes a new one for every build, and Wine's msi.dll
must give the program the same text.
"""

import re
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
import wineharness  # noqa: E402

OLD_PRODUCT_CODE = "{6F1D3C2A-8B4E-4F5A-9C7D-2E3B4A5C6D73}"
KEY_FILE_VERSION = "7.3.0.12"

PACKAGES = {
    wineharness.SAMPLE_PACKAGE: {},
    wineharness.SECOND_PACKAGE: {"InstanceName": "Second",
                                 "ProductCode": wineharness.SECOND_PRODUCT_CODE},
    "ledgr-old.msi": {"InstanceName": "Old", "ProductCode": OLD_PRODUCT_CODE,
                      "ProductVersion": "1.9.0.0"},
}


def run(argv: list) -> str:
    completed = subprocess.run(argv, stdin=subprocess.DEVNULL, capture_output=True, check=False)
    if completed.returncode != 0:
        raise wineharness.HarnessError(f"{argv} failed:\n{completed.stdout.decode(errors='replace')}"
                                       f"{completed.stderr.decode(errors='replace')}")
    return completed.stdout.decode("utf-8", errors="replace")


def package_code(package: Path) -> str:
    match = re.search(r"^Revision number \(UUID\): (\S+)$", run(["msiinfo", "suminfo", str(package)]),
                      re.M)
    if not match:
        raise wineharness.HarnessError(f"no package code in {package}")
    return match.group(1)


def build(folder: Path) -> None:
    versions = {"ledgr.dll": KEY_FILE_VERSION}
    for name, defines in PACKAGES.items():
        package = wineharness.build_package(folder / name, defines=defines, file_versions=versions)
        code = package_code(package)
        (folder / f"{name}.packagecode").write_text(code, encoding="ascii")
        print(f"{package}: {code}")
    without_key = wineharness.build_package(folder / "ledgr-no-key-file.msi")
    run(["msibuild", str(without_key), "-q", "DELETE FROM `File` WHERE `File` = 'ledgr.dll'"])
    if wineharness.msi_table(without_key, "File"):
        raise wineharness.HarnessError(f"{without_key} still has a File row")


if __name__ == "__main__":
    build(Path(sys.argv[1]))
