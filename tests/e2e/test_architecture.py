"""One architecture per Windows build: setup.exe, the harness's programs and the libraries the
tests plant are all of the build's, which picks Wine's loader for them (tests/wine/wine-arch)."""

import os
import subprocess
import unittest

import wineharness as wh

BUILD_ARCH = os.environ.get("SETUP_WINE_ARCH", "x86")


def wine_arch(*arguments: str, **env: str) -> subprocess.CompletedProcess:
    return subprocess.run([str(wh.WINE_ARCH_SCRIPT), *arguments], capture_output=True, text=True,
                          env={**os.environ, **env}, check=False)


class ArchitectureTest(unittest.TestCase):
    def test_every_program_of_the_build_is_of_its_architecture(self):
        program = wh.setup_exe()
        if program is None:
            raise unittest.SkipTest("setup.exe is not built yet")
        tools = wh.Prefix.from_environment().tools
        files = [program, wh.branded_setup_exe(), *sorted(tools.glob("*.exe")),
                 *sorted((tools / "planted").glob("*.dll"))]
        self.assertGreater(len(files), 6, f"the harness's programs are missing from {tools}")
        for path in files:
            with self.subTest(path=str(path)):
                self.assertEqual(wh.pe_architecture(path), BUILD_ARCH)

    def test_the_loader_and_the_probe_answer_per_architecture(self):
        cases = [
            (("loader", "x64"), {}, 0, ("/usr/lib/wine/wine64", "wine64")),
            (("loader", "x86"), {}, 0, ("wine",)),
            (("loader", "arm"), {}, 2, ("",)),
            (("probe", "x86"), {"SETUP_NO_X86": "1"}, 1, ("turned off by SETUP_NO_X86",)),
            (("probe", "sparc"), {}, 2, ("",)),
        ]
        for arguments, env, code, outputs in cases:
            with self.subTest(arguments=arguments, env=env):
                answer = wine_arch(*arguments, **env)
                self.assertEqual(answer.returncode, code, answer.stderr)
                self.assertIn(answer.stdout.strip(), outputs)


if __name__ == "__main__":
    unittest.main()
