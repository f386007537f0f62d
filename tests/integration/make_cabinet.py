"""Makes the cabinet of the integration tests, carried inside a larger file as a bundle carries it.

    make_cabinet.py GCAB FOLDER

- FOLDER/files/: the files put into the cabinet, by the names the cabinet stores;
- FOLDER/carrier.bin: bytes that are no cabinet, the cabinet, and more bytes that are none;
- FOLDER/carrier.layout: "<offset> <size> <sha256 of the cabinet>", on one line;
- FOLDER/escape-<n>.cab: cabinets of one entry whose name would leave the folder it is unpacked
  into. gcab stores no such name, so a harmless one of the same length is written over; the
  cabinet's checksums cover its data only.

The bytes around the cabinet are of sizes no cabinet reader would guess, and the first of them
look like a program, so that a reader that ignores the offset or the size reads the wrong bytes.
gcab stores a name with characters beyond ASCII as UTF-8 and marks it so.
"""

import hashlib
import random
import subprocess
import sys
from pathlib import Path

# In this order in the cabinet: the tests refuse one entry and expect none after it.
FILES = ["Setup.ini", "sub/deeper/data.bin", "sub/empty.txt", "donn\u00e9es.txt", "text/big.txt"]


def contents(name, rng):
    if name.endswith("data.bin"):
        return bytes(rng.getrandbits(8) for _ in range(100_000))  # several data blocks, incompressible
    if name.endswith("big.txt"):
        return b"".join(b"line %d of the text\r\n" % i for i in range(20_000))
    if name.endswith("empty.txt"):
        return b""
    return ("[Startup]\r\n; %s\r\n" % name).encode("utf-8")


# The stored name, and the name written over it.
ESCAPES = [("xx\\escape.txt", "..\\escape.txt"), ("Cxescape.txt", "C:escape.txt"),
           ("a\\xx\\xx\\escape.txt", "a\\..\\..\\escape.txt"), ("xxescape.txt", "\\\\escape.txt")]


def main():
    gcab, folder = sys.argv[1], Path(sys.argv[2])
    files = folder / "files"
    rng = random.Random(1)
    for name in FILES:
        path = files / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(contents(name, rng))
    cabinet = folder / "payload.cab"
    cabinet.unlink(missing_ok=True)
    subprocess.run([gcab, "-c", "-z", str(cabinet), *FILES], cwd=files, check=True)
    payload = cabinet.read_bytes()
    before = b"MZ" + bytes(range(256)) * 15 + b"x" * 1021
    after = b"\0" * 7 + b"TRAILER" * 100
    (folder / "carrier.bin").write_bytes(before + payload + after)
    for number, (stored, written) in enumerate(ESCAPES):
        escape = folder / ("escape-%d.cab" % number)
        source = folder / "escape" / stored.replace("\\", "/")
        source.parent.mkdir(parents=True, exist_ok=True)
        source.write_bytes(b"outside")
        escape.unlink(missing_ok=True)
        subprocess.run([gcab, "-c", "-z", str(escape), stored.replace("\\", "/")], cwd=folder / "escape",
                       check=True)
        bytes_ = escape.read_bytes()
        assert bytes_.count(stored.encode() + b"\0") == 1 and len(stored) == len(written)
        escape.write_bytes(bytes_.replace(stored.encode() + b"\0", written.encode() + b"\0"))
    (folder / "carrier.layout").write_text(
        "%d %d %s\n" % (len(before), len(payload), hashlib.sha256(payload).hexdigest()))


main()
