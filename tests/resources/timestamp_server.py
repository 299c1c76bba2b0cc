#!/usr/bin/env python3
"""An RFC 3161 timestamp server on 127.0.0.1, for the signing test and for a demo of a signed
release on a machine without a public timestamp server. It answers with `openssl ts -reply`
under a TSA certificate of its own (timeStamping, critical) issued by a root of its own, and
stops by itself after LIFETIME seconds.

Usage: timestamp_server.py DIR LIFETIME
  DIR/tsa-ca.pem  the TSA's root: give it to verification (INSTALL_SIGNING_CA_FILE, together
                  with the signing certificate's CA)
  DIR/port        the port it listens on, written once it listens
By hand, for a release:
  tests/resources/timestamp_server.py /tmp/tsa 3600 &
  until [ -s /tmp/tsa/port ]; do sleep 0.2; done
  ... -DINSTALL_SIGNING_TIMESTAMP_URL=http://127.0.0.1:$(cat /tmp/tsa/port)/
"""

import http.server
import os
import subprocess
import sys
import tempfile
import time

MAX_QUERY = 64 * 1024
OPENSSL_TIMEOUT = 20

TSA_CONFIG = """\
[tsa]
default_tsa = loopback
[loopback]
serial = {dir}/tsa-serial
crypto_device = builtin
signer_cert = {dir}/tsa.pem
certs = {dir}/tsa-ca.pem
signer_key = {dir}/tsa.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.4146.2.3
digests = sha1, sha256, sha384, sha512
accuracy = secs:1
ordering = no
tsa_name = yes
ess_cert_id_chain = no
ess_cert_id_alg = sha256
"""


def openssl(*arguments, **options):
    subprocess.run(["openssl", *arguments], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE, timeout=OPENSSL_TIMEOUT, **options)


def make_tsa(directory, days):
    """The root and the TSA certificate; kept when they exist, so a restart serves the same."""
    path = lambda name: os.path.join(directory, name)
    if os.path.exists(path("tsa.pem")):
        return
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", str(days),
            "-subj", "/CN=Loopback timestamp root", "-keyout", path("tsa-ca.key"),
            "-out", path("tsa-ca.pem"),
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=Loopback TSA",
            "-keyout", path("tsa.key"), "-out", path("tsa.csr"))
    with open(path("tsa.ext"), "w", encoding="ascii") as file:
        file.write("basicConstraints=critical,CA:FALSE\n"
                   "keyUsage=critical,digitalSignature,nonRepudiation\n"
                   "extendedKeyUsage=critical,timeStamping\n")
    openssl("x509", "-req", "-in", path("tsa.csr"), "-CA", path("tsa-ca.pem"),
            "-CAkey", path("tsa-ca.key"), "-set_serial", "1", "-days", str(days),
            "-sha256", "-extfile", path("tsa.ext"), "-out", path("tsa.pem"))
    with open(path("tsa-serial"), "w", encoding="ascii") as file:
        file.write("01\n")
    with open(path("tsa.cnf"), "w", encoding="ascii") as file:
        file.write(TSA_CONFIG.format(dir=directory))


class Handler(http.server.BaseHTTPRequestHandler):
    directory = ""

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        if not 0 < length <= MAX_QUERY:
            self.send_error(400, "query missing or too long")
            return
        query = self.rfile.read(length)
        with tempfile.TemporaryDirectory(dir=self.directory) as scratch:
            query_file = os.path.join(scratch, "query.tsq")
            reply_file = os.path.join(scratch, "reply.tsr")
            with open(query_file, "wb") as file:
                file.write(query)
            try:
                openssl("ts", "-reply", "-config", os.path.join(self.directory, "tsa.cnf"),
                        "-queryfile", query_file, "-out", reply_file)
            except (subprocess.CalledProcessError, subprocess.TimeoutExpired):
                self.send_error(500, "openssl ts -reply failed")
                return
            with open(reply_file, "rb") as file:
                reply = file.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *arguments):
        pass


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    directory, lifetime = os.path.abspath(sys.argv[1]), float(sys.argv[2])
    os.makedirs(directory, exist_ok=True)
    make_tsa(directory, max(2, int(lifetime // 86400) + 2))
    Handler.directory = directory
    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    server.timeout = 0.5
    # Written whole, then renamed: a reader never sees half a port number.
    with open(os.path.join(directory, "port.partial"), "w", encoding="ascii") as file:
        file.write("%d\n" % server.server_address[1])
    os.replace(os.path.join(directory, "port.partial"), os.path.join(directory, "port"))
    deadline = time.monotonic() + lifetime
    with server:
        while time.monotonic() < deadline:
            server.handle_request()


if __name__ == "__main__":
    main()
