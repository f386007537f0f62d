"""Windows Installer transforms (.mst) for tests, written from scratch: msitools can read and
build packages but not make a transform, and Wine's MsiDatabaseGenerateTransformW is a stub.

A transform is a compound file (the storage format of packages) whose root carries the class id
of transforms and holds, under the installer's encoded stream names, a string pool and one stream
per changed table with its rows. ``property_transform`` makes one that adds or changes rows of the
Property table, which is enough to tell from outside that the installer applied it (for example a
changed ProductName, as the installed product then reports). A transform given as a file is applied
as it is; one embedded in a package (a sub-storage, named as ":Name.mst") is applied only when its
summary information (``transform_summary``) says which packages it fits, and skipped silently
otherwise.

Standard library only.
"""

from __future__ import annotations

import struct
from typing import Mapping, Optional

CLSID_MSI_TRANSFORM = bytes.fromhex("82100C00" "0000" "0000" "C000000000000046")
FMTID_SUMMARY_INFORMATION = bytes.fromhex("E0859FF2" "F94F" "6810" "AB9108002B27B3D9")
SUMMARY_INFORMATION = "\x05SummaryInformation"   # stored under this very name, not encoded

_VT_I2, _VT_I4, _VT_LPSTR = 2, 3, 30
_PID_CODEPAGE, _PID_TEMPLATE, _PID_REVNUMBER, _PID_CHARCOUNT = 1, 7, 9, 16
_ERROR_ADD_EXISTING_ROW = 0x0001

_FREE_SECTOR = 0xFFFFFFFF
_END_OF_CHAIN = 0xFFFFFFFE
_FAT_SECTOR = 0xFFFFFFFD
_NO_STREAM = 0xFFFFFFFF
_SECTOR = 512
_MINI_SECTOR = 64
_ENTRIES_PER_SECTOR = _SECTOR // 128
_INDEXES_PER_SECTOR = _SECTOR // 4
_MINI_STREAM_CUTOFF = 4096


def _base64_digit(character: str) -> int:
    """The installer's digit for a character of a stream name, -1 when it has none."""
    if "0" <= character <= "9":
        return ord(character) - ord("0")
    if "A" <= character <= "Z":
        return ord(character) - ord("A") + 10
    if "a" <= character <= "z":
        return ord(character) - ord("a") + 36
    return {".": 62, "_": 63}.get(character, -1)


def stream_name(name: str, table: bool = True) -> str:
    """A stream name as the installer stores it: pairs of name characters packed into one unit
    (0x3800 + first + 64 * second), a lone one as 0x4800 + digit, table streams marked 0x4840."""
    units = [chr(0x4840)] if table else []
    index = 0
    while index < len(name):
        first = _base64_digit(name[index])
        index += 1
        if first < 0:
            units.append(name[index - 1])
        elif index < len(name) and _base64_digit(name[index]) >= 0:
            units.append(chr(0x3800 + first + (_base64_digit(name[index]) << 6)))
            index += 1
        else:
            units.append(chr(0x4800 + first))
    return "".join(units)


def _directory_entry(name: str, kind: int, *, child: int = _NO_STREAM, right: int = _NO_STREAM,
                     start: int = _END_OF_CHAIN, size: int = 0, clsid: bytes = bytes(16)) -> bytes:
    encoded = name.encode("utf-16-le") + b"\0\0"
    return (encoded.ljust(64, b"\0")
            + struct.pack("<HBBIII", len(encoded), kind, 1, _NO_STREAM, right, child)
            + clsid + bytes(4 + 8 + 8) + struct.pack("<IQ", start, size))


def compound_file(streams: Mapping[str, bytes], clsid: bytes = bytes(16)) -> bytes:
    """A version 3 compound file whose root holds the given small streams. Every stream lives in
    the mini stream, so the file is: header, one FAT sector, the directory, one mini FAT sector,
    the mini stream."""
    # Siblings are kept as one chain of right links, in the order the format compares names.
    names = sorted(streams, key=lambda n: (len(n), n.upper()))
    if any(len(streams[n]) >= _MINI_STREAM_CUTOFF for n in names):
        raise ValueError("only streams below 4096 bytes are supported")
    mini_stream, mini_fat, starts = bytearray(), [], {}
    for name in names:
        data = streams[name]
        count = -(-len(data) // _MINI_SECTOR)
        starts[name] = len(mini_fat) if count else _END_OF_CHAIN
        mini_fat += [len(mini_fat) + k + 1 for k in range(count - 1)] + [_END_OF_CHAIN] * bool(count)
        mini_stream += data.ljust(count * _MINI_SECTOR, b"\0")
    directory_sectors = -(-(len(names) + 1) // _ENTRIES_PER_SECTOR)
    mini_stream_sectors = -(-len(mini_stream) // _SECTOR)
    if len(mini_fat) > _INDEXES_PER_SECTOR or 1 + directory_sectors + 1 + mini_stream_sectors > 128:
        raise ValueError("too much data for a single FAT sector")

    def chain(first: int, count: int) -> list:
        return [first + k + 1 for k in range(count - 1)] + [_END_OF_CHAIN] * bool(count)

    first_directory, first_mini_fat = 1, 1 + directory_sectors
    first_mini_stream = first_mini_fat + 1
    fat = ([_FAT_SECTOR] + chain(first_directory, directory_sectors) + chain(first_mini_fat, 1)
           + chain(first_mini_stream, mini_stream_sectors))
    fat += [_FREE_SECTOR] * (_INDEXES_PER_SECTOR - len(fat))

    directory = _directory_entry("Root Entry", 5, child=1 if names else _NO_STREAM,
                                 start=first_mini_stream if mini_stream else _END_OF_CHAIN,
                                 size=len(mini_fat) * _MINI_SECTOR, clsid=clsid)
    for index, name in enumerate(names):
        right = index + 2 if index + 1 < len(names) else _NO_STREAM
        directory += _directory_entry(name, 2, right=right, start=starts[name],
                                      size=len(streams[name]))
    unused = bytes(66) + struct.pack("<BBIII", 0, 0, _NO_STREAM, _NO_STREAM, _NO_STREAM) + bytes(48)
    while len(directory) < directory_sectors * _SECTOR:
        directory += unused

    header = (bytes.fromhex("D0CF11E0A1B11AE1") + bytes(16)
              + struct.pack("<HHHHH6xIIIIIIIII", 0x3E, 3, 0xFFFE, 9, 6,
                            0, 1, first_directory, 0, _MINI_STREAM_CUTOFF,
                            first_mini_fat, 1, _END_OF_CHAIN, 0)
              + struct.pack("<109I", 0, *[_FREE_SECTOR] * 108))
    mini_fat_sector = struct.pack(f"<{len(mini_fat)}I", *mini_fat).ljust(_SECTOR, b"\xff")
    return (header + struct.pack(f"<{_INDEXES_PER_SECTOR}I", *fat) + directory + mini_fat_sector
            + bytes(mini_stream).ljust(mini_stream_sectors * _SECTOR, b"\0"))


def _typed_value(value) -> bytes:
    if isinstance(value, int):
        return struct.pack("<II", _VT_I4, value)
    text = value.encode("cp1252") + b"\0"
    return struct.pack("<II", _VT_LPSTR, len(text)) + text.ljust(-(-len(text) // 4) * 4, b"\0")


def transform_summary(template: str, revision: str) -> bytes:
    """The summary information stream of a transform (a property set of one section). ``template``
    is the target package's "platform;language", ``revision`` its "{product code}version;" then the
    transformed product's "{product code}version;" and the "{upgrade code}". The character count
    holds the checks to make (high word: none) and the errors to let pass (low word): the rows of
    ``property_transform`` carry every column, so a row the package already has reads as an
    addition of an existing row."""
    values = [(_PID_CODEPAGE, struct.pack("<Ihh", _VT_I2, 1252, 0)),
              (_PID_TEMPLATE, _typed_value(template)),
              (_PID_REVNUMBER, _typed_value(revision)),
              (_PID_CHARCOUNT, _typed_value(_ERROR_ADD_EXISTING_ROW))]
    table_size = 8 + 8 * len(values)
    offsets, body = [], b""
    for identifier, value in values:
        offsets.append(struct.pack("<II", identifier, table_size + len(body)))
        body += value
    section = struct.pack("<II", table_size + len(body), len(values)) + b"".join(offsets) + body
    header = struct.pack("<HHI16sI", 0xFFFE, 0, 0x00020005, bytes(16), 1)
    return header + FMTID_SUMMARY_INFORMATION + struct.pack("<I", len(header) + 20) + section


def property_transform(properties: Mapping[str, str], summary: Optional[bytes] = None) -> bytes:
    """A transform that sets the given properties: each becomes a whole Property row (mask 0x0201:
    both columns present), added when the package lacks it, changed when it has it. ``summary``
    (from ``transform_summary``) is needed to embed it in a package."""
    strings: list = []

    def reference(text: str) -> int:
        if text not in strings:
            strings.append(text)
        return strings.index(text) + 1   # string id 0 is the null string

    rows = b"".join(struct.pack("<HHH", 0x0201, reference(name), reference(value))
                    for name, value in properties.items())
    encoded = [text.encode("cp1252") for text in strings]
    pool = struct.pack("<HH", 1252, 0) + b"".join(struct.pack("<HH", len(e), 1) for e in encoded)
    streams = {stream_name("_StringPool"): pool, stream_name("_StringData"): b"".join(encoded),
               stream_name("Property"): rows}
    if summary is not None:
        streams[SUMMARY_INFORMATION] = summary
    return compound_file(streams, CLSID_MSI_TRANSFORM)
