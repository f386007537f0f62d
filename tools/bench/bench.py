#!/usr/bin/env python3
"""Runs every measure of the performance goals and prints one table (``./run bench``).

    python3 tools/bench/bench.py [--rounds N] [--skip-wine]

Expects build/bench/bench/setup_bench (preset "bench") and build/windows/setup.exe (preset
"windows"). Writes what it measured to build/bench/results/: the raw Google Benchmark JSON,
the heap figures, the Wine timings and the table as Markdown.
"""

from __future__ import annotations

import argparse
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable, Optional

REPO = Path(__file__).resolve().parents[2]
BUILD = REPO / "build" / "bench"
RESULTS = BUILD / "results"
BENCH = BUILD / "bench" / "setup_bench"
SETUP_EXE = REPO / "build" / "windows" / "setup.exe"
PEERS = ["inih", "SimpleIni", "PropertyTree"]
FILES = ["2KB", "1MB", "50MB", "100k-keys"]
SIZE_LIMIT = 300 * 1024
WINE_GOAL = 1.05
MEMORY_GOAL = 3.0


@dataclass
class Row:
    measure: str
    ours: str
    peers: dict = field(default_factory=dict)     # peer -> shown figure
    ratios: dict = field(default_factory=dict)    # peer -> ours / peer
    goal: str = ""
    met: Optional[bool] = None                    # None: no goal for this row


# ---------------------------------------------------------------------------------------------
# Host benchmarks


def run_benchmarks() -> dict:
    """Median of five repetitions of every benchmark, by name. The repetitions of all benchmarks
    run in random order, so that a burst of other work on a shared machine does not fall on one
    parser's repetitions alone."""
    out = RESULTS / "benchmarks.json"
    with open(RESULTS / "benchmarks.log", "w") as log:
        subprocess.run([str(BENCH), f"--corpus={BUILD / 'corpus'}", "--benchmark_repetitions=5",
                        "--benchmark_enable_random_interleaving=true", "--benchmark_min_time=0.3",
                        "--benchmark_report_aggregates_only=true", "--benchmark_format=json",
                        f"--benchmark_out={out}", "--benchmark_out_format=json"],
                       stdout=log, stderr=subprocess.STDOUT, check=True)
    medians = {}
    for entry in json.loads(out.read_text())["benchmarks"]:
        if entry.get("aggregate_name") == "median":
            medians[entry["run_name"]] = entry
    return medians


def describe_documents() -> dict:
    """(file, parser) -> the document's shape and peak heap, checked against the corpus."""
    text = subprocess.run([str(BENCH), f"--corpus={BUILD / 'corpus'}", "--describe"],
                          capture_output=True, text=True, check=True).stdout
    (RESULTS / "heap.jsonl").write_text(text)
    described = {}
    for line in text.splitlines():
        entry = json.loads(line)
        shape = (entry["sections"], entry["keys"])
        if shape != (entry["expected_sections"], entry["expected_keys"]):
            sys.exit(f"bench: {entry['parser']} read {shape} from {entry['file']}, "
                     f"expected {(entry['expected_sections'], entry['expected_keys'])}")
        described[(entry["file"], entry["parser"])] = entry
    return described


def cpu_seconds(entry: dict) -> float:
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[entry["time_unit"]]
    return entry["cpu_time"] * scale


def megabytes_per_second(entry: dict) -> float:
    return entry["bytes_per_second"] / 1e6


def parse_rows(medians: dict) -> list:
    rows = []
    for label in FILES:
        speed = {p: megabytes_per_second(medians[f"parse/{label}/{p}"])
                 for p in ["ours", "ours-bulkio", *PEERS, "inih-scan"]}
        ratios = {p: speed["ours"] / speed[p] for p in PEERS}
        met = ratios["inih"] >= 1.0 and ratios["SimpleIni"] > 1.0 and ratios["PropertyTree"] > 1.0
        rows.append(Row(f"parse {label}, MB/s", f"{speed['ours']:.1f}",
                        {p: f"{speed[p]:.1f}" for p in PEERS}, ratios,
                        ">= inih, > SimpleIni, > PropertyTree", met))
        rows.append(Row("  ours, host file reading and decoding in bulk", f"{speed['ours-bulkio']:.1f}", {},
                        {p: speed["ours-bulkio"] / speed[p] for p in PEERS}))
        rows.append(Row("  inih scanning only, no document", "", {"inih": f"{speed['inih-scan']:.1f}"},
                        {"inih": speed["ours"] / speed["inih-scan"]}))
    return rows


def memory_rows(described: dict) -> list:
    rows = []
    for label in FILES:
        ours = described[(label, "ours")]
        size = ours["bytes"]
        times = {p: described[(label, p)]["peak_heap"] / size for p in ["ours", *PEERS]}
        rows.append(Row(f"peak heap {label} ({size:,} B), x file", f"{times['ours']:.2f}",
                        {p: f"{times[p]:.2f}" for p in PEERS},
                        {p: times["ours"] / times[p] for p in PEERS},
                        f"ours < {MEMORY_GOAL:.0f}x", times["ours"] < MEMORY_GOAL))
    return rows


def per_item_rows(medians: dict, kind: str, sizes: list, unit: str, peers: list) -> list:
    """Time per item at two sizes ten times apart. Work that grows with the square of the count
    would cost ten times as much per item at the larger size; below three times is taken as
    linear with room for a logarithm and for data that no longer fits in the caches."""
    rows = []
    per_item = {}
    for size in sizes:
        figures = {p: 1e9 / medians[f"{kind}/{size}/{p}"]["items_per_second"] for p in ["ours", *peers]}
        per_item[size] = figures["ours"]
        last = size == sizes[-1]
        growth = per_item[size] / per_item[sizes[0]]
        rows.append(Row(f"{kind} {size:,} {unit}, ns per {unit[:-1]}", f"{figures['ours']:.0f}",
                        {p: f"{figures[p]:.0f}" for p in peers},
                        {p: figures["ours"] / figures[p] for p in peers},
                        f"not quadratic: x{growth:.2f} per {unit[:-1]} vs {sizes[0]:,} (< x3)" if last else "",
                        growth < 3.0 if last else None))
    return rows


def getsection_rows(medians: dict) -> list:
    rows = []
    for label in ["2KB", "50MB"]:
        figures = {p: cpu_seconds(medians[f"getsection/{label}/{p}"]) * 1e6
                   for p in ["ours", "inih", "PropertyTree"]}
        keys = int(medians[f"getsection/{label}/ours"]["items_per_second"] *
                   cpu_seconds(medians[f"getsection/{label}/ours"]) + 0.5)
        rows.append(Row(f"GetSection {label} (a {keys:,}-key copy), us", f"{figures['ours']:.1f}",
                        {p: f"{figures[p]:.1f}" for p in ["inih", "PropertyTree"]},
                        {p: figures["ours"] / figures[p] for p in ["inih", "PropertyTree"]},
                        "", None))
    return rows


# ---------------------------------------------------------------------------------------------
# The program under Wine


MINIMAL_WXS = """<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{7A2C4E1B-3D5F-4A6B-8C9D-0E1F2A3B4C5D}" Name="Bench Sample" Language="1033"
           Version="1.0.0.0" Manufacturer="Example Makers"
           UpgradeCode="{1B2C3D4E-5F6A-4B7C-8D9E-0F1A2B3C4D5E}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="bench.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="Bench Sample">
          <Component Id="Payload" Guid="{2C3D4E5F-6A7B-4C8D-9E0F-1A2B3C4D5E6F}">
            <File Id="payload.txt" Name="payload.txt" Source="payload.txt" KeyPath="yes"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Complete" Level="1"><ComponentRef Id="Payload"/></Feature>
  </Product>
</Wix>
"""

MINIMAL_SETUP_INI = """[Startup]
PackageName=Package
ProductCode={7A2C4E1B-3D5F-4A6B-8C9D-0E1F2A3B4C5D}
ProductVersion=1.0.0.0
CmdLine=REBOOT=ReallySuppress

[Package]
Location=bench.msi

[MsiVersion]
1.0=Systems

[Systems]
Any=1

[Any]
MajorVer=5
MinorVer=0
BuildNo=0
""".replace("\n", "\r\n")


def ini_value(text: str, section: str, key: str) -> str:
    current = None
    for line in text.splitlines():
        line = line.strip()
        if line.startswith("["):
            current = line[1:line.find("]")]
        elif current == section and "=" in line and not line.startswith((";", "#")):
            name, value = line.split("=", 1)
            if name.strip() == key:
                return value.strip()
    return ""


@dataclass
class Distribution:
    folder: Path          # in the prefix's drive C
    windows_folder: str   # as Windows sees it
    package: str          # file name of the package
    properties: str       # the settings' CmdLine
    source: str           # where it came from, for the report


def lay_out_distribution(drive_c: Path) -> Distribution:
    """examples/ when the sample distribution is there; otherwise a minimal one of our own."""
    folder = drive_c / "bench"
    if folder.exists():
        shutil.rmtree(folder)
    folder.mkdir(parents=True)
    examples = REPO / "examples"
    if (examples / "Setup.ini").is_file() and (examples / "product.wxs").is_file():
        for item in examples.iterdir():
            if item.is_file():
                shutil.copy2(item, folder / item.name)
        source = "examples/"
    else:
        (folder / "product.wxs").write_text(MINIMAL_WXS)
        (folder / "payload.txt").write_text("payload\n")
        (folder / "Setup.ini").write_bytes(MINIMAL_SETUP_INI.encode("ascii"))
        source = "a minimal distribution made by the benchmark"
    settings = (folder / "Setup.ini").read_bytes().decode("latin-1")
    package = ini_value(settings, ini_value(settings, "Startup", "PackageName"), "Location")
    # wixl finds File sources relative to the current folder only.
    subprocess.run(["wixl", "-o", package, "product.wxs"], cwd=folder, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shutil.copy2(SETUP_EXE, folder / "setup.exe")
    return Distribution(folder, "C:\\bench\\", package, ini_value(settings, "Startup", "CmdLine"), source)


class Wine:
    def __init__(self, prefix: Path):
        self.prefix = prefix
        self.env = dict(os.environ, WINEPREFIX=str(prefix), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        # Without a display a message box returns at once, so a run can never wait for a user.
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            self.env.pop(name, None)
        self.runs = 0

    def start(self) -> None:
        subprocess.run([str(REPO / "tests" / "wine" / "wine-prefix"), str(self.prefix)],
                       env=self.env, check=True)

    def stop(self) -> None:
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def timed(self, args: list) -> tuple:
        """(wall seconds, CPU seconds of the program's process, exit code). Wine's services
        outlive the program and keep inherited descriptors open, so its output goes to files,
        never to a pipe."""
        self.runs += 1
        logs = RESULTS / "wine"
        logs.mkdir(exist_ok=True)
        with open(logs / f"{self.runs:03d}.out", "w") as out, open(logs / f"{self.runs:03d}.err", "w") as err:
            start = time.perf_counter()
            child = subprocess.Popen(["wine", *args], env=self.env, stdin=subprocess.DEVNULL,
                                     stdout=out, stderr=err)
            _, status, usage = os.wait4(child.pid, 0)
            wall = time.perf_counter() - start
            child.returncode = os.waitstatus_to_exitcode(status)
            return wall, usage.ru_utime + usage.ru_stime, child.returncode


def measure_wine(rounds: int) -> dict:
    prefix = BUILD / "wineprefix"
    wine = Wine(prefix)
    wine.start()
    try:
        dist = lay_out_distribution(prefix / "drive_c")
        package = dist.windows_folder + dist.package
        # The 32-bit msiexec: setup.exe is a 32-bit program and drives the 32-bit msi.dll, so
        # both sides run the same installer code.
        msiexec = "C:\\windows\\syswow64\\msiexec.exe"
        properties = dist.properties.split()
        commands = {
            "setup": ([dist.windows_folder + "setup.exe", "/S"],
                      [dist.windows_folder + "setup.exe", "/x", "/S"]),
            "msiexec": ([msiexec, "/i", package, "/qn", *properties],
                        [msiexec, "/x", package, "/qn", *properties]),
        }
        wine.timed(commands["msiexec"][1])   # leaves nothing installed from an earlier run
        times = {name: {clock: {"install": [], "remove": []} for clock in ("wall", "cpu")}
                 for name in commands}
        for round_number in range(rounds + 1):   # round 0 warms Wine up and is not counted
            order = ["setup", "msiexec"] if round_number % 2 else ["msiexec", "setup"]
            for name in order:
                for phase, command in zip(("install", "remove"), commands[name]):
                    wall, cpu, code = wine.timed(command)
                    if code != 0:
                        sys.exit(f"bench: {name} {phase} under Wine ended with {code}; "
                                 f"logs in {RESULTS / 'wine'}")
                    if round_number:
                        times[name]["wall"][phase].append(wall)
                        times[name]["cpu"][phase].append(cpu)
        measured = {"times": times, "source": dist.source, "properties": dist.properties}
        (RESULTS / "wine.json").write_text(json.dumps(measured, indent=1))
        return measured
    finally:
        wine.stop()


def wine_rows(measured: dict) -> list:
    """The median ratio of interleaved rounds decides the goal. Under Wine on a shared machine a
    run now and then takes two or three times as long, on either side alike, so the fastest run
    of each side is shown as well: the cost of each without interference."""
    ours, peer = measured["times"]["setup"]["wall"], measured["times"]["msiexec"]["wall"]
    rows = []
    for phase in ("install", "remove"):
        rows.append(Row(f"Wine: {phase}, median ms", f"{statistics.median(ours[phase]) * 1e3:.0f}",
                        {"msiexec": f"{statistics.median(peer[phase]) * 1e3:.0f}"},
                        {"msiexec": statistics.median(ours[phase]) / statistics.median(peer[phase])}))
    pairs = [i + r for i, r in zip(ours["install"], ours["remove"])]
    peer_pairs = [i + r for i, r in zip(peer["install"], peer["remove"])]
    ratio = statistics.median(s / m for s, m in zip(pairs, peer_pairs))
    rows.append(Row(f"Wine: install + remove, ms (ratio: median of {len(pairs)} rounds)",
                    f"{statistics.median(pairs) * 1e3:.0f}",
                    {"msiexec": f"{statistics.median(peer_pairs) * 1e3:.0f}"}, {"msiexec": ratio},
                    f"< {WINE_GOAL:.2f}x msiexec", ratio < WINE_GOAL))
    fastest = {"ours": min(ours["install"]) + min(ours["remove"]),
               "msiexec": min(peer["install"]) + min(peer["remove"])}
    rows.append(Row("  fastest install + fastest remove, ms", f"{fastest['ours'] * 1e3:.0f}",
                    {"msiexec": f"{fastest['msiexec'] * 1e3:.0f}"},
                    {"msiexec": fastest["ours"] / fastest["msiexec"]}))
    return rows


# ---------------------------------------------------------------------------------------------
# Size


# Each build of setup.exe: the 32-bit one that ships, and the 64-bit one when it is built.
PROGRAMS = [("", "setup", SETUP_EXE, "i686-w64-mingw32"),
            (" (x64)", "setup-x64", REPO / "build" / "windows-x64" / "setup.exe", "x86_64-w64-mingw32")]


def size_rows() -> tuple:
    rows, imports = [], []
    for label, stem, program, triple in PROGRAMS:
        if label and not program.is_file():
            continue
        stripped = RESULTS / f"{stem}-stripped.exe"
        shutil.copy2(program, stripped)
        subprocess.run([f"{triple}-strip", str(stripped)], check=True)
        size = stripped.stat().st_size
        headers = subprocess.run([f"{triple}-objdump", "-p", str(stripped)],
                                 capture_output=True, text=True, check=True).stdout
        dlls = [line.split(":", 1)[1].strip() for line in headers.splitlines() if "DLL Name:" in line]
        runtime_dlls = [d for d in dlls if d.lower().startswith(("libstdc++", "libgcc", "libwinpthread"))]
        rows.append(Row(f"setup.exe{label} stripped, KB (imports: {len(dlls)} system DLLs)" if not runtime_dlls
                        else f"setup.exe{label} stripped, KB (imports runtime DLLs: {', '.join(runtime_dlls)})",
                        f"{size / 1024:.1f}", goal="< 300 KB, static runtime",
                        met=size < SIZE_LIMIT and not runtime_dlls))
        imports = imports or dlls
    return rows, imports


# ---------------------------------------------------------------------------------------------
# The table


def render(rows: list, columns: list) -> str:
    header = ["measure", "ours", *columns, *[f"ours/{c}" for c in columns], "goal", "met"]
    lines = [header]
    for row in rows:
        met = "" if row.met is None else ("yes" if row.met else "NO")
        lines.append([row.measure, row.ours, *[row.peers.get(c, "") for c in columns],
                      *[f"{row.ratios[c]:.2f}" if c in row.ratios else "" for c in columns],
                      row.goal, met])
    widths = [max(len(line[i]) for line in lines) for i in range(len(header))]
    out = []
    for index, line in enumerate(lines):
        out.append("| " + " | ".join(cell.ljust(widths[i]) for i, cell in enumerate(line)) + " |")
        if index == 0:
            out.append("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    return "\n".join(out)


def machine() -> str:
    cpu = "unknown processor"
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    memory = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30
    return f"{cpu}, {os.cpu_count()} cores, {memory:.0f} GiB, {platform.system()} {platform.release()}"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=25, help="interleaved Wine rounds (default 25)")
    parser.add_argument("--skip-wine", action="store_true")
    options = parser.parse_args()
    RESULTS.mkdir(parents=True, exist_ok=True)

    steps: list = []

    def step(title: str, action: Callable):
        started = time.perf_counter()
        print(f"bench: {title} ...", file=sys.stderr, flush=True)
        result = action()
        print(f"bench: {title} took {time.perf_counter() - started:.0f} s", file=sys.stderr, flush=True)
        steps.append(title)
        return result

    described = step("documents and peak heap", describe_documents)
    medians = step("host benchmarks", run_benchmarks)
    wine = None if options.skip_wine else step("setup.exe and msiexec under Wine", lambda: measure_wine(options.rounds))

    columns = [*PEERS, "msiexec"]
    rows = parse_rows(medians) + memory_rows(described)
    rows += per_item_rows(medians, "enumerate", [10000, 100000], "keys", PEERS)
    rows += getsection_rows(medians)
    rows += per_item_rows(medians, "cmdline", [1000, 10000], "arguments", [])
    if wine:
        rows += wine_rows(wine)
    size, imports = size_rows()
    rows += size

    table = render(rows, columns)
    notes = [
        f"Machine: {machine()}; shared with other work, so figures are noisy (about +-10 %).",
        "Times are CPU time, median of 5 repetitions run in random order; MB/s counts file bytes (10^6). Each parse reads "
        "the file from disk (page cache) and builds and drops the parser's document.",
        "Peak heap: the highest live operator-new total (usable block sizes) from before reading "
        "the file to the finished document.",
        "ours/peer divides the figures shown: above 1 is faster for MB/s, slower or larger for the others.",
    ]
    notes.append(f"setup.exe imports: {', '.join(imports)}.")
    if wine:
        notes.append(f"Wine: {options.rounds} interleaved rounds over {wine['source']}; setup.exe /S then /x /S, "
                     f"against the 32-bit msiexec /i then /x with /qn {wine['properties']}; wall time "
                     "of each wine command.")
    text = table + "\n\n" + "\n".join(notes) + "\n"
    (RESULTS / "table.md").write_text(text)
    print(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
