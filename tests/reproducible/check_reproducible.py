#!/usr/bin/env python3
"""Builds one commit twice, from two clean clones in two folders of different names, and compares what
comes out byte for byte: the programs must be the same, and so must the .deb. The zip and the MSI are
only reported: their tools stamp them with the time of the build (CPack's zip each file's inode change
time, wixl the installer's summary and a new package code). A program signed in one build is the other
build's with that signature attached. Not part of ./run-tests (it builds everything twice, some minutes);
run it by hand:

    tests/reproducible/check_reproducible.py [COMMIT]      (the checked-out commit by default)

It prints the SHA-256 of each file of each build, and ends with 1 when a program or the .deb differs.
"""

import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

SOURCE = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
sys.path.insert(0, os.path.join(SOURCE, "tests", "package"))
from common import project_version, throwaway_certificate  # noqa: E402

# What must come out the same, and what is only reported.
PROGRAMS = ("win64/win32/Bravelle.exe", "win64/cli/bravelle-cli.exe", "native/deb/release/cli/bravelle-cli")
PACKAGES = ("native/bravelle-cli_{version}_{arch}.deb",)
REPORTED = ("win64/Bravelle-{version}-win64.zip", "win64/Bravelle-{version}-x64.msi")


def run(*command, cwd=None):
    subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL)


def build(commit, folder):
    """A clean clone of the commit in folder/src, its programs and packages in folder/build."""
    source, trees = os.path.join(folder, "src"), os.path.join(folder, "build")
    run("git", "clone", "--quiet", "--no-checkout", SOURCE, source)
    run("git", "-C", source, "checkout", "--quiet", commit)
    win64, native = os.path.join(trees, "win64"), os.path.join(trees, "native")
    run("cmake", "-S", source, "-B", win64, "-G", "Ninja", "-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake",
        "-DCMAKE_BUILD_TYPE=Release", "-DBRAVELLE_TESTS=OFF")
    run("cmake", "--build", win64, "--target", "Bravelle", "bravelle-cli")
    run("cmake", "--build", win64, "--target", "package")
    run("cmake", "--build", win64, "--target", "msi")
    run("cmake", "-S", source, "-B", native, "-G", "Ninja", "-DBRAVELLE_TESTS=OFF", "-DBRAVELLE_SANITIZE=OFF")
    run("cmake", "--build", native, "--target", "deb")
    return trees


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def main():
    commit = subprocess.run(["git", "-C", SOURCE, "rev-parse", sys.argv[1] if len(sys.argv) > 1 else "HEAD"],
                            capture_output=True, text=True, check=True).stdout.strip()
    arch = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True).stdout.strip()
    work = tempfile.mkdtemp(prefix="bravelle-reproducible-")
    try:
        # Folders of different lengths: a path that leaks into a file shows as a difference.
        first = build(commit, os.path.join(work, "a"))
        second = build(commit, os.path.join(work, "second-build"))
        version = project_version(os.path.join(work, "a", "src"))
        print("commit %s, version %s" % (commit, version))
        failed = False
        for names, must in ((PROGRAMS, True), (PACKAGES, True), (REPORTED, False)):
            for name in names:
                name = name.format(version=version, arch=arch)
                a, b = sha256(os.path.join(first, name)), sha256(os.path.join(second, name))
                verdict = "same" if a == b else ("DIFFERENT" if must else "different (expected)")
                print("%-48s %s\n%-48s %s  %s" % (name, a, "", b, verdict))
                failed = failed or (must and a != b)

        # A signed program is the other build's with its signature: what the README tells a user to check.
        with tempfile.TemporaryDirectory() as scratch:
            cert, pfx, password = throwaway_certificate(scratch)
            signed, signature, attached = (os.path.join(scratch, n) for n in ("signed.exe", "sig.der", "attached.exe"))
            for name in PROGRAMS[:2]:
                run("osslsigncode", "sign", "-pkcs12", pfx, "-pass", password, "-h", "sha256", "-n", "Bravelle",
                    "-in", os.path.join(first, name), "-out", signed)
                run("osslsigncode", "extract-signature", "-in", signed, "-out", signature)
                run("osslsigncode", "attach-signature", "-sigin", signature, "-CAfile", cert,
                    "-in", os.path.join(second, name), "-out", attached)
                same = sha256(attached) == sha256(signed)
                print("%-48s %s" % (name + ", signed", "the other build with the signature" if same else "DIFFERENT"))
                failed = failed or not same
                for path in (signed, signature, attached):
                    os.unlink(path)
        return 1 if failed else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
