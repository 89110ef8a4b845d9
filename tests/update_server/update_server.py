#!/usr/bin/env python3
"""The update server of the tests: a TLS server on 127.0.0.1 with a throw-away
certificate authority, and the signed program files it offers. Each program NAME is
Authenticode-signed as the case needs and has NAME.sig beside it, the project's update
signature made with the repository's TEST key (TEST_ONLY_update_key.pem), the one the
test build embeds; NAME.other_key.sig is made with a key the program does not know.

  update_server.py start FOLDER PROGRAM   make what is missing, start the server in the
                                           background, return once it listens
  update_server.py stop FOLDER            ask it to stop and wait until it has

The tests steer it through files in FOLDER/served: NAME is the body of /NAME,
NAME.status its status code, NAME.mode one of "endless", "slow", "truncated";
a file "silent" makes the server accept connections and never answer. Every
request is appended to FOLDER/served/requests.log. The server also stops by
itself after IDLE_LIMIT seconds without a request.
"""
import os
import shutil
import socket
import ssl
import struct
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TEST_UPDATE_KEY = os.path.join(HERE, "TEST_ONLY_update_key.pem")
IDLE_LIMIT = 900
HOLD_LIMIT = 120          # how long a silent or endless answer goes on at most
STEP_TIMEOUT = 15


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_certificates(folder):
    """A root, a server certificate for 127.0.0.1 and two code-signing certificates."""
    def path(name):
        return os.path.join(folder, name)

    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30",
        "-keyout", path("root.key"), "-out", path("root.pem"), "-subj", "/CN=Clipvoce Test Root",
        "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    run("openssl", "x509", "-in", path("root.pem"), "-outform", "DER", "-out", path("root.cer"))
    leaves = {
        "server": ("/CN=127.0.0.1", "subjectAltName=DNS:127.0.0.1,IP:127.0.0.1\nextendedKeyUsage=serverAuth\n"),
        "signer": ("/CN=Clipvoce Test Signer", "extendedKeyUsage=codeSigning\n"),
        "stranger": ("/CN=Clipvoce Other Signer", "extendedKeyUsage=codeSigning\n"),
    }
    for name, (subject, extensions) in leaves.items():
        with open(path(name + ".ext"), "w") as ext:
            ext.write(extensions + "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\n")
        run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", path(name + ".key"),
            "-out", path(name + ".csr"), "-subj", subject)
        run("openssl", "x509", "-req", "-in", path(name + ".csr"), "-CA", path("root.pem"),
            "-CAkey", path("root.key"), "-CAcreateserial", "-days", "30",
            "-out", path(name + ".pem"), "-extfile", path(name + ".ext"))


def with_version(image, version):
    """The image with its fixed file and product version set to `version`."""
    data = bytearray(image)
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        raise SystemExit("no version resource in the program")
    parts = [int(p) for p in version.split(".")]
    high, low = (parts[0] << 16) | parts[1], (parts[2] << 16) | parts[3]
    struct.pack_into("<IIII", data, at + 8, high, low, high, low)
    return bytes(data)


def with_machine(image, machine):
    data = bytearray(image)
    header = struct.unpack_from("<I", data, 0x3C)[0]
    struct.pack_into("<H", data, header + 4, machine)
    return bytes(data)


def make_programs(folder, program):
    """The installed copy and the offers, each one way right or wrong."""
    with open(program, "rb") as f:
        image = f.read()
    offers = {
        "installed.exe": (with_version(image, "0.0.2.3"), "signer"),
        "v9.exe": (with_version(image, "9.9.9.9"), "signer"),
        "v10.exe": (with_version(image, "9.9.9.10"), "signer"),
        "v9_unsigned.exe": (with_version(image, "9.9.9.9"), None),
        "v9_other_signer.exe": (with_version(image, "9.9.9.9"), "stranger"),
        "v9_arm64.exe": (with_machine(with_version(image, "9.9.9.9"), 0xAA64), "signer"),
        "v8.exe": (with_version(image, "8.8.8.8"), "signer"),
        "v1.exe": (with_version(image, "0.0.1.0"), "signer"),
        # Bytes past the image do not stop it from starting, and the signature covers them.
        "v9_tail.exe": (with_version(image, "9.9.9.9") + b"new", None),
    }
    programs = os.path.join(folder, "programs")
    os.makedirs(programs, exist_ok=True)
    for name, (data, signer) in offers.items():
        target = os.path.join(programs, name)
        unsigned = target + ".unsigned"
        with open(unsigned, "wb") as f:
            f.write(data)
        if signer is None:
            os.replace(unsigned, target)
            continue
        if os.path.exists(target):
            os.remove(target)
        run("osslsigncode", "sign", "-certs", os.path.join(folder, signer + ".pem"),
            "-key", os.path.join(folder, signer + ".key"), "-h", "sha256", "-in", unsigned, "-out", target)
        os.remove(unsigned)
    other_key = os.path.join(folder, "other_update_key.pem")
    for name in offers:
        target = os.path.join(programs, name)
        for key, suffix in ((TEST_UPDATE_KEY, ".sig"), (other_key, ".other_key.sig")):
            run("openssl", "dgst", "-sha256", "-sign", key, "-out", target + suffix, target)


def prepare(folder, program):
    stamp = os.path.join(folder, "programs", "made-from")
    # A change of this script or of the test key makes the programs again too.
    source = "%s %d %d %d" % (program, os.stat(program).st_mtime_ns, os.stat(__file__).st_mtime_ns,
                              os.stat(TEST_UPDATE_KEY).st_mtime_ns)
    if not os.path.exists(os.path.join(folder, "root.cer")):
        os.makedirs(folder, exist_ok=True)
        make_certificates(folder)
    if not os.path.exists(os.path.join(folder, "other_update_key.pem")):
        run("openssl", "ecparam", "-name", "prime256v1", "-genkey", "-noout",
            "-out", os.path.join(folder, "other_update_key.pem"))
    if not os.path.exists(stamp) or open(stamp).read() != source:
        make_programs(folder, program)
        with open(stamp, "w") as f:
            f.write(source)


class Server:
    def __init__(self, folder):
        self.folder = folder
        self.served = os.path.join(folder, "served")
        self.last_request = time.monotonic()
        self.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self.context.load_cert_chain(os.path.join(folder, "server.pem"), os.path.join(folder, "server.key"))
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(16)
        self.listener.settimeout(1)

    def stopping(self):
        return (os.path.exists(os.path.join(self.folder, "stop")) or
                time.monotonic() - self.last_request > IDLE_LIMIT)

    def file(self, name):
        path = os.path.join(self.served, name)
        if os.path.isfile(path):
            with open(path, "rb") as f:
                return f.read()
        return None

    def hold(self, connection):
        """Keeps the connection open without a word until the client gives up."""
        connection.settimeout(1)
        until = time.monotonic() + HOLD_LIMIT
        while time.monotonic() < until and not self.stopping():
            try:
                if connection.recv(4096) == b"":
                    return
            except socket.timeout:
                continue
            except OSError:
                return

    def answer(self, raw):
        self.last_request = time.monotonic()
        if os.path.exists(os.path.join(self.served, "silent")):
            self.hold(raw)
            return
        raw.settimeout(STEP_TIMEOUT)
        connection = self.context.wrap_socket(raw, server_side=True)
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = connection.recv(4096)
            if not chunk:
                return
            head += chunk
        name = head.split(b" ")[1].decode("latin-1").lstrip("/")
        with open(os.path.join(self.served, "requests.log"), "a") as log:
            log.write(name + "\n")
        body = self.file(name)
        status = (self.file(name + ".status") or b"200").decode().strip()
        mode = (self.file(name + ".mode") or b"").decode().strip()
        if body is None:
            body = b"<!DOCTYPE HTML><html><body>Not Found</body></html>"
            if status == "200":
                status = "404"
        if mode == "endless":
            connection.sendall(b"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n")
            until = time.monotonic() + HOLD_LIMIT
            while time.monotonic() < until and not self.stopping():
                connection.sendall(body or b"\0" * 65536)
            return
        connection.sendall(b"HTTP/1.1 %s X\r\nContent-Length: %d\r\nConnection: close\r\n\r\n"
                           % (status.encode(), len(body)))
        if mode == "truncated":
            connection.sendall(body[: len(body) // 2])
        elif mode == "slow":
            for at in range(0, len(body), 4096):
                connection.sendall(body[at:at + 4096])
                time.sleep(0.05)
        else:
            connection.sendall(body)
        connection.shutdown(socket.SHUT_WR)
        connection.settimeout(2)
        try:
            connection.recv(1)
        except OSError:
            pass

    def handle(self, raw):
        try:
            self.answer(raw)
        except (OSError, ssl.SSLError, IndexError):
            pass
        finally:
            raw.close()

    def run(self, port_file):
        with open(port_file + ".part", "w") as f:
            f.write(str(self.listener.getsockname()[1]))
        os.replace(port_file + ".part", port_file)
        while not self.stopping():
            try:
                raw, _ = self.listener.accept()
            except socket.timeout:
                continue
            threading.Thread(target=self.handle, args=(raw,), daemon=True).start()
        os.remove(port_file)


def start(folder, program):
    prepare(folder, program)
    shutil.rmtree(os.path.join(folder, "served"), ignore_errors=True)
    os.makedirs(os.path.join(folder, "served"))
    port_file = os.path.join(folder, "port")
    for leftover in ("stop", "port"):
        if os.path.exists(os.path.join(folder, leftover)):
            os.remove(os.path.join(folder, leftover))
    if os.fork() == 0:
        # Detached from the caller's output, which ctest waits to see closed.
        os.setsid()
        log = os.open(os.path.join(folder, "server.log"), os.O_WRONLY | os.O_CREAT | os.O_TRUNC)
        null = os.open(os.devnull, os.O_RDONLY)
        os.dup2(null, 0)
        os.dup2(log, 1)
        os.dup2(log, 2)
        Server(folder).run(port_file)
        os._exit(0)
    deadline = time.monotonic() + 30
    while not os.path.exists(port_file):
        if time.monotonic() > deadline:
            raise SystemExit("the update server did not start")
        time.sleep(0.1)
    print("update server on 127.0.0.1:" + open(port_file).read())


def stop(folder):
    open(os.path.join(folder, "stop"), "w").close()
    deadline = time.monotonic() + 10
    while os.path.exists(os.path.join(folder, "port")) and time.monotonic() < deadline:
        time.sleep(0.1)


if __name__ == "__main__":
    if sys.argv[1] == "start":
        start(sys.argv[2], sys.argv[3])
    else:
        stop(sys.argv[2])
