"""Round trips, agreement with Python's own modules, errors, progress, cancel and threads."""

import base64
import hashlib
import io
import os
import pathlib
import signal
import subprocess
import sys
import textwrap
import threading
import time

import pytest

import morvane

MODES = {
    morvane.Blowfish: ("ecb", "cbc", "cfb", "ofb", "pcbc"),
    morvane.DES: ("ecb", "cbc", "pcbc"),
    morvane.Twofish: ("ecb", "cbc", "cfb", "ofb", "pcbc"),
}
CIPHER_MODES = [(cls, m) for cls, modes in MODES.items() for m in modes]
KEY = b"a key of twenty-four bytes"[:24]


@pytest.mark.parametrize("cls,mode", CIPHER_MODES, ids=lambda v: getattr(v, "__name__", v))
def test_round_trips_every_layout(cls, mode, rng, tmp_path):
    for n in (0, 1, 15, 16, 17, 4099):
        data = rng.randbytes(n)
        iv = rng.randbytes(cls(KEY).iv_size)
        c = cls(KEY, mode=mode, buffer_size=rng.choice((1, 3, 1000)), iv=iv)
        # String: length, IV in the layout's order, blocks.
        s = c.encrypt(bytearray(data))
        assert s[:4] == n.to_bytes(4, "little") and s[4 : 4 + len(iv)] == iv
        assert len(s) == 4 + c.encrypted_size(n)
        assert cls(KEY, mode=mode).decrypt(memoryview(s)) == data
        # Stream: the string without its length; decryption keeps the zero padding.
        c.iv = iv
        src, dst = io.BytesIO(data), io.BytesIO()
        c.encrypt_stream(src, dst)
        assert dst.getvalue() == s[4:]
        out = io.BytesIO()
        cls(KEY, mode=mode).decrypt_stream(io.BytesIO(s[4:]), out)
        padded = out.getvalue()
        assert padded[:n] == data and padded[n:] == bytes(len(padded) - n)
        # File: the stream and the size trailer.
        (tmp_path / "p").write_bytes(data)
        c.iv = iv
        c.encrypt_file(tmp_path / "p", str(tmp_path / "e"))
        assert (tmp_path / "e").read_bytes() == s[4:] + s[:4]
        cls(KEY, mode=mode).decrypt_file(os.fsencode(tmp_path / "e"), tmp_path / "d")
        assert (tmp_path / "d").read_bytes() == data


def feed(incremental, data, rng):
    out, i = [], 0
    while i < len(data):
        n = rng.choice((1, 7, 64, 1000, 70000))
        out.append(incremental.update(data[i : i + n]))
        i += n
    return b"".join(out) + incremental.finish()


@pytest.mark.parametrize(
    "make,layouts",
    [(lambda: morvane.Blowfish(KEY, mode="cfb", buffer_size=3), ("stream", "file")),
     (lambda: morvane.DES(KEY, mode="pcbc"), ("stream", "file")),
     (lambda: morvane.Twofish(KEY, mode="ofb", buffer_size=1), ("stream", "file")),
     (morvane.Base64, ("file",)), (morvane.UUCode, ("file",))],
    ids=["blowfish", "des", "twofish", "base64", "uucode"],
)
def test_pieces_give_the_drivers_bytes(make, layouts, rng, tmp_path):
    data = rng.randbytes(rng.randrange(100_000, 200_000))
    (tmp_path / "p").write_bytes(data)
    c = make()
    cipher = hasattr(c, "iv")
    iv = c.iv if cipher else None
    (c.encrypt_file if cipher else c.encode_file)(tmp_path / "p", tmp_path / "e")
    whole = (tmp_path / "e").read_bytes()
    for layout in layouts:
        if cipher:
            c.iv = iv  # CFB leaves its last keystream block in the IV
        pieces = feed(c.encryptor(layout), data, rng)
        # The stream layout is the file without its size trailer.
        assert pieces == (whole if layout == "file" else whole[:-4])
        back = feed(make().decryptor(layout), pieces, rng)
        assert back == data if layout == "file" else back[: len(data)] == data
    first = c.encryptor("file")
    with pytest.raises(RuntimeError):
        c.encryptor()  # one message at a time per component
    first.finish()
    c.encryptor().finish()
    if not cipher and isinstance(c, morvane.UUCode):  # other tools' form: LF, one blank
        lf = b"begin 644 p\n" + whole.replace(b"\r\n", b"\n").split(b"\n", 1)[1]
        assert feed(make().decryptor("file"), b"From: a\n\n" + lf + b"-- \n", rng) == data
        with pytest.raises(morvane.UUError, match="line 2 holds 61"):
            feed(make().decryptor("file"), lf.replace(b"\nM", b"\nMM", 2), rng)
    if cipher:  # a file cut by one byte: its trailer disagrees with its blocks
        with pytest.raises(morvane.DamagedDataError):
            feed(make().decryptor("file"), whole[:-1], rng)


def test_digests_and_base64_agree_with_python(rng, tmp_path):
    for n in [0, 1, 55, 56, 63, 64, 65, 1000] + [rng.randrange(1 << 17) for _ in range(20)]:
        data = rng.randbytes(n)
        for name in ("md5", "sha1"):
            want = hashlib.new(name, data)
            h = morvane.new(name)
            cut = rng.randrange(n + 1)
            h.update(data[:cut])
            h.update(data[cut:])
            assert h.hexdigest() == want.hexdigest() and h.digest() == want.digest()
        assert morvane.base64_encode(data) == base64.b64encode(data)
        assert morvane.base64_decode(base64.b64encode(data).decode()) == data
    (tmp_path / "f").write_bytes(data)
    assert morvane.file_digest(tmp_path / "f", "sha1") == hashlib.sha1(data).digest()
    assert morvane.file_digest(tmp_path / "f", "md5") == hashlib.md5(data).digest()


def test_uuencode_documents_round_trip(rng, tmp_path):
    data = rng.randbytes(1000)
    doc = morvane.uuencode(data, name="photo.jpg", mode=0o444)
    assert doc.startswith(b"begin 444  photo.jpg\r\n") and doc.endswith(b"end\r\n")
    assert morvane.uudecode(doc) == (data, b"photo.jpg", 0o444)
    hostile = morvane.UUCode()
    hostile.decode(morvane.uuencode(b"x", name="../../etc/passwd"))
    assert hostile.file_name == b"../../etc/passwd" and b"/" not in hostile.safe_file_name
    (tmp_path / "src").write_bytes(data)
    uu = morvane.UUCode()
    uu.file_name = "src"
    uu.encode_file(tmp_path / "src", tmp_path / "doc")
    uu.decode_file(tmp_path / "doc", tmp_path / "back")
    assert (tmp_path / "back").read_bytes() == data


@pytest.mark.parametrize(
    "call,error,message",
    [
        (lambda: morvane.Blowfish(b"").encrypt(b"x"), morvane.WeakKeyError, "Weak Key"),
        (lambda: morvane.DES(b"\x01" * 8).encrypt(b"x"), morvane.WeakKeyError, "Weak Key"),
        (lambda: morvane.DES(b"k" * 8, mode="ofb"), morvane.UnsupportedModeError, None),
        (lambda: morvane.Twofish(b"k" * 16, rounds=17), ValueError, None),
        (lambda: morvane.Blowfish(b"k").decrypt(b"\x09\0\0\0" + bytes(8)), morvane.ReadError, None),
        (lambda: morvane.base64_decode("TW9y\n"), morvane.Base64Error,
         "Invalid value in Base64 Decoding Table"),
        (lambda: morvane.uudecode(b"no document"), morvane.UUError, "No begin line"),
        (lambda: morvane.Blowfish(b"k").decrypt_file("/nonexistent/x", "/tmp/y"), morvane.Error, None),
        (lambda: morvane.strings.base_to_dec("fg", 16), morvane.ConvertError, None),
        (lambda: morvane.ISAAC().__setattr__("seed", bytes(257)), ValueError, None),
        (lambda: morvane.Blowfish(b"k", iv=bytes(7)), ValueError, None),
        (lambda: morvane.Blowfish(b"k", mode="xts"), ValueError, None),
        (lambda: morvane.Blowfish(b"k").encrypt("text"), TypeError, None),
    ],
)
def test_errors(call, error, message):
    with pytest.raises(error) as e:
        call()
    if message is not None:
        assert str(e.value) == message


def test_a_digest_is_taken_once():
    h = morvane.md5(b"abc")
    assert h.digest() == h.digest() == hashlib.md5(b"abc").digest()
    with pytest.raises(ValueError):
        h.update(b"d")


def test_damaged_data_is_a_read_error():
    assert issubclass(morvane.DamagedDataError, morvane.ReadError)
    assert issubclass(morvane.ReadError, morvane.Error)


def test_progress_and_cancel(tmp_path):
    data = bytes(1 << 20)
    seen = []
    c = morvane.Blowfish(KEY, buffer_size=100, on_progress=lambda p: seen.append(p))
    full = c.encrypt(data)
    assert seen == sorted(set(seen)) and seen[-1] == 100 and len(seen) > 50
    c.on_progress = lambda p: p < 30
    with pytest.raises(morvane.CancelledError, match="Operation Canceled by user"):
        c.encrypt(data)
    # A cancelled component starts afresh.
    c.on_progress = None
    assert c.encrypt(data) == full
    # An exception in the callback cancels the run and reaches the caller.
    (tmp_path / "p").write_bytes(data)
    c.on_progress = lambda p: 1 / 0
    with pytest.raises(ZeroDivisionError):
        c.encrypt_file(tmp_path / "p", tmp_path / "e")


def test_stream_errors_of_python_file_objects_reach_the_caller():
    class Failing(io.BytesIO):
        def write(self, b):
            raise OSError("disk full")

    with pytest.raises(OSError, match="disk full"):
        morvane.Twofish(b"k" * 16).encrypt_stream(io.BytesIO(bytes(5000)), Failing())
    with pytest.raises(morvane.ReadError):
        morvane.Twofish(b"k" * 16).encrypt_stream(io.BytesIO(bytes(10)), io.BytesIO(), 11)


def test_threads_run_separate_components_at_once():
    data = os.urandom(3 << 20)
    makers = [
        lambda: morvane.Blowfish(KEY).encrypt(data),
        lambda: morvane.Twofish(KEY, mode="ofb").encrypt(data),
        lambda: morvane.DES(KEY[:8], mode="pcbc").encrypt(data),
        lambda: morvane.sha1(data).digest(),
        lambda: morvane.base64_encode(data),
        lambda: morvane.MT19937B(data[:624]).words(100000),
    ]
    want = [f() for f in makers]
    got = [None] * (2 * len(makers))

    def work(i):
        got[i] = makers[i % len(makers)]()

    threads = [threading.Thread(target=work, args=(i,)) for i in range(len(got))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert got == want + want


def test_ctrl_c_cancels_a_long_run(tmp_path):
    big = tmp_path / "big"
    with open(big, "wb") as f:
        f.truncate(1 << 30)
    script = textwrap.dedent(
        f"""
        import sys, time, morvane
        c = morvane.Blowfish(b"key")
        print("ready", flush=True)
        try:
            c.encrypt_file({str(big)!r}, {str(tmp_path / "out")!r})
        except KeyboardInterrupt:
            print("interrupted", flush=True)
            sys.exit(3)
        """
    )
    p = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, text=True)
    assert p.stdout.readline() == "ready\n"
    time.sleep(0.3)
    p.send_signal(signal.SIGINT)
    out, _ = p.communicate(timeout=20)
    assert (out, p.returncode) == ("interrupted\n", 3)
    # Cancelled partway: the destination holds part of the blocks, without the size trailer.
    assert (tmp_path / "out").stat().st_size < 1 << 30


def test_palette_and_strings():
    entries = morvane.palette()
    assert [e.class_name for e in entries] == [
        "TVRXTwoFish", "TVRXBlowFish", "TVRXDES", "TVRXRIPEMD160", "TVRXRIPEMD128", "TVRXMD5",
        "TVRXISAAC", "TVRXMT19937B", "TVRXSHA", "TVRXBase64", "TVRXUUCode"]
    assert all(e.page == "Morvane" and e.bitmap[:2] == b"BM" for e in entries)
    s = morvane.strings
    assert s.dec_to_base(-10, 2) == "-1010" and s.base_to_dec(b"FF", 16) == 255
    assert s.eval_as_float("-1.5e3") == -1500.0 and s.eval_as_integer("12x") == 0
    assert s.string_to_list("a,,b,", ",") == ["a", "", "b"]
    assert s.extract_to(b"key=value=x", "=") == (b"key", b"value=x")
    assert s.extract_word("  one  two three ") == ("one", "two three")
    assert s.str_include("b", s.str_include("a", "")) == "a;b;"


@pytest.mark.skipif(not os.environ.get("MORVANE_PROGRAM"), reason="the morvane program is not built")
@pytest.mark.parametrize("cipher,mode", [("blowfish", "cbc"), ("twofish", "cfb"), ("des", "pcbc")])
def test_example_decrypts_what_the_program_encrypts(cipher, mode, tmp_path):
    data = os.urandom(100_003)
    (tmp_path / "plain").write_bytes(data)
    env = dict(os.environ, MORVANE_KEY="an example key!!")
    subprocess.run([os.environ["MORVANE_PROGRAM"], "encrypt", "--cipher", cipher, "--mode", mode,
                    str(tmp_path / "plain"), "-o", str(tmp_path / "enc")], env=env, check=True)
    example = pathlib.Path(__file__).resolve().parents[2] / "examples" / "python" / "decrypt_file.py"
    out = subprocess.run([sys.executable, str(example), "--cipher", cipher, "--mode", mode,
                          str(tmp_path / "enc"), str(tmp_path / "back")],
                         env=env, check=True, capture_output=True, text=True).stdout
    assert (tmp_path / "back").read_bytes() == data
    assert out.split()[0] == hashlib.sha1(data).hexdigest()
