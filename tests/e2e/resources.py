"""What a Windows program says about itself, read back from the file with wrestool (icoutils), as
Explorer reads it: the strings and numbers of the version resource, the images of the icon, the
manifest."""

from __future__ import annotations

import dataclasses
import struct
import subprocess
from pathlib import Path

RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 14, 16, 24


def wrestool(path: Path, kind: int, raw: bool = True) -> bytes:
    """The resources of one type, as wrestool extracts them (raw, or rebuilt into their file
    format: an .ico file for an icon group)."""
    command = ["wrestool", "-x", f"--type={kind}", str(path)]
    return subprocess.run(command[:2] + ["--raw"] * raw + command[2:], capture_output=True,
                          check=True).stdout


@dataclasses.dataclass
class VersionInfo:
    file_version: tuple
    product_version: tuple
    strings: dict                 # of every string table, by key


def _align(offset: int) -> int:
    return (offset + 3) & ~3


def _nodes(data: bytes, at: int, end: int):
    """The nodes of a version resource from ``at`` to ``end``: (key, value bytes, children)."""
    while at < end:
        length, value_length, is_text = struct.unpack_from("<HHH", data, at)
        key_end = at + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[at + 6:key_end].decode("utf-16-le")
        value_at = _align(key_end + 2)
        value = data[value_at:value_at + value_length * (2 if is_text else 1)]
        children = list(_nodes(data, _align(value_at + len(value)), at + length))
        yield key, value, children
        at = _align(at + length)


def _parts(most: int, least: int) -> tuple:
    return most >> 16, most & 0xFFFF, least >> 16, least & 0xFFFF


def version_info(path: Path) -> VersionInfo:
    data = wrestool(path, RT_VERSION)
    [(key, fixed, children)] = _nodes(data, 0, len(data))
    assert key == "VS_VERSION_INFO", key
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    assert signature == 0xFEEF04BD, hex(signature)
    strings = {}
    for block, _, tables in children:
        if block == "StringFileInfo":
            for _, _, entries in tables:
                for name, value, _ in entries:
                    strings[name] = value.decode("utf-16-le").removesuffix("\0")
    return VersionInfo(_parts(file_ms, file_ls), _parts(product_ms, product_ls), strings)


def icon_images(ico: bytes) -> list:
    """The images of an .ico file: (width, height, bits per pixel, data), in file order."""
    _, kind, count = struct.unpack_from("<HHH", ico, 0)
    assert kind == 1, kind
    images = []
    for index in range(count):
        width, height, _, _, _, bits, size, offset = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * index)
        images.append((width or 256, height or 256, bits, ico[offset:offset + size]))
    return images


def program_icon(path: Path) -> list:
    """The images of the program's icon (its first icon group)."""
    return icon_images(wrestool(path, RT_GROUP_ICON, raw=False))


def manifest(path: Path) -> bytes:
    return wrestool(path, RT_MANIFEST)
