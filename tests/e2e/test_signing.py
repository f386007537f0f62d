"""Signing as the README tells: a branded setup.exe and the package signed with osslsigncode and a
throwaway code-signing certificate made here, checked with osslsigncode verify, and installing."""

import json
import os
import shutil
import subprocess
import unittest
from pathlib import Path

import resources
import wineharness as wh

HOST_CHECK = Path(os.environ.get("SETUP_HOST_CHECK", wh.REPO / "build" / "host" / "setup-check"))
NO_SIGNATURE, BAD_DIGEST = 0x800B0100, 0x80096010


def run(*command) -> subprocess.CompletedProcess:
    return subprocess.run(list(map(str, command)), capture_output=True, text=True,
                          stdin=subprocess.DEVNULL)


class SigningTest(wh.SetupTestCase):
    @classmethod
    def setUpClass(cls):
        cls.branded = wh.branded_setup_exe()
        if cls.branded is None:
            raise unittest.SkipTest("setup.exe is not built yet")
        super().setUpClass()
        cls.work = wh.e2e_work_dir() / "signing"
        shutil.rmtree(cls.work, ignore_errors=True)
        cls.work.mkdir(parents=True)
        cls.key, cls.certificate = cls.work / "key.pem", cls.work / "certificate.pem"
        made = run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                   "-subj", "/CN=Ledgr Test Signing", "-addext", "extendedKeyUsage=codeSigning",
                   "-keyout", cls.key, "-out", cls.certificate)
        assert made.returncode == 0, made.stderr
        cls.signed_exe, cls.signed_package = cls.work / "setup.exe", cls.work / wh.SAMPLE_PACKAGE
        for source, signed in ((cls.branded, cls.signed_exe),
                               (wh.packages_dir() / wh.SAMPLE_PACKAGE, cls.signed_package)):
            result = run("osslsigncode", "sign", "-certs", cls.certificate, "-key", cls.key,
                         "-n", "Ledgr Notes", "-h", "sha256", "-in", source, "-out", signed)
            assert result.returncode == 0, result.stdout + result.stderr

    def verify(self, path) -> subprocess.CompletedProcess:
        return run("osslsigncode", "verify", "-CAfile", self.certificate, "-in", path)

    def test_signature_is_there_and_covers_the_file(self):
        for signed in (self.signed_exe, self.signed_package):
            with self.subTest(signed.name):
                result = self.verify(signed)
                self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
                self.assertIn("Signature verification: ok", result.stdout)
                self.assertIn("Subject: /CN=Ledgr Test Signing", result.stdout)
        # Signing changes nothing that Explorer reads; branding after it breaks the signature.
        self.assertEqual(resources.version_info(self.signed_exe), resources.version_info(self.branded))
        data = bytearray(self.signed_exe.read_bytes())
        data[data.index("OriginalFilename".encode("utf-16-le"))] ^= 0x20
        changed = self.work / "changed.exe"
        changed.write_bytes(data)
        result = self.verify(changed)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("MISMATCH", result.stdout)

    def test_signed_distribution_installs_the_sample(self):
        self.remove_product_afterwards(wh.SAMPLE_PRODUCT_CODE)
        self.distribution(files={"setup.exe": self.signed_exe, wh.SAMPLE_PACKAGE: self.signed_package})
        launch = self.run_setup("/S")
        self.assertEqual(launch.exit_code, 0, launch.run.stderr[-3000:])
        self.assertEqual(launch.call("msi.MsiInstallProductW").retval, 0)
        self.assertTrue(self.prefix.is_installed(wh.SAMPLE_PRODUCT_CODE))

    def check(self, folder: Path, tool: str) -> dict:
        """setup-check's JSON report of the folder from the Windows build under Wine, or the host's."""
        if tool == "host":
            return json.loads(run(HOST_CHECK, "--json", folder).stdout)
        launch = self.prefix.wine([str(self.setup_exe.parent / "setup-check.exe"), "--json",
                                   wh.windows_path(folder)], label="setup-check")
        return json.loads(launch.stdout)

    def test_setup_check_tells_what_windows_shows(self):
        if not HOST_CHECK.is_file():
            self.skipTest("the host build's setup-check is not built yet")
        changed = bytearray(self.signed_exe.read_bytes())
        changed[changed.index("OriginalFilename".encode("utf-16-le"))] ^= 0x20
        (self.work / "changed.exe").write_bytes(changed)
        brand = json.loads((Path(__file__).parent / "sample-brand.json").read_text(encoding="utf-8"))
        branded = (brand["name"], brand["version"], brand["company"])
        cases = [("signed", self.signed_exe, self.signed_package, branded, None),
                 ("plain", self.setup_exe, wh.packages_dir() / wh.SAMPLE_PACKAGE, ("setup", "1.0.0.0", ""),
                  NO_SIGNATURE),
                 ("changed", self.work / "changed.exe", self.signed_package, branded, BAD_DIGEST)]
        for name, program, package, (product, version, company), verdict in cases:
            folder = self.prefix.drive_c / "dist" / f"identity-{name}"
            shutil.rmtree(folder, ignore_errors=True)
            init = self.prefix.wine([str(self.setup_exe.parent / "setup-check.exe"), "--init",
                                     wh.windows_path(package), wh.windows_path(folder),
                                     "--setup-exe", wh.windows_path(program)], label="init")
            self.assertEqual(init.exit_code, 0, init.stdout + init.stderr)
            self.assertEqual((folder / "setup.exe").read_bytes(), program.read_bytes(), "copied as it is")
            for tool in ("windows", "host"):
                with self.subTest(name, tool=tool):
                    files = self.check(folder, tool)["files"]
                    shown = {key: files["setupExe"][key] for key in ("productName", "productVersion", "companyName")}
                    self.assertEqual(shown, dict(zip(shown, (product, version, company))))
                    signed = verdict != NO_SIGNATURE
                    self.assertEqual((files["setupExe"]["signed"], files["package"]["signed"]), (signed, signed))
                    judged = (files["setupExe"]["verification"], files["package"]["verification"])
                    if tool == "host":
                        self.assertEqual(judged, (None, None))
                    elif verdict is None:  # Wine trusts a self-signed certificate, Windows would not
                        self.assertNotIn(NO_SIGNATURE, judged)
                        self.assertNotIn(BAD_DIGEST, judged)
                    else:
                        self.assertEqual(judged[0], verdict)


if __name__ == "__main__":
    unittest.main()
