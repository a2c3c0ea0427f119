"""A certificate authority made for one test run with openssl, and the
server certificates the https tests need: one for localhost that the
authority signed, one that has expired, one for another name, and one that
no trusted authority signed. The authority goes into the Wine prefix's
trusted root store as an administrator would put it there (trustroot.exe)
and comes out again at the end; its key is thrown away with the folder."""
import os
import shutil
import subprocess
import tempfile


def _openssl(*args, cwd):
    subprocess.run(["openssl"] + list(args), cwd=cwd, check=True, capture_output=True, timeout=60)


class TestAuthority:
    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="orvo-e2e-ca-")
        d = self.folder
        _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem",
                 "-days", "3", "-subj", "/CN=OrvoCapture Test Authority",
                 "-addext", "basicConstraints=critical,CA:TRUE",
                 "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=d)
        _openssl("x509", "-in", "ca.pem", "-outform", "DER", "-out", "ca.der", cwd=d)
        os.makedirs(os.path.join(d, "db"))
        open(os.path.join(d, "db", "index.txt"), "w").close()
        with open(os.path.join(d, "db", "serial"), "w") as f:
            f.write("1000\n")
        with open(os.path.join(d, "ca.cnf"), "w") as f:
            f.write("[ca]\ndefault_ca = test\n[test]\ndatabase = db/index.txt\nnew_certs_dir = db\n"
                    "serial = db/serial\ndefault_md = sha256\npolicy = any\nunique_subject = no\n"
                    "copy_extensions = none\n[any]\ncommonName = supplied\n"
                    "[localhost]\nsubjectAltName = DNS:localhost\nbasicConstraints = CA:FALSE\n"
                    "extendedKeyUsage = serverAuth\n"
                    "[other]\nsubjectAltName = DNS:other.example\nbasicConstraints = CA:FALSE\n"
                    "extendedKeyUsage = serverAuth\n")
        day = 86400
        self.good = self._sign("good", "localhost", "localhost", 0, 2 * day)
        self.expired = self._sign("expired", "localhost", "localhost", -60 * day, -30 * day)
        self.wrong_name = self._sign("wrong", "other.example", "other", 0, 2 * day)
        # Self-signed: no authority the computer knows vouches for it.
        _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "untrusted.key",
                 "-out", "untrusted.pem", "-days", "3", "-subj", "/CN=localhost",
                 "-addext", "subjectAltName=DNS:localhost", cwd=d)
        self.untrusted = (os.path.join(d, "untrusted.pem"), os.path.join(d, "untrusted.key"))
        self.ca_pem = os.path.join(d, "ca.pem")
        self.ca_der = os.path.join(d, "ca.der")

    def _sign(self, name, common_name, section, start_offset, end_offset):
        import datetime
        now = datetime.datetime.now(datetime.timezone.utc)
        stamp = lambda seconds: (now + datetime.timedelta(seconds=seconds)).strftime("%Y%m%d%H%M%SZ")
        d = self.folder
        _openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key", "-out", name + ".csr",
                 "-subj", "/CN=" + common_name, cwd=d)
        _openssl("ca", "-batch", "-config", "ca.cnf", "-cert", "ca.pem", "-keyfile", "ca.key",
                 "-in", name + ".csr", "-out", name + ".pem", "-startdate", stamp(start_offset),
                 "-enddate", stamp(end_offset), "-extensions", section, "-notext", cwd=d)
        return os.path.join(d, name + ".pem"), os.path.join(d, name + ".key")

    def trust(self, desktop):
        """Adds the authority to the prefix's trusted roots."""
        self._trustroot(desktop, "add", "added")

    def distrust(self, desktop):
        self._trustroot(desktop, "remove", "removed")

    def _trustroot(self, desktop, command, expected):
        out = subprocess.run(["wine", desktop.exe("trustroot.exe"), command, "Z:" + self.ca_der.replace("/", "\\")],
                             env=desktop.env, capture_output=True, timeout=120).stdout.decode("utf-8", "replace")
        if expected not in out:
            raise AssertionError("trustroot %s: %r" % (command, out))

    def cleanup(self):
        shutil.rmtree(self.folder, ignore_errors=True)
