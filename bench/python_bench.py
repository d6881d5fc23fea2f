"""The Python side of bench/python-bench.sh: the package's calls on the same 64 MiB of data as
bench/PythonPeer.cpp, timed the same way (best of five, processor time). Prints "workload MB/s"."""

import sys
import time

import morvane


def data_of(mib):
    # A 64 KiB block of xorshift32 bytes, repeated, as PythonPeer.cpp makes them.
    out = bytearray(mib << 20)
    x = 2463534242
    block = bytearray(1 << 16)
    for i in range(len(block)):
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        block[i] = x & 0xFF
    for i in range(0, len(out), len(block)):
        out[i : i + len(block)] = block
    return bytes(out)


def measure(name, size, fn):
    best = float("inf")
    for _ in range(5):
        t0 = time.process_time()
        fn()
        best = min(best, time.process_time() - t0)
    print(f"{name} {size / best / 1e6:.1f}", flush=True)


def main():
    mib = int(sys.argv[1]) if len(sys.argv) > 1 else 64
    data = data_of(mib)
    key = b"a benchmark key of 24 by"
    for name, cls in (("blowfish-cbc", morvane.Blowfish), ("twofish-cbc", morvane.Twofish),
                      ("des-cbc", morvane.DES)):
        c = cls(key, mode="cbc")
        measure(f"{name}-encrypt", len(data), lambda: c.encrypt(data))
        enc = c.encrypt(data)
        measure(f"{name}-decrypt", len(data), lambda: c.decrypt(enc))
    measure("sha1", len(data), lambda: morvane.sha1(data).digest())
    measure("md5", len(data), lambda: morvane.md5(data).digest())
    measure("base64-encode", len(data), lambda: morvane.base64_encode(data))
    text = morvane.base64_encode(data)
    measure("base64-decode", len(data), lambda: morvane.base64_decode(text))


if __name__ == "__main__":
    main()
