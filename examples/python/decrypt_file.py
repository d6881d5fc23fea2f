#!/usr/bin/env python3
"""Decrypts a file written by `morvane encrypt` (the file layout, the default) and prints its
SHA-1, with a progress line for large files.

    morvane encrypt --cipher blowfish --mode cbc report.pdf -o report.pdf.enc
    MORVANE_KEY='correct horse' python3 decrypt_file.py report.pdf.enc report.pdf

The IV travels at the head of the encrypted file, so the key, cipher and mode are all that is
needed. A wrong key gives wrong bytes, not an error: the layouts carry no check.
"""

import argparse
import os
import sys

import morvane

CIPHERS = {"blowfish": morvane.Blowfish, "des": morvane.DES, "twofish": morvane.Twofish}


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("source")
    ap.add_argument("dest")
    ap.add_argument("--cipher", choices=CIPHERS, default="blowfish")
    ap.add_argument("--mode", default="cbc")
    args = ap.parse_args()
    key = os.environ.get("MORVANE_KEY")
    if not key:
        sys.exit("decrypt_file.py: set MORVANE_KEY to the key the file was encrypted with")

    def progress(percent):
        if os.path.getsize(args.source) >= 16 << 20:
            print(f"\r{percent:3d} %", end="", file=sys.stderr, flush=True)
        return True  # False would cancel the run

    cipher = CIPHERS[args.cipher](key, mode=args.mode, on_progress=progress)
    try:
        cipher.decrypt_file(args.source, args.dest)
    except morvane.Error as e:
        sys.exit(f"decrypt_file.py: {e}")
    except KeyboardInterrupt:
        sys.exit("decrypt_file.py: interrupted")
    print(f"{morvane.file_digest(args.dest, 'sha1').hex()}  {args.dest}")


if __name__ == "__main__":
    main()
