"""Morvane from Python: the layouts of the Morvane components, byte for byte.

Block ciphers (Blowfish, DES, Twofish) that read and write the encrypted string, stream and file
layouts; the digests MD5, SHA-1, RIPEMD-160 and RIPEMD-128 with the shape of hashlib; Base64 and
uuencode; the ISAAC and MT19937B generators; string utilities (morvane.strings); the palette.

Every error the library raises is a morvane.Error, with the library's message.
"""

import collections as _collections
import sys as _sys

from . import _core
from ._core import (
    DES,
    ISAAC,
    MT19937B,
    AssertionFailedError,
    Base64,
    Base64Error,
    Blowfish,
    CancelledError,
    ConvertError,
    CreateError,
    DamagedDataError,
    Error,
    InOutError,
    OpenError,
    OutOfRangeError,
    RangeError,
    ReadError,
    Twofish,
    UUCode,
    UUError,
    UnsupportedModeError,
    WeakKeyError,
    WriteError,
    file_digest,
    sha1_implementation,
    strings,
)

_sys.modules[__name__ + ".strings"] = strings

__all__ = [
    "AssertionFailedError", "Base64", "Base64Error", "Blowfish", "CancelledError",
    "ConvertError", "CreateError", "DES", "DamagedDataError", "Error", "ISAAC", "InOutError",
    "MT19937B", "OpenError", "OutOfRangeError", "PaletteEntry", "RangeError", "ReadError",
    "Twofish", "UUCode", "UUDocument", "UUError", "UnsupportedModeError", "WeakKeyError",
    "WriteError", "base64_decode", "base64_encode", "file_digest", "md5", "new", "palette",
    "ripemd128", "ripemd160", "sha1", "sha1_implementation", "strings", "uudecode", "uuencode",
]

algorithms_available = frozenset({"md5", "sha1", "ripemd160", "ripemd128"})


def new(name, data=b""):
    """A digest object for 'md5', 'sha1', 'ripemd160' or 'ripemd128', fed data first."""
    h = _core._new_digest(name)
    if data:
        h.update(data)
    return h


def md5(data=b""):
    """MD5 (RFC 1321), with update(), digest() and hexdigest() as in hashlib."""
    return new("md5", data)


def sha1(data=b""):
    """SHA-1 (FIPS 180-1), with update(), digest() and hexdigest() as in hashlib."""
    return new("sha1", data)


def ripemd160(data=b""):
    """RIPEMD-160, with update(), digest() and hexdigest() as in hashlib."""
    return new("ripemd160", data)


def ripemd128(data=b""):
    """RIPEMD-128, with update(), digest() and hexdigest() as in hashlib."""
    return new("ripemd128", data)


def base64_encode(data):
    """The Base64 text of data, as bytes (no line breaks)."""
    return Base64().encode(data)


def base64_decode(text):
    """The bytes of Base64 text; Base64Error for anything outside the alphabet."""
    return Base64().decode(text)


UUDocument = _collections.namedtuple("UUDocument", "data name mode")
UUDocument.__doc__ = """A decoded uuencoded document: data (bytes), name (bytes, from the begin
line), mode (int from the begin line's octal digits, or None when they are no number)."""


def uuencode(data, name=b"", mode=0o644):
    """The uuencoded document of data: begin line with mode and name, lines, end line.

    Without a name the begin line is 'begin' alone, as the component writes it.
    """
    codec = UUCode()
    if name:
        codec.file_name = name
        codec.status = b"%03o  " % mode
    return codec.encode(data)


def uudecode(document):
    """The UUDocument (data, name, mode) of a uuencoded document."""
    codec = UUCode()
    data = codec.decode(document)
    digits = codec.status.strip()
    try:
        mode = int(digits, 8) if digits else None
    except ValueError:
        mode = None
    return UUDocument(data, codec.file_name, mode)


PaletteEntry = _collections.namedtuple("PaletteEntry", "page class_name bitmap_name bitmap properties")
PaletteEntry.__doc__ = """A registered component: its palette page, class name, the name and
bytes (a BMP file) of its 24 x 24 palette bitmap, and its published properties."""


def palette():
    """The components the package registers, in palette order."""
    return [PaletteEntry(*e) for e in _core._palette()]
