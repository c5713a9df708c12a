#!/usr/bin/env python3
"""Writes the files the package servers serve, the same bytes on every machine.

    testfiles.py DIR [--package-size BYTES]

A file that is already there with the right size is kept, so that a second start is quick.
Also writes DIR/MD5SUMS (md5sum's format) for the tests that compare digests.
"""

import argparse
import hashlib
import os
import random
import sys

BLOCK = 1 << 20
# Lengths around the single-stream downloader's 1 MiB minimum, a small file for the
# multi-part minimum, and one just above the two-part split.
FIXED = {
    "len1048575.bin": 1048575,
    "len1048576.bin": 1048576,
    "small.bin": 300,
    "big.bin": 25000001,
}
PACKAGE = "package.bin"
PACKAGE_SIZE = 5000000


def write_file(path, size, seed):
    generator = random.Random(seed)
    temporary = path + ".tmp"
    with open(temporary, "wb") as f:
        left = size
        while left > 0:
            count = min(BLOCK, left)
            f.write(generator.randbytes(count))
            left -= count
    os.replace(temporary, path)


def md5_of(path):
    digest = hashlib.md5()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(BLOCK), b""):
            digest.update(block)
    return digest.hexdigest()


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--package-size", type=int, default=PACKAGE_SIZE)
    args = parser.parse_args(argv)
    if args.package_size < 1:
        parser.error("--package-size must be at least 1")
    os.makedirs(args.folder, exist_ok=True)
    sizes = dict(FIXED)
    sizes[PACKAGE] = args.package_size
    sums = []
    for name in sorted(sizes):
        path = os.path.join(args.folder, name)
        if not os.path.isfile(path) or os.path.getsize(path) != sizes[name]:
            # The seed is the name, so each file differs from the others in its first bytes.
            write_file(path, sizes[name], "lumivane:" + name)
        os.chmod(path, 0o644)
        sums.append("%s  %s\n" % (md5_of(path), name))
    with open(os.path.join(args.folder, "MD5SUMS"), "w", encoding="ascii") as f:
        f.writelines(sums)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
