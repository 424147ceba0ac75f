#!/usr/bin/python3
"""Signs a copy of the shipped exe with scripts/sign.sh and a throwaway self-signed
code-signing certificate made here (nothing secret is kept), verifies the signature
with osslsigncode, and checks that sign.sh refuses what it cannot sign:

  check_signing.py SIGN_SH EXE WORK OUT

WORK is emptied first and holds the certificates and the refused runs' outputs; OUT
is the signed copy, which the static and end-to-end checks of the signed file use.
No time-stamping service is asked: that needs the network."""
import glob
import os
import shutil
import subprocess
import sys

k_password = "throwaway-test-password"


def run(command, **options):
    return subprocess.run(command, capture_output=True, text=True, check=False, **options)


def make_certificate(work, name, password):
    """A self-signed code-signing certificate and its PFX; returns (cert.pem, .pfx)."""
    key, cert, pfx = (os.path.join(work, name + suffix) for suffix in (".key", ".pem", ".pfx"))
    made = run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                "-days", "2", "-subj", "/CN=comreg32 throwaway test certificate (%s)" % name,
                "-addext", "keyUsage=critical,digitalSignature", "-addext", "extendedKeyUsage=codeSigning"])
    exported = run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx,
                    "-passout", "pass:" + password])
    if made.returncode or exported.returncode:
        sys.exit("openssl could not make a test certificate:\n" + made.stderr + exported.stderr)
    return cert, pfx


def main():
    sign_sh, exe, work, out = sys.argv[1:5]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    if os.path.exists(out):
        os.remove(out)
    cert, pfx = make_certificate(work, "signer", k_password)
    other_cert, _ = make_certificate(work, "unrelated", k_password)
    open_cert, open_pfx = make_certificate(work, "no password", "")
    files = {"pfx": pfx, "open_pfx": open_pfx, "cert": cert, "exe": exe}
    for name, content in (("password", k_password + "\n"), ("wrong", "not-the-password\n")):
        files[name] = os.path.join(work, name + ".txt")
        with open(files[name], "w") as handle:
            handle.write(content)
    files["missing"] = os.path.join(work, "no-such-password.txt")
    files["short"] = os.path.join(work, "short.exe")  # starts like an exe, ends before its PE header
    with open(exe, "rb") as source, open(files["short"], "wb") as short:
        short.write(source.read(100))

    failures = []
    signed = run([sign_sh, exe, out, pfx, files["password"]])
    print(signed.stdout + signed.stderr, end="")
    if signed.returncode != 0 or not os.path.exists(out):
        print("FAILED signing the shipped exe")
        return 1
    verified = run(["osslsigncode", "verify", "-CAfile", cert, "-in", out])
    print("osslsigncode verify -CAfile <the test certificate>:\n" + verified.stdout + verified.stderr)
    if verified.returncode != 0 or "Signature verification: ok" not in verified.stdout:
        failures.append("osslsigncode verify does not accept the signature against the test certificate")
    if run(["osslsigncode", "verify", "-CAfile", other_cert, "-in", out]).returncode == 0:
        failures.append("osslsigncode verify accepts the signature against an unrelated certificate")
    stripped = os.path.join(work, "stripped.exe")
    run(["osslsigncode", "remove-signature", "-in", out, "-out", stripped])
    with open(exe, "rb") as original, open(stripped, "rb") as copy:
        if original.read() != copy.read():
            failures.append("the signed copy without its signature is not the unsigned exe")

    # Each row: what it checks, sign.sh's arguments (names of files above, or "out"),
    # the exit status, a part of its message, and whether an OUT was there before.
    rows = [
        ("a PFX without a password, no PASSWORD-FILE", ["exe", "out", "open_pfx"], 0, "signed", False),
        ("no password for a PFX that has one", ["exe", "out", "pfx"], 1, "needs a password", False),
        ("a wrong password", ["exe", "out", "pfx", "wrong"], 1, "wrong password", False),
        ("a wrong password leaves an earlier OUT as it was", ["exe", "out", "pfx", "wrong"], 1, "wrong password",
         True),
        ("a missing password file", ["exe", "out", "pfx", "missing"], 1, "no such readable password file", False),
        ("IN is not a PE file", ["cert", "out", "pfx", "password"], 1, "is not a PE file", False),
        ("IN ends before its PE header", ["short", "out", "pfx", "password"], 1, "is not a PE file", False),
        ("PFX is not a PKCS#12 file", ["exe", "out", "cert", "password"], 1, "not a PKCS#12 file", False),
        ("too few arguments", ["exe", "out"], 2, "usage:", False),
    ]
    for index, (checks, names, status, message, earlier) in enumerate(rows):
        folder = os.path.join(work, "row%d" % index)
        os.makedirs(folder)
        row_out = os.path.join(folder, "comreg32.exe")
        if earlier:
            with open(row_out, "wb") as handle:
                handle.write(b"an earlier OUT")
        result = run([sign_sh] + [row_out if name == "out" else files[name] for name in names])
        said = (result.stdout + result.stderr).strip()
        problems = []
        if result.returncode != status:
            problems.append("status %d, expected %d" % (result.returncode, status))
        if message not in said:
            problems.append("message %r lacks %r" % (said, message))
        if status != 0 and earlier and open(row_out, "rb").read() != b"an earlier OUT":
            problems.append("the earlier OUT was changed")
        if status != 0 and not earlier and os.path.exists(row_out):
            problems.append("an OUT was left behind")
        if status == 0 and run(["osslsigncode", "verify", "-CAfile", open_cert, "-in", row_out]).returncode != 0:
            problems.append("the copy it signed does not verify")
        if glob.glob(os.path.join(folder, ".sign.*")):
            problems.append("a work folder was left behind")
        print(("ok     " if not problems else "FAILED ") + checks + (": " + "; ".join(problems) if problems else ""))
        if problems:
            failures.append(checks)
    for failure in failures:
        print("FAILED " + failure)
    return 1 if failures else 0


sys.exit(main())
