"""What the package tests share: the project's version and a throwaway code-signing certificate."""

import os
import re
import subprocess


def project_version(source_dir):
    """The version of the top CMakeLists.txt's project(), the one place the packages take it from."""
    with open(os.path.join(source_dir, "CMakeLists.txt"), encoding="utf-8") as f:
        return re.search(r"project\(Bravelle VERSION ([0-9.]+)", f.read()).group(1)


def throwaway_certificate(folder):
    """A self-made certificate with a password, as a company's would have: (certificate, .pfx, password)."""
    key, cert, pfx = (os.path.join(folder, name) for name in ("key.pem", "cert.pem", "sign.pfx"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=Bravelle Test",
                    "-days", "2", "-keyout", key, "-out", cert], check=True, capture_output=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx,
                    "-passout", "pass:s3cret"], check=True, capture_output=True)
    return cert, pfx, "s3cret"
