"""Shared helpers: the vector files of the C++ suites, read as records."""

import os
import pathlib

import pytest

VECTORS = pathlib.Path(
    os.environ.get("MORVANE_TEST_VECTORS")
    or pathlib.Path(__file__).resolve().parents[2] / "tests" / "vectors"
)


def records(name):
    """The records of a vector file: dicts of field -> text, with the group ([NAME]) under
    'group'. A field given on several lines (Words) is joined with blanks."""
    out, group, rec = [], None, {}
    for line in (VECTORS / name).read_text().splitlines() + [""]:
        line = line.strip()
        if line.startswith("#"):
            continue
        if not line:
            if rec:
                out.append(rec)
            rec = {}
            continue
        if line.startswith("[") and line.endswith("]"):
            group = line[1:-1]
            continue
        key, _, value = line.partition("=")
        key, value = key.strip(), value.strip()
        rec["group"] = group
        rec[key] = rec[key] + " " + value if key in rec else value
    return out


def unhex(text):
    return bytes.fromhex(text or "")


@pytest.fixture
def rng():
    import random

    return random.Random(int(os.environ.get("MORVANE_SEED", "20")))
