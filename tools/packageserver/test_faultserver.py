#!/usr/bin/env python3
"""Self-check of faultserver.py: the download tests trust what it claims to do."""

import gzip
import hashlib
import http.client
import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SIZE = 100000


class FaultServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        root = os.path.join(cls.folder.name, "files")
        os.mkdir(root)
        cls.data = bytes((i * 7 + i // 251) % 256 for i in range(SIZE))
        with open(os.path.join(root, "package.bin"), "wb") as f:
            f.write(cls.data)
        cls.md5 = hashlib.md5(cls.data).hexdigest()
        cls.port_file = os.path.join(cls.folder.name, "port")
        cls.log = os.path.join(cls.folder.name, "log")
        open(cls.log, "w").close()
        cls.server = subprocess.Popen([sys.executable, os.path.join(HERE, "faultserver.py"), "--root", root,
                                       "--port-file", cls.port_file, "--log", cls.log])
        deadline = time.monotonic() + 10
        while not os.path.exists(cls.port_file):
            if time.monotonic() > deadline or cls.server.poll() is not None:
                raise RuntimeError("the fault server did not start")
            time.sleep(0.05)
        with open(cls.port_file) as f:
            cls.port = int(f.read())

    @classmethod
    def tearDownClass(cls):
        cls.server.send_signal(signal.SIGTERM)
        try:
            cls.server.wait(timeout=10)
        finally:
            if cls.server.poll() is None:
                cls.server.kill()
            cls.folder.cleanup()

    def setUp(self):
        # The server logs a request after its last byte, so the previous test's last line
        # may still be on its way.
        self.log_entries()
        open(self.log, "w").close()

    def request(self, path, headers=None, method="GET"):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        self.addCleanup(connection.close)
        connection.request(method, path, headers=headers or {})
        return connection.getresponse()

    def read_partly(self, response):
        """The body as far as it came before the connection ended."""
        data = b""
        while True:
            try:
                block = response.read1(65536)
            except (http.client.IncompleteRead, ConnectionError) as error:
                return data + getattr(error, "partial", b"")
            if not block:
                return data
            data += block

    def log_entries(self):
        deadline = time.monotonic() + 2
        previous = None
        while True:
            with open(self.log) as f:
                text = f.read()
            if text == previous or time.monotonic() > deadline:
                return [json.loads(line) for line in text.splitlines()]
            previous = text
            time.sleep(0.1)

    def test_whole_file_ranges_and_unsatisfiable(self):
        cases = [
            (None, 200, self.data, None),
            ("bytes=0-99", 206, self.data[:100], "bytes 0-99/%d" % SIZE),
            ("bytes=99990-", 206, self.data[99990:], "bytes 99990-99999/%d" % SIZE),
            ("bytes=99990-200000", 206, self.data[99990:], "bytes 99990-99999/%d" % SIZE),
            ("bytes=-10", 206, self.data[-10:], "bytes 99990-99999/%d" % SIZE),
            ("bytes=100000-", 416, b"", "bytes */%d" % SIZE),
            ("bytes=50-10", 416, b"", "bytes */%d" % SIZE),
            ("bytes=0-1,5-6", 200, self.data, None),
        ]
        for header, status, body, content_range in cases:
            with self.subTest(header=header):
                response = self.request("/package.bin", {"Range": header} if header else {})
                self.assertEqual(response.status, status)
                self.assertEqual(response.read(), body)
                self.assertEqual(response.getheader("Content-Range"), content_range)
        entries = self.log_entries()
        self.assertEqual([e["range"] for e in entries], [c[0] for c in cases])
        self.assertEqual([e["sent"] for e in entries], [len(c[2]) for c in cases])

    def test_digest_folder_redirect_and_head(self):
        response = self.request("/software/155?close_after=5")
        self.assertEqual(response.status, 302)
        self.assertEqual(response.getheader("Location"),
                         "http://127.0.0.1:%d/%s/package.bin?close_after=5" % (self.port, self.md5))
        response = self.request("/%s/package.bin" % self.md5)
        self.assertEqual(response.read(), self.data)
        response = self.request("/%s/package.bin" % self.md5, method="HEAD")
        self.assertEqual(response.getheader("Content-Length"), str(SIZE))
        self.assertEqual(response.read(), b"")
        for missing in ("/nothing.bin", "/a/b/package.bin", "/x/..", "/software/155?package=x"):
            with self.subTest(path=missing):
                self.assertEqual(self.request(missing).status, 404)

    def test_connection_faults_cut_the_body(self):
        cases = [("close_after=1000", 1000), ("stall_at=500&stall_secs=1", 500), ("close_after=0", 0)]
        for query, expected in cases:
            with self.subTest(query=query):
                started = time.monotonic()
                response = self.request("/package.bin?" + query)
                self.assertEqual(response.getheader("Content-Length"), str(SIZE))
                self.assertEqual(self.read_partly(response), self.data[:expected])
                if "stall_secs" in query:
                    self.assertGreaterEqual(time.monotonic() - started, 0.9)
        self.assertEqual([e["sent"] for e in self.log_entries()], [c[1] for c in cases])

    def test_range_faults(self):
        response = self.request("/package.bin?ignore_range=1", {"Range": "bytes=10-19"})
        self.assertEqual((response.status, response.read()), (200, self.data))
        response = self.request("/package.bin?wrong_range=1", {"Range": "bytes=10-19"})
        self.assertEqual(response.status, 206)
        self.assertNotEqual(response.getheader("Content-Range"), "bytes 10-19/%d" % SIZE)
        first, last = map(int, response.getheader("Content-Range").split()[1].split("/")[0].split("-"))
        self.assertEqual(response.read(), self.data[first:last + 1])

    def test_length_faults(self):
        response = self.request("/package.bin?no_length=1")
        self.assertIsNone(response.getheader("Content-Length"))
        self.assertEqual(response.read(), self.data)
        response = self.request("/package.bin?fake_length=10737418240", method="HEAD")
        self.assertEqual(response.getheader("Content-Length"), "10737418240")
        response = self.request("/package.bin?fake_length=10737418240")
        self.assertEqual(self.read_partly(response), self.data)

    def test_status_gzip_and_throttle(self):
        response = self.request("/package.bin?status=500")
        self.assertEqual(response.status, 500)
        self.assertNotEqual(response.read(), self.data)
        response = self.request("/package.bin?gzip=1")
        self.assertEqual(response.getheader("Content-Encoding"), "gzip")
        self.assertEqual(gzip.decompress(response.read()), self.data)
        started = time.monotonic()
        response = self.request("/package.bin?throttle=20000", {"Range": "bytes=0-9999"})
        self.assertEqual(response.read(), self.data[:10000])
        self.assertGreaterEqual(time.monotonic() - started, 0.4)

    def test_redirect_loop_and_fail_first(self):
        response = self.request("/package.bin?redirect_loop=1")
        self.assertEqual(response.status, 302)
        self.assertEqual(response.getheader("Location"),
                         "http://127.0.0.1:%d/package.bin?redirect_loop=1" % self.port)
        statuses = [self.request("/package.bin?fail_first=2&n=%d" % id(self)).status for _ in range(3)]
        self.assertEqual(statuses, [503, 503, 200])

    def test_close_before_headers_and_keep_alive(self):
        connection = socket.create_connection(("127.0.0.1", self.port), timeout=10)
        with connection:
            connection.sendall(b"GET /package.bin?close_before_headers=1 HTTP/1.1\r\nHost: x\r\n\r\n")
            self.assertEqual(connection.recv(100), b"")
        # Two requests on one connection: the first answer must end exactly at its length.
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        self.addCleanup(connection.close)
        for header in ("bytes=0-9", "bytes=10-19"):
            connection.request("GET", "/package.bin", headers={"Range": header})
            first = int(header[6:].split("-")[0])
            self.assertEqual(connection.getresponse().read(), self.data[first:first + 10])
        self.assertEqual(self.log_entries()[0]["status"], 0)


if __name__ == "__main__":
    unittest.main()
