#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets from the test vectors (tests/vectors/).

Run from the repository root; the seeds are committed under fuzz/corpus/<target>/.
"""
import hashlib
import os
import re

VECTORS = "tests/vectors"
MODES = {"ECB": 0, "CBC": 1, "CFB": 2, "OFB": 3, "PCBC": 4}


def records(name):
    group, rec = "", {}
    with open(os.path.join(VECTORS, name), encoding="latin-1") as f:
        for line in f:
            line = line.strip()
            if not line:
                if rec:
                    yield group, rec
                rec = {}
                continue
            if line.startswith("#"):
                continue
            if line.startswith("[") and line.endswith("]"):
                group = line[1:-1]
                continue
            if "=" in line:
                k, v = line.split("=", 1)
                rec.setdefault(k.strip(), v.strip())
    if rec:
        yield group, rec


def unhex(v):
    v = re.sub(r"[^0-9A-Fa-f]", "", v)
    return bytes.fromhex(v)


def save(target, data):
    folder = os.path.join("fuzz", "corpus", target)
    os.makedirs(folder, exist_ok=True)
    name = hashlib.sha1(data).hexdigest()[:16]
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def ciphers():
    for index, name in enumerate(["blowfish.txt", "des.txt", "twofish.txt"]):
        if not os.path.exists(os.path.join(VECTORS, name)):
            continue
        for _, r in records(name):
            if "Mode" not in r or "Key" not in r:
                continue
            enc = r.get("EncryptString") or r.get("Encrypted")
            if not enc or " x " in enc:
                continue
            key = unhex(r["Key"])[:80]
            head = bytes([index, MODES.get(r["Mode"], 0), 6, len(key), 0, 0])
            save("CipherDecryptFuzz", head + key + unhex(enc))
            save("CipherDecryptFuzz", bytes([index, MODES.get(r["Mode"], 0), 0, len(key), 0xF8, 1]) + key + unhex(enc)[4:])


def strings():
    # Base, delimiter, then the text: numbers in several bases, lists and tokens.
    seeds = [
        (16, ";", b" ff "), (10, ";", b"-2147483648"), (34, "=", b"key=value=x"),
        (2, " ", b"1010 0101\t\x7f"), (10, ".", b"-2.5e3"), (36, ",", b"a,b,,c,"),
        (16, ";", b"0123456789ABCDEF"), (21, "L", b"L"), (10, ";", b"x;si;SI; X "),
    ]
    for _, r in records("des.txt"):
        if "Key" in r:
            seeds.append((16, ";", r["Key"].encode()))
            break
    for base, delim, text in seeds:
        save("StringsFuzz", bytes([base, ord(delim)]) + text)


def encoders():
    # Codec (0 Base64, 1 uuencode), chunk size, size skew, then the text to decode.
    for codec, name, field in [(0, "base64.txt", "Encoded"), (1, "uuencode.txt", "Document")]:
        if not os.path.exists(os.path.join(VECTORS, name)):
            continue
        for n, (_, r) in enumerate(records(name)):
            if field not in r or " x " in r[field]:
                continue
            text = unhex(r[field])
            save("EncoderDecodeFuzz", bytes([codec, n % 18, 0]) + text)
            if codec == 1:
                line = text.split(b"\n", 1)[0].rstrip(b"\r")
                save("UUBeginLineFuzz", line)
    for line in [b"", b"begin", b"begin ", b"begin 644  a.txt", b"begin 444  read-only.bin",
                 b"begin 644 single-space", b"xx begin 644  late", b"begin 64\r4  x\r"]:
        save("UUBeginLineFuzz", line)


def tail(*values):
    # FuzzedDataProvider takes its numbers from the end of the input, last byte first.
    return bytes(reversed(values))


def digests():
    # The message in front; from the end: digest, BufferSize - 1, cancel flag, piece count,
    # piece lengths, repeat count - 1.
    for index, name in enumerate(["md5.txt", "sha1.txt", "ripemd160.txt", "ripemd128.txt"]):
        if not os.path.exists(os.path.join(VECTORS, name)):
            continue
        for n, (_, r) in enumerate(records(name)):
            if "Msg" not in r or int(r.get("Len", "0")) > 120:
                continue
            msg = unhex(r["Msg"])
            save("IncrementalDigestFuzz", msg + tail(index, n % 3, 0, 2, 1, 63, n % 8))
            if n == 3:
                # A cancel on the second progress call of a many-chunk message.
                save("IncrementalDigestFuzz", msg + tail(index, 0, 1, 1, 0, 7, 60, 3))


def text(s):
    # A string for FuzzedDataProvider's ConsumeRandomLengthString: backslashes doubled, then
    # a backslash and another byte end it.
    return s.replace(b"\\", b"\\\\") + b"\\;"


def uuforms():
    # Front: name, mail text, signature, payload. From the end: flags (two bytes, high first),
    # BufferSize 1000 flag, mode digits (one-blank form), mode (two bytes), line-end bits (four
    # bytes), damage count.
    plains = [b"", b"a", b"The quick brown fox jumps over the lazy dog", bytes(range(200))]
    if os.path.exists(os.path.join(VECTORS, "uuencode.txt")):
        for _, r in records("uuencode.txt"):
            if "Plain" in r and "Error" not in r and len(plains) < 8:
                plains.append(unhex(r["Plain"]))
    forms = [
        # flags, name, mail text, signature
        (0x01, b"report.bin", b"", b""),  # the package's own form
        (0x02, b"report.bin", b"", b""),  # one blank, LF
        (0x28, b"../etc/passwd", b"From: a@example.org\nSubject: x\n\n", b"-- \nsig\n"),
        (0x4E, b"C:\\x\x01.txt", b"", b""),  # mixed line ends, blank zero line
        (0x93, b" two", b"", b""),  # two blanks, LF, empty zero line, blank zeros
    ]
    for n, plain in enumerate(plains):
        flags, name, mail, sig = forms[n % len(forms)]
        end = bytes([flags >> 8, flags & 0xFF, 1, 2, 0x01, 0xA4, 0x55, 0xAA, 0x0F, 0xF0, 0])
        save("UUFormsFuzz", text(name) + text(mail) + text(sig) + plain + bytes(reversed(end)))


if __name__ == "__main__":
    uuforms()
    ciphers()
    digests()
    strings()
    encoders()
