"""Runs Windows programs under Wine for end-to-end tests and reads what they asked of Windows.

Standard library only. The pieces:

- ``Prefix``: a private Wine prefix (made with tests/wine/wine-prefix, which also starts a
  persistent wineserver), registry edits (relay filter, Windows version), running programs with
  their output captured into files, and the Windows Installer's view of installed products
  (through msiprobe.exe).
- ``Prefix.launch``: starts a program with an exact command line through launcher.exe, because
  ``wine prog ARGS`` rebuilds and re-quotes the command line.
- ``parse_relay`` / ``Trace``: the ``WINEDEBUG=+relay`` lines as calls with decoded arguments.
- ``build_package`` / ``build_sample_packages``: MSI packages from .wxs sources with wixl; the
  sample package holds the transform of its instance "Second" (``embed_storage``).
- ``lay_out_distribution``: a distribution folder (setup.exe, Setup.ini, language files, package);
  ``sample_settings`` and ``ini_bytes`` for settings files of other content and encodings;
  ``msi_transform.property_transform`` (a module of its own) for real transforms.
- Programs the tests put into distributions (built beside launcher.exe): ``engine_installer.exe``,
  a stand-in for "instmsi30.exe", and ``planted/msi.dll``, ``planted/version.dll``, libraries that
  mark where their code ran (see planted_dll.cpp).
- ``crash_signs``: what Wine prints when a program crashed, to tell a crash from a clear failure
  (crash.exe shows both kinds: a fault and the runtime's abort).

Writing a test: a file ``tests/e2e/test_*.py`` is one ctest test (no CMake edit needed; it runs
after the fixtures that build the packages and prepare the prefix). For setup.exe::

    class UsageTest(wineharness.SetupTestCase):          # skipped while setup.exe is not built
        def test_usage_option(self):
            self.distribution(files={"0x0419.ini": None}) # C:\\dist\\<test>\\, from examples/
            launch = self.run_setup("/?")                 # "C:\\dist\\<test>\\setup.exe" /?
            self.assertEqual(launch.exit_code, 1)         # all 32 bits
            box = launch.call("user32.MessageBoxW")       # exactly one, by setup.exe itself
            self.assertEqual(box.number(3), 0x40)
            self.assertTracedText(box.args[1], "...")     # copes with strings Wine cut

``self.prefix`` offers ``launch`` (any exact command line), ``wine`` (plain runs),
``set_windows_version``, ``product``/``is_installed``/``uninstall``; pass ``env={"LC_ALL":
"ru_RU.UTF-8"}`` to a run to make Russian the user's default language and ANSI code page 1251
(Wine takes both from the locale's name, installed or not), ``env=dll_overrides("msi=d")`` to
change how Wine loads libraries, ``timestamps=True`` to order calls across processes. Every run
leaves its files (command line, stdout, trace) in ``build/windows/e2e/runs/`` until the next
preparation.

Facts about Wine 8 that the code relies on:

- Wine's background processes (services, explorer, plugplay, ...) outlive the command that started
  them and keep its standard output and error open, so output always goes into files, never a pipe
  that is waited on. Each run gets fresh files, opened for appending: a background process still
  holding an earlier file must not punch holes into a new one.
- A relay line is ``[time:][pid:]tid:Call module.Function(arg,arg,...) ret=caller`` and its return
  ``...:Ret  module.Function() retval=value ret=caller``. A string argument is shown as its address,
  a blank and ``L"text"`` (``"text"`` for narrow strings). In the text, ``\\ \\" \\n \\r \\t`` are
  escaped and every other unit below U+0020 or above U+007E is a backslash and four lower-case hex
  digits (narrow strings: ``\\xHH``).
- Strings are cut: Wine stops copying once the escaped text has reached 289 characters (289 ASCII
  characters, 58 characters that need a five-character escape) and puts ``...`` after the closing
  quote. One character more than fits is dropped without the ``...`` mark, so an escaped text of 289
  characters or more must be taken as possibly cut (``Arg.truncated``).
- Calls are traced only for functions named in ``HKCU\\Software\\Wine\\Debug`` ``RelayInclude``, and
  not when called from kernel32, advapi32, user32 or gdi32 themselves (Wine's RelayFromExclude).
  Calls through GetProcAddress are traced like imported ones.
- Without a display, MessageBoxW returns -1 at once (after Wine fails to start its desktop).
  In a window station made without WSF_VISIBLE (``launch(station=...)``, as a service's), it
  never returns, display or not: give such runs a short ``timeout``.
- A process exit code reaches the shell as its low 8 bits; launcher.exe prints all 32.
- ``WINEDEBUG=+timestamp`` stamps each line with the tick count in seconds, shared by all
  processes of the prefix.
- Wine's own user32.dll imports version.dll. Wine 8 has no KnownDLLs, so when a version.dll lies
  beside a windowed program and ``version=n,b`` is in force, the loader takes that one for user32
  before the program's first line runs, and every later bare-name request gets it too.
- Wine 8's msi.dll has no ADMIN action: an administrative installation ends with 1626
  (ERROR_FUNCTION_NOT_CALLED), from msiexec /a just as from MsiInstallProductW. A TRANSFORMS
  entry naming a substorage the package lacks (":Name.mst") is skipped without an error.
- An embedded transform (":Name.mst") is applied only when it has summary information with a
  Template and a Revision Number (``msi_transform.transform_summary``); without, it is skipped
  silently (``WINEDEBUG=warn+msi`` tells why). A transform given as a file needs none.
- A package whose transform gives it the product code of an installed product installs that
  product again and answers 0. Removal by product code uses the cached package without the
  transforms of the installation (``Prefix.uninstall`` names the sample's again).
"""

from __future__ import annotations

import argparse
import dataclasses
import functools
import itertools
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path
from typing import Iterable, Mapping, Optional, Sequence, Union

import msi_transform

REPO = Path(__file__).resolve().parents[2]
EXAMPLES = REPO / "examples"
WINE_PREFIX_SCRIPT = REPO / "tests" / "wine" / "wine-prefix"
WINE_ARCH_SCRIPT = REPO / "tests" / "wine" / "wine-arch"

SAMPLE_PRODUCT_CODE = "{6F1D3C2A-8B4E-4F5A-9C7D-2E3B4A5C6D71}"
SECOND_PRODUCT_CODE = "{6F1D3C2A-8B4E-4F5A-9C7D-2E3B4A5C6D72}"
SECOND_PRODUCT_NAME = "Ledgr Sample (Second)"
SECOND_TRANSFORM = "Second.mst"   # inside ledgr.msi: makes it the instance "Second"
SAMPLE_UPGRADE_CODE = "{0B8E2F4C-1D3A-4E5B-8F6C-7A9B0C1D2E3F}"
SAMPLE_VERSION = "2.0.1.5"
SAMPLE_PACKAGE = "ledgr.msi"
SECOND_PACKAGE = "ledgr-second.msi"

# What the tests usually want to see of setup.exe. Wine reads the list when a process starts.
DEFAULT_RELAY_INCLUDE = (
    "msi.MsiInstallProductW",
    "msi.MsiSetInternalUI",
    "msi.MsiEnableLogW",
    "msi.MsiGetProductInfoW",
    "msi.MsiOpenDatabaseW",
    "user32.MessageBoxW",
    "kernel32.ExitProcess",
    "kernel32.CreateProcessW",
    "kernel32.VerifyVersionInfoW",
)

INSTALLSTATE_DEFAULT = 5
INSTALLSTATE_UNKNOWN = -1

# Wine 8 stops copying a string into a trace line once its escaped text reaches this length.
WINE_STRING_LIMIT = 289

# Libraries Wine must never try to install into a prefix (Mono, Gecko); every run keeps these.
BASE_DLL_OVERRIDES = "mscoree,mshtml="

# What Wine writes to standard error when a program crashes or the runtime aborts it.
_CRASH_SIGNS = re.compile(r"Unhandled exception|Unhandled page fault|Backtrace:|wine: Call from|"
                          r"terminate called|err:seh:|This application has requested the Runtime")


class HarnessError(RuntimeError):
    """A tool of the harness failed; the message says which and shows its output."""


# --------------------------------------------------------------------------------------------
# Relay traces


@dataclasses.dataclass
class Arg:
    raw: str                      # the argument as printed
    number: Optional[int]         # the leading hexadecimal value (an address for strings)
    text: Optional[str] = None    # the decoded string, when Wine printed one (narrow strings:
                                  # their bytes as Latin-1 characters, whatever the code page)
    truncated: bool = False       # the string may be cut (see the module's notes)


@dataclasses.dataclass
class Call:
    module: str
    function: str
    args: list
    thread: int
    process: Optional[int]        # only with +pid in WINEDEBUG
    timestamp: Optional[float]    # only with +timestamp in WINEDEBUG
    caller: int
    line: int                     # 1-based line number in the trace file
    retval: Optional[int] = None  # from the matching Ret line; None when the call never returned

    @property
    def name(self) -> str:
        return f"{self.module}.{self.function}"

    def text(self, index: int) -> Optional[str]:
        return self.args[index].text

    def number(self, index: int) -> Optional[int]:
        return self.args[index].number

    def matches(self, name: str) -> bool:
        """``name`` is ``Function`` or ``module.Function``; module names ignore case, as Wine's do."""
        module, _, function = name.rpartition(".")
        if function != self.function:
            return False
        return not module or module.lower() == self.module.lower()


_PREFIX = r"^(?:(?P<ts>\d+\.\d+):)?(?:(?P<pid>[0-9a-f]{4,}):)?(?P<tid>[0-9a-f]{4,}):"
_CALL = re.compile(_PREFIX + r"Call (?P<name>[^\s(]+)\((?P<args>.*)\) ret=(?P<ret>[0-9a-f]+)$")
_RET = re.compile(_PREFIX + r"Ret  (?P<name>[^\s(]+)\(\) retval=(?P<value>[0-9a-f]+) ret=[0-9a-f]+$")
_SIMPLE_ESCAPES = {"n": "\n", "r": "\r", "t": "\t", '"': '"', "\\": "\\"}


def decode_wine_string(escaped: str, wide: bool = True) -> str:
    """The text of a string as Wine escapes it in trace lines (without the quotes)."""
    units = []
    i = 0
    while i < len(escaped):
        c = escaped[i]
        if c != "\\" or i + 1 == len(escaped):
            units.append(ord(c))
            i += 1
            continue
        nxt = escaped[i + 1]
        if nxt in _SIMPLE_ESCAPES:
            units.append(ord(_SIMPLE_ESCAPES[nxt]))
            i += 2
        elif nxt == "x" and re.match(r"[0-9a-fA-F]", escaped[i + 2:i + 3]):
            digits = re.match(r"[0-9a-fA-F]{1,4}", escaped[i + 2:i + 6]).group(0)
            units.append(int(digits, 16))
            i += 2 + len(digits)
        elif wide and re.fullmatch(r"[0-9a-fA-F]{4}", escaped[i + 1:i + 5]):
            units.append(int(escaped[i + 1:i + 5], 16))
            i += 5
        elif not wide and re.fullmatch(r"[0-7]{3}", escaped[i + 1:i + 4]):
            units.append(int(escaped[i + 1:i + 4], 8))
            i += 4
        else:
            units.append(ord(c))
            i += 1
    if not wide:
        return bytes(units).decode("latin-1")
    raw = "".join(map(chr, units)).encode("utf-16-le", "surrogatepass")
    return raw.decode("utf-16-le", "surrogatepass")


def _split_args(text: str) -> list:
    """Cuts an argument list at the commas that stand outside string literals."""
    pieces, start, i, quoted = [], 0, 0, False
    while i < len(text):
        c = text[i]
        if quoted and c == "\\":
            i += 2
            continue
        if c == '"':
            quoted = not quoted
        elif c == "," and not quoted:
            pieces.append(text[start:i])
            start = i + 1
        i += 1
    if text:
        pieces.append(text[start:])
    return pieces


_ARG = re.compile(r'^(?P<num>[0-9a-f]+)(?: (?P<wide>L?)"(?P<body>(?:[^"\\]|\\.)*)"(?P<cut>\.\.\.)?)?$',
                  re.S)


def parse_arg(raw: str) -> Arg:
    match = _ARG.match(raw)
    if not match:
        return Arg(raw=raw, number=None)
    arg = Arg(raw=raw, number=int(match.group("num"), 16))
    if match.group("body") is not None:
        body = match.group("body")
        arg.text = decode_wine_string(body, wide=match.group("wide") == "L")
        arg.truncated = bool(match.group("cut")) or len(body) >= WINE_STRING_LIMIT
    return arg


def _prefix_fields(match: re.Match) -> dict:
    return dict(
        thread=int(match.group("tid"), 16),
        process=int(match.group("pid"), 16) if match.group("pid") else None,
        timestamp=float(match.group("ts")) if match.group("ts") else None,
    )


def parse_relay(text: str) -> list:
    """Every traced call in a trace, in the order of the lines, with its return value."""
    calls, open_calls = [], {}
    for number, line in enumerate(text.split("\n"), start=1):
        match = _CALL.match(line)
        if match:
            module, _, function = match.group("name").rpartition(".")
            call = Call(module=module, function=function,
                        args=[parse_arg(a) for a in _split_args(match.group("args"))],
                        caller=int(match.group("ret"), 16), line=number, **_prefix_fields(match))
            calls.append(call)
            open_calls.setdefault((call.process, call.thread), []).append(call)
            continue
        match = _RET.match(line)
        if match:
            fields = _prefix_fields(match)
            stack = open_calls.get((fields["process"], fields["thread"]), [])
            for index in range(len(stack) - 1, -1, -1):
                if stack[index].name == match.group("name"):
                    stack.pop(index).retval = int(match.group("value"), 16)
                    del stack[index:]
                    break
    return calls


class Trace:
    """The calls of one run's relay trace."""

    def __init__(self, text: str):
        self.text = text
        self.calls = parse_relay(text)

    @classmethod
    def from_file(cls, path: Path) -> "Trace":
        return cls(path.read_bytes().decode("utf-8", errors="replace"))

    def of(self, name: str) -> list:
        """The calls of one function (``Function`` or ``module.Function``), in trace order."""
        return [call for call in self.calls if call.matches(name)]

    def one(self, name: str) -> Call:
        """The only call of a function; an AssertionError when there are none or several."""
        found = self.of(name)
        if len(found) != 1:
            lines = "\n".join(self.text.split("\n")[c.line - 1] for c in found)
            raise AssertionError(f"expected one call of {name}, found {len(found)}\n{lines}")
        return found[0]

    def names(self) -> list:
        return [call.name for call in self.calls]


# --------------------------------------------------------------------------------------------
# Running programs under Wine


PE_MACHINES = {0x14C: "x86", 0x8664: "x64"}


def pe_architecture(path: Path) -> str:
    """``x86`` or ``x64``, from the machine field of a Windows program's PE header."""
    with open(path, "rb") as file:
        data = file.read(4096)
    header = struct.unpack_from("<I", data, 0x3C)[0]
    if data[header:header + 4] != b"PE\0\0":
        raise HarnessError(f"{path} is not a Windows program")
    machine = struct.unpack_from("<H", data, header + 4)[0]
    if machine not in PE_MACHINES:
        raise HarnessError(f"{path} is for machine {machine:#x}, which Wine does not run here")
    return PE_MACHINES[machine]


def runnable_architecture() -> str:
    """``x86`` where Wine runs 32-bit programs on this machine, else ``x64`` (tests/wine/wine-arch)."""
    probe = subprocess.run([str(WINE_ARCH_SCRIPT), "probe", "x86"], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, check=False)
    return "x86" if probe.returncode == 0 else "x64"


def windows_path(path: Union[str, Path]) -> str:
    """The Windows path of a Unix path through Wine's Z: drive (the root of the Unix tree)."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


@dataclasses.dataclass
class Run:
    argv: list
    exit_code: int                # as the shell sees it: the low 8 bits
    stdout_path: Path
    stderr_path: Path
    seconds: float

    # Decoded without newline translation: a test may need to see "\r\n".
    @property
    def stdout(self) -> str:
        return self.stdout_path.read_bytes().decode("utf-8", errors="replace")

    @property
    def stderr(self) -> str:
        return self.stderr_path.read_bytes().decode("utf-8", errors="replace")

    @functools.cached_property
    def trace(self) -> Trace:
        return Trace.from_file(self.stderr_path)


@dataclasses.dataclass
class Launch:
    """A run through launcher.exe: the child's full exit code, its own standard output and its
    own traced calls (Wine's background processes may write to the same trace)."""
    run: Run
    command_line: str
    exit_code: Optional[int]      # all 32 bits; None when the child could not be started
    child_stdout: str
    start_error: Optional[int]    # GetLastError of CreateProcessW when it failed
    process: Optional[int]        # the child's process id

    @functools.cached_property
    def trace(self) -> Trace:
        return self.run.trace

    def calls(self, name: str) -> list:
        """The child's calls of one function, in order (see ``Call.matches`` for ``name``)."""
        return [call for call in self.trace.of(name) if call.process == self.process]

    def call(self, name: str) -> Call:
        """The child's only call of a function; an AssertionError when there are none or several."""
        found = self.calls(name)
        if len(found) != 1:
            raise AssertionError(f"expected one call of {name} by the child, found {len(found)}: "
                                 + "; ".join(map(str, found)))
        return found[0]


_LAUNCHER_LINE = re.compile(r"launcher: (?:process (?P<process>\d+) exit code (?P<code>\d+)|"
                            r"cannot start, error (?P<error>\d+))\r?\n?$")


@dataclasses.dataclass
class Product:
    code: str
    state: int
    properties: dict              # property name -> (MsiGetProductInfoW result, value)

    @property
    def installed(self) -> bool:
        return self.state == INSTALLSTATE_DEFAULT

    def value(self, name: str) -> Optional[str]:
        result, value = self.properties.get(name, (None, None))
        return value if result == 0 else None


class Prefix:
    """A private Wine prefix and the tools that run in it, all of one architecture: the one of
    the setup.exe under test, whose Wine loader runs every program here."""

    def __init__(self, path: Path, tools: Path, runs: Path, arch: str = "x86"):
        self.path = Path(path)
        self.tools = Path(tools)      # launcher.exe, msiprobe.exe, ... (tests/e2e/CMakeLists.txt)
        self.runs = Path(runs)        # one folder of files per run
        self.arch = arch              # "x86" or "x64"
        self.loader = subprocess.run([str(WINE_ARCH_SCRIPT), "loader", arch], capture_output=True,
                                     text=True, check=True).stdout.strip()

    @classmethod
    def from_environment(cls) -> "Prefix":
        work = e2e_work_dir()
        program = setup_exe()
        arch = pe_architecture(program) if program else os.environ.get("SETUP_WINE_ARCH", "x86")
        return cls(Path(os.environ.get("SETUP_E2E_PREFIX", work / "wineprefix")),
                   Path(os.environ.get("SETUP_E2E_TOOLS", work.parent / "tests" / "e2e")),
                   work / "runs", arch)

    # --- the prefix itself

    @property
    def drive_c(self) -> Path:
        return self.path / "drive_c"

    @property
    def system_dir(self) -> Path:
        """Where the prefix keeps the system libraries of the prefix's architecture
        (GetSystemDirectoryW's folder as such a program sees it)."""
        wow64 = self.drive_c / "windows" / "syswow64"
        return wow64 if self.arch == "x86" and wow64.is_dir() else self.drive_c / "windows" / "system32"

    def env(self, relay: bool = False, timestamps: bool = False,
            extra: Optional[Mapping[str, str]] = None) -> dict:
        env = dict(os.environ)
        # A display would make message boxes wait for a user.
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            env.pop(name, None)
        env["WINEPREFIX"] = str(self.path)
        env["SETUP_WINE_ARCH"] = self.arch
        env["WINEDLLOVERRIDES"] = BASE_DLL_OVERRIDES
        flags = ["+timestamp"] if timestamps else []
        env["WINEDEBUG"] = ",".join(flags + ["+pid", "+relay"]) if relay else "-all"
        env.update(extra or {})
        return env

    def ensure(self) -> None:
        """Makes the prefix when it is missing and starts its persistent wineserver."""
        self._check([str(WINE_PREFIX_SCRIPT), str(self.path)], "wine-prefix", env=self.env())

    def warm_up(self) -> None:
        """Makes sure the prefix and Wine's background processes run before a traced run, so that
        they do not start inside it (they would write their own calls to its trace), and sets the
        default relay filter (without one, Wine traces every call)."""
        self.ensure()
        self.set_relay_include()

    def stop(self) -> None:
        """Ends the prefix's wineserver and every Windows process in it."""
        subprocess.run(["wineserver", "-k"], env=self.env(), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)

    # --- running

    _run_numbers = itertools.count(1)

    def _run_dir(self, label: str) -> Path:
        safe = re.sub(r"[^A-Za-z0-9_.-]+", "-", label)[:40]
        folder = self.runs / f"{os.getpid()}-{next(Prefix._run_numbers):03d}-{safe}"
        folder.mkdir(parents=True, exist_ok=False)
        return folder

    def wine(self, args: Sequence[str], *, relay: bool = False, timestamps: bool = False,
             cwd: Optional[Path] = None, timeout: float = 120,
             env: Optional[Mapping[str, str]] = None, label: Optional[str] = None) -> Run:
        """Runs ``wine ARGS`` with the prefix's loader; output goes to files in a fresh run folder,
        kept for inspection."""
        folder = self._run_dir(label or Path(args[0]).name)
        stdout_path, stderr_path = folder / "stdout.txt", folder / "stderr.txt"
        argv = [self.loader, *map(str, args)]
        started = time.monotonic()
        with open(stdout_path, "ab") as out, open(stderr_path, "ab") as err:
            try:
                completed = subprocess.run(argv, env=self.env(relay, timestamps, env),
                                           cwd=cwd or folder, stdin=subprocess.DEVNULL,
                                           stdout=out, stderr=err, timeout=timeout, check=False)
            except subprocess.TimeoutExpired:
                self.stop()
                raise HarnessError(f"timed out after {timeout} s: {argv} (files in {folder})")
        return Run(argv, completed.returncode, stdout_path, stderr_path,
                   time.monotonic() - started)

    def launch(self, command_line: str, *, app: Optional[str] = None,
               station: Optional[str] = None, relay: bool = True, timestamps: bool = False,
               cwd: Optional[Path] = None, timeout: float = 120,
               env: Optional[Mapping[str, str]] = None, label: str = "launch") -> Launch:
        """Starts a program with exactly ``command_line`` (see launcher.cpp for ``app``);
        ``station`` names a new window station without WSF_VISIBLE to start it in, as a service's,
        where a message box waits forever."""
        folder = self._run_dir(label + "-cmd")
        command_file = folder / "command-line.txt"
        command_file.write_bytes(command_line.encode("utf-8", "surrogatepass"))
        args = [str(self.tools / "launcher.exe")]
        if app is not None:
            args.append("/app:" + app)
        if station is not None:
            args.append("/station:" + station)
        args.append(windows_path(command_file))
        run = self.wine(args, relay=relay, timestamps=timestamps, cwd=cwd, timeout=timeout,
                        env=env, label=label)
        output = run.stdout
        match = _LAUNCHER_LINE.search(output)
        if not match:
            raise HarnessError(f"launcher.exe gave no result (exit {run.exit_code}):\n{output}\n"
                               f"{run.stderr[-3000:]}")

        def number(group: str) -> Optional[int]:
            return int(match.group(group)) if match.group(group) else None

        return Launch(run, command_line, number("code"), output[:match.start()], number("error"),
                      number("process"))

    def _check(self, argv: Sequence[str], what: str, **kwargs) -> None:
        # A file, not a pipe: anything of Wine's that the command leaves running keeps its output.
        with tempfile.TemporaryFile() as output:
            completed = subprocess.run(list(argv), stdin=subprocess.DEVNULL, stdout=output,
                                       stderr=subprocess.STDOUT, check=False, **kwargs)
            if completed.returncode != 0:
                output.seek(0)
                raise HarnessError(f"{what} failed ({completed.returncode}):\n"
                                   f"{output.read().decode(errors='replace')}")

    def _wine_checked(self, args: Sequence[str], label: str) -> Run:
        run = self.wine(args, label=label)
        if run.exit_code != 0:
            raise HarnessError(f"{' '.join(args)} failed ({run.exit_code}):\n{run.stdout}{run.stderr}")
        return run

    # --- registry

    def reg_add(self, key: str, name: str, data: str, kind: str = "REG_SZ") -> None:
        self._wine_checked(["reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f"], "reg-add")

    def reg_delete(self, key: str, name: str) -> None:
        """Deletes a value; a missing one is no error."""
        self.wine(["reg", "delete", key, "/v", name, "/f"], label="reg-delete")

    def set_relay_include(self, functions: Iterable[str] = DEFAULT_RELAY_INCLUDE) -> None:
        self.reg_add(r"HKCU\Software\Wine\Debug", "RelayInclude", ";".join(functions))

    def set_windows_version(self, version: str) -> None:
        """``winxp``, ``win7``, ``win10``, ... as Wine names them; read by each new process."""
        self.reg_add(r"HKCU\Software\Wine", "Version", version)

    def reset_windows_version(self) -> None:
        self.reg_delete(r"HKCU\Software\Wine", "Version")

    # --- the Windows Installer

    def products(self, *codes: str) -> dict:
        """What msiprobe.exe reports: the given product codes, or every installed product."""
        run = self._wine_checked([str(self.tools / "msiprobe.exe"), *codes], "msiprobe")
        products = {}
        for line in run.stdout.splitlines():
            fields = line.split("\t")
            if len(fields) < 4 or fields[0] != "product":
                continue
            product = products.setdefault(fields[1], Product(fields[1], INSTALLSTATE_UNKNOWN, {}))
            if fields[2] == "state":
                product.state = int(fields[3])
            else:
                product.properties[fields[2]] = (int(fields[3]), fields[4] if len(fields) > 4 else "")
        return products

    def product(self, code: str) -> Product:
        return self.products(code)[code]

    def is_installed(self, code: str) -> bool:
        return self.product(code).installed

    def uninstall(self, code: str) -> Run:
        """msiexec /x by product code. Wine 8 removes a product with its cached package as it is,
        without the transforms it was installed with; so the sample's instance "Second", when it
        came from ledgr.msi and Second.mst, is removed with that transform named again (harmless
        when it came from ledgr-second.msi, which holds no such storage)."""
        argv = ["msiexec", "/x", code, "/qn"]
        if code == SECOND_PRODUCT_CODE:
            argv.append(f"TRANSFORMS=:{SECOND_TRANSFORM};")
        return self.wine(argv, label="uninstall")

    def remove_all_products(self) -> None:
        for code in self.products():
            self.uninstall(code)
        left = [code for code, product in self.products().items() if product.installed]
        if left:
            raise HarnessError(f"products still installed: {left}")


# --------------------------------------------------------------------------------------------
# Packages and distributions


def build_package(output: Path, *, wxs: Path = EXAMPLES / "product.wxs",
                  defines: Optional[Mapping[str, str]] = None,
                  file_versions: Optional[Mapping[str, str]] = None,
                  source_dir: Optional[Path] = None) -> Path:
    """Builds an MSI package with wixl; ``file_versions`` fills the File table's Version column
    (File key -> version), which wixl leaves empty. File sources are looked up in
    ``source_dir`` (the .wxs's folder by default)."""
    output = Path(output).resolve()
    output.parent.mkdir(parents=True, exist_ok=True)
    argv = ["wixl", "-o", str(output)]
    for name, value in (defines or {}).items():
        argv += ["-D", f"{name}={value}"]
    argv.append(str(Path(wxs).resolve()))
    _tool(argv, cwd=source_dir or Path(wxs).parent)
    for key, version in (file_versions or {}).items():
        _tool(["msibuild", str(output), "-q",
               f"UPDATE `File` SET `Version` = '{version}' WHERE `File` = '{key}'"])
    return output


def embed_storage(package: Path, name: str, data: bytes) -> None:
    """Puts ``data`` (a compound file, such as a transform) into the package as the sub-storage
    ``name``, a row of its _Storages table."""
    with tempfile.TemporaryDirectory() as work:
        (Path(work) / "_Storages").mkdir()
        (Path(work) / "_Storages" / name).write_bytes(data)
        (Path(work) / "_Storages.idt").write_bytes(
            f"Name\tData\r\ns62\tV0\r\n_Storages\tName\r\n{name}\t{name}\r\n".encode("ascii"))
        _tool(["msibuild", str(Path(package).resolve()), "-i", "_Storages.idt"], cwd=Path(work))


def sample_instance_transform() -> bytes:
    """Second.mst: gives the sample package the product code and name of its instance "Second"."""
    revision = (f"{SAMPLE_PRODUCT_CODE}{SAMPLE_VERSION};{SECOND_PRODUCT_CODE}{SAMPLE_VERSION};"
                f"{SAMPLE_UPGRADE_CODE}")
    return msi_transform.property_transform(
        {"ProductCode": SECOND_PRODUCT_CODE, "ProductName": SECOND_PRODUCT_NAME},
        msi_transform.transform_summary("Intel;1033", revision))


def build_sample_packages(folder: Path) -> dict:
    """The sample product, holding the transform of its instance "Second" (named in
    examples/Setup.ini), and that instance built as a package of its own."""
    folder = Path(folder)
    versions = {"ledgr.dll": SAMPLE_VERSION}
    sample = build_package(folder / SAMPLE_PACKAGE, file_versions=versions)
    embed_storage(sample, SECOND_TRANSFORM, sample_instance_transform())
    return {
        SAMPLE_PACKAGE: sample,
        SECOND_PACKAGE: build_package(
            folder / SECOND_PACKAGE, file_versions=versions,
            defines={"InstanceName": "Second", "ProductCode": SECOND_PRODUCT_CODE}),
    }


def msi_table(package: Path, table: str) -> list:
    """A table of a package as rows of texts (msiinfo export), without the header lines."""
    text = _tool(["msiinfo", "export", str(package), table])
    return [line.split("\t") for line in text.splitlines()[3:]]


def _tool(argv: Sequence[str], cwd: Optional[Path] = None) -> str:
    completed = subprocess.run(list(argv), cwd=cwd, stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    if completed.returncode != 0:
        raise HarnessError(f"{argv[0]} failed ({completed.returncode}): {argv}\n"
                           f"{completed.stdout.decode(errors='replace')}"
                           f"{completed.stderr.decode(errors='replace')}")
    return completed.stdout.decode("utf-8", errors="replace")


FileSource = Union[bytes, str, Path]


def lay_out_distribution(folder: Path, *, setup_exe: Optional[Path] = None,
                         packages: Optional[Path] = None,
                         files: Optional[Mapping[str, Optional[FileSource]]] = None) -> Path:
    """Fills ``folder`` (made anew) with the sample distribution: setup.exe when given, the files
    of examples/ that a distribution holds, the sample package from ``packages``. ``files`` adds
    or replaces files (bytes, a text written as UTF-8, or a Path to copy) or, with None, leaves
    one out."""
    folder = Path(folder)
    if folder.exists():
        shutil.rmtree(folder)
    folder.mkdir(parents=True)
    sources: dict = {name: EXAMPLES / name for name in ("Setup.ini", "0x0409.ini", "0x0419.ini")}
    if setup_exe is not None:
        sources["setup.exe"] = Path(setup_exe)
    if packages is not None:
        sources[SAMPLE_PACKAGE] = Path(packages) / SAMPLE_PACKAGE
    sources.update(files or {})
    for name, source in sources.items():
        if source is None:
            continue
        target = folder / name
        target.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(source, Path):
            shutil.copyfile(source, target)
        elif isinstance(source, bytes):
            target.write_bytes(source)
        else:
            target.write_bytes(source.encode("utf-8"))
    return folder


_MARKED_ENCODINGS = {"utf-8": (b"\xef\xbb\xbf", "utf-8"), "utf-16": (b"\xff\xfe", "utf-16-le"),
                     "utf-16-be": (b"\xfe\xff", "utf-16-be")}


def ini_bytes(text: str, encoding: str = "ansi") -> bytes:
    """A settings file as Windows tools write it: CR LF line ends; ``ansi`` (ASCII only here) or
    an ANSI code page by its Python name (``cp1252``), both without a mark; ``utf-8``, ``utf-16``
    (little-endian) or ``utf-16-be``, each with its byte-order mark."""
    text = text.replace("\r\n", "\n").replace("\n", "\r\n")
    if encoding == "ansi":
        return text.encode("ascii")
    if encoding in _MARKED_ENCODINGS:
        mark, codec = _MARKED_ENCODINGS[encoding]
        return mark + text.encode(codec)
    if encoding.startswith("cp"):
        return text.encode(encoding)
    raise ValueError(encoding)


def sample_settings(**replacements: Optional[str]) -> str:
    """examples/Setup.ini with whole lines replaced by key: ``sample_settings(WinXP="WinXP=0")``;
    a value of None drops the line."""
    lines = (EXAMPLES / "Setup.ini").read_bytes().decode("ascii").split("\r\n")
    for key, line in replacements.items():
        lines = [line if old.split("=", 1)[0] == key else old for old in lines]
    return "\r\n".join(line for line in lines if line is not None)


def file_product_version(path: Path) -> tuple:
    """The four product-version parts of a PE file's version resource (its fixed block)."""
    data = Path(path).read_bytes()
    start = data.find(struct.pack("<I", 0xFEEF04BD))
    if start < 0:
        raise HarnessError(f"no version resource in {path}")
    most, least = struct.unpack_from("<II", data, start + 16)
    return most >> 16, most & 0xFFFF, least >> 16, least & 0xFFFF


def dll_overrides(*entries: str) -> dict:
    """The environment for a run with more of Wine's DLL overrides (``"msi=d"``,
    ``"msi,version=n,b"``), keeping the ones every run has."""
    return {"WINEDLLOVERRIDES": ";".join((BASE_DLL_OVERRIDES,) + entries)}


def crash_signs(run: "Run") -> list:
    """The lines of a run's standard error that tell of a crash or an abort (empty: none)."""
    return [line for line in run.stderr.splitlines() if _CRASH_SIGNS.search(line)]


# --------------------------------------------------------------------------------------------
# Where the build put things (set by tests/e2e/CMakeLists.txt)


def e2e_work_dir() -> Path:
    return Path(os.environ.get("SETUP_E2E_WORK", REPO / "build" / "windows" / "e2e"))


def packages_dir() -> Path:
    return e2e_work_dir() / "packages"


def setup_exe() -> Optional[Path]:
    """The program under test, or None while it has not been built."""
    path = Path(os.environ.get("SETUP_EXE", REPO / "build" / "windows" / "setup.exe"))
    return path if path.is_file() else None


def branded_setup_exe() -> Optional[Path]:
    """setup.exe branded with tests/e2e/sample-brand.json, or None while it has not been built."""
    path = Path(os.environ.get("SETUP_BRANDED_EXE",
                               REPO / "build" / "windows" / "tests" / "e2e" / "branded" / "setup.exe"))
    return path if path.is_file() else None


# --------------------------------------------------------------------------------------------
# Base classes of test cases


class WineTestCase(unittest.TestCase):
    """One prefix for the test class, warmed up so that traces hold only the tested programs."""

    prefix: Prefix

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.prefix = Prefix.from_environment()
        cls.prefix.warm_up()

    def assertTracedText(self, arg: Arg, expected: str) -> None:
        """A traced string equals ``expected``, or is a beginning of it when Wine cut it."""
        self.assertIsNotNone(arg.text, f"no string in {arg.raw!r}")
        if arg.truncated:
            self.assertTrue(expected.startswith(arg.text), f"{arg.text!r} does not begin {expected!r}")
        else:
            self.assertEqual(arg.text, expected)

    def remove_product_afterwards(self, code: str) -> None:
        """Uninstalls a product when the test ends, whether it passed or not."""
        self.addCleanup(lambda: self.prefix.is_installed(code) and self.prefix.uninstall(code))


class SetupTestCase(WineTestCase):
    """Tests of setup.exe, skipped while it is not built. ``distribution`` lays out a folder
    C:\\dist\\<test name>\\ in the prefix; ``run_setup`` starts the program in it."""

    @classmethod
    def setUpClass(cls):
        cls.setup_exe = setup_exe()
        if cls.setup_exe is None:
            raise unittest.SkipTest("setup.exe is not built yet")
        super().setUpClass()

    def distribution(self, files: Optional[Mapping[str, Optional[FileSource]]] = None,
                     name: Optional[str] = None) -> str:
        """Lays out the sample distribution (see ``lay_out_distribution``) and returns its Windows
        path, ending in a backslash. ``self.folder`` is its Unix path."""
        name = name or self.id().rsplit(".", 1)[-1]
        self.folder = self.prefix.drive_c / "dist" / name
        lay_out_distribution(self.folder, setup_exe=self.setup_exe, packages=packages_dir(),
                             files=files)
        self.windows_folder = f"C:\\dist\\{name}\\"
        return self.windows_folder

    def run_setup(self, arguments: str = "", **launch_options) -> Launch:
        """Runs ``"<distribution>setup.exe" ARGUMENTS`` (the distribution is laid out first when
        the test has none yet)."""
        if not hasattr(self, "folder"):
            self.distribution()
        command_line = f'"{self.windows_folder}setup.exe"' + (f" {arguments}" if arguments else "")
        launch_options.setdefault("label", self.id().rsplit(".", 1)[-1])
        return self.prefix.launch(command_line, **launch_options)


def prepare_prefix(prefix: Prefix) -> None:
    """A known state for a test run: the prefix exists, its server runs, the relay filter is set,
    Wine's default Windows version is in force and no product is installed."""
    for leftovers in (prefix.runs, prefix.drive_c / "dist"):
        if leftovers.exists():
            shutil.rmtree(leftovers)
    prefix.ensure()
    prefix.set_relay_include()
    prefix.reset_windows_version()
    prefix.remove_all_products()


def demo(prefix: Prefix) -> int:
    """Installs and removes the sample distribution with setup.exe, telling what happened."""
    program = setup_exe()
    if program is None:
        print("setup.exe is not built yet", file=sys.stderr)
        return 1
    build_sample_packages(packages_dir())
    prepare_prefix(prefix)
    folder = lay_out_distribution(prefix.drive_c / "dist" / "demo", setup_exe=program,
                                  packages=packages_dir())
    print(f"distribution: {folder} (C:\\dist\\demo\\ in the prefix {prefix.path})")
    for arguments in ("/S", "/x /S"):
        launch = prefix.launch(f'"C:\\dist\\demo\\setup.exe" {arguments}', label="demo")
        print(f"\nsetup.exe {arguments}")
        for call in launch.calls("msi.MsiInstallProductW") + launch.calls("user32.MessageBoxW"):
            print(f"  {call.name}({', '.join(a.raw for a in call.args)}) = {call.retval}")
        print(f"  exit code {launch.exit_code}; product installed: "
              f"{prefix.is_installed(SAMPLE_PRODUCT_CODE)}")
        if launch.exit_code != 0:
            return 1
    prefix.stop()
    return 0


def main(argv: Sequence[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    commands.add_parser("build-packages", help="build the sample packages into the e2e folder")
    commands.add_parser("prepare-prefix", help="make the e2e prefix and bring it to a known state")
    commands.add_parser("stop-prefix", help="end the e2e prefix's wineserver")
    commands.add_parser("demo", help="install and remove the sample distribution with setup.exe")
    arguments = parser.parse_args(argv)
    if arguments.command == "build-packages":
        for name, path in build_sample_packages(packages_dir()).items():
            print(f"{name}: {path}")
    elif arguments.command == "prepare-prefix":
        prepare_prefix(Prefix.from_environment())
    elif arguments.command == "demo":
        return demo(Prefix.from_environment())
    else:
        Prefix.from_environment().stop()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
