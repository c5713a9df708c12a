#!/usr/bin/env python3
"""A package server that misbehaves on request, for the download tests.

    faultserver.py --root DIR --port-file FILE --log FILE [--package NAME]

Listens on 127.0.0.1 only, on a port the system picks, and writes that port to FILE once
it accepts connections. Serves every file of DIR at /<name> and below one folder,
/<folder>/<name>, which is how the distributor lays out /<md5>/<name>. /software/155
redirects to /<md5>/<package> (the query string travels along, so that the faults a
test asks for reach the final address; ?package=NAME picks another file).

Faults, chosen per request through query parameters:
  close_after=N             close the connection after N body bytes
  stall_at=N&stall_secs=T   send N body bytes, stall T seconds, then close
  ignore_range=1            answer 200 with the whole file whatever the Range
  no_length=1               no Content-Length; the end of the body is the connection's end
  fake_length=N             claim Content-Length N, send the real body, then close
  status=CODE               answer CODE with a short body
  gzip=1                    gzip the body and say so in Content-Encoding
  throttle=BYTES_PER_SEC    pace the body
  redirect_loop=1           redirect every request to itself
  fail_first=K              the first K requests with this same query string answer 503
  wrong_range=1             answer 206 for a different range than the one asked for
  close_before_headers=1    read the request, then close without a word

Every request appends one JSON line to the log: method, path, query, range (or null),
status (0 when nothing was answered) and sent (body bytes actually written). Each line is
written in one go and the file is reopened for every line, so a test may truncate it.
"""

import argparse
import gzip
import hashlib
import http.server
import json
import os
import re
import signal
import socket
import sys
import threading
import time
import urllib.parse

CHUNK = 64 * 1024
# A stall or a throttle never outlives the server; nor does an idle keep-alive connection
# hold a thread for long.
MAX_STALL_SECS = 600.0
IDLE_TIMEOUT_SECS = 30.0
REDIRECT_PATH = "/software/155"
RANGE_PATTERN = re.compile(r"^bytes=(\d*)-(\d*)$")


class Files:
    """The served files with their digests and gzip forms, computed once per version."""

    def __init__(self, root):
        self.root = os.path.realpath(root)
        self.lock = threading.Lock()
        self.cache = {}

    def path_of(self, name):
        if not name or name in (".", "..") or "/" in name or "\\" in name or "\0" in name:
            return None
        path = os.path.join(self.root, name)
        return path if os.path.isfile(path) else None

    def _entry(self, path):
        stat = os.stat(path)
        key = (path, stat.st_size, stat.st_mtime_ns)
        with self.lock:
            entry = self.cache.get(key)
            if entry is None:
                entry = {}
                self.cache[key] = entry
        return entry, key

    def md5(self, path):
        entry, _ = self._entry(path)
        with self.lock:
            if "md5" in entry:
                return entry["md5"]
        digest = hashlib.md5()
        with open(path, "rb") as f:
            for block in iter(lambda: f.read(1 << 20), b""):
                digest.update(block)
        with self.lock:
            entry["md5"] = digest.hexdigest()
            return entry["md5"]

    def gzipped(self, path):
        entry, _ = self._entry(path)
        with self.lock:
            if "gzip" in entry:
                return entry["gzip"]
        with open(path, "rb") as f:
            data = gzip.compress(f.read(), compresslevel=1, mtime=0)
        with self.lock:
            entry["gzip"] = data
            return data


class Log:
    def __init__(self, path):
        self.path = path
        self.lock = threading.Lock()

    def write(self, record):
        line = json.dumps(record) + "\n"
        with self.lock:
            with open(self.path, "a", encoding="ascii") as f:
                f.write(line)
                f.flush()


class FailCounter:
    def __init__(self):
        self.lock = threading.Lock()
        self.counts = {}

    def next(self, query):
        with self.lock:
            self.counts[query] = self.counts.get(query, 0) + 1
            return self.counts[query]


class Body:
    """What a file response sends: bytes of a file on disk or of a buffer."""

    def __init__(self, path=None, data=None):
        self.path = path
        self.data = data
        self.total = len(data) if data is not None else os.path.getsize(path)

    def chunks(self, first, count):
        if self.data is not None:
            view = memoryview(self.data)
            for offset in range(first, first + count, CHUNK):
                yield view[offset:min(offset + CHUNK, first + count)]
            return
        with open(self.path, "rb") as f:
            f.seek(first)
            left = count
            while left > 0:
                block = f.read(min(CHUNK, left))
                if not block:
                    return
                left -= len(block)
                yield block


def parse_int(text, default=None, minimum=0):
    try:
        value = int(text)
    except (TypeError, ValueError):
        return default
    return value if value >= minimum else default


def parse_float(text, default=0.0):
    try:
        value = float(text)
    except (TypeError, ValueError):
        return default
    return value if value == value and value >= 0 else default


def parse_range(header, total):
    """(first, last) of a single range, 'unsatisfiable', or None to send everything."""
    if header is None:
        return None
    match = RANGE_PATTERN.match(header.strip())
    if not match:
        return None  # several ranges or another unit: the whole file is a valid answer
    start, end = match.group(1), match.group(2)
    if start == "" and end == "":
        return None
    if start == "":
        suffix = int(end)
        if suffix == 0 or total == 0:
            return "unsatisfiable"
        return (max(0, total - suffix), total - 1)
    first = int(start)
    last = total - 1 if end == "" else min(int(end), total - 1)
    if first >= total or (end != "" and int(end) < first):
        return "unsatisfiable"
    return (first, last)


def other_range(first, last, total):
    """A range of the same file that is not (first, last), for wrong_range."""
    if first > 0:
        return (first - 1, last - 1)
    if last + 1 < total:
        return (first + 1, last + 1)
    return (first + 1, last) if first + 1 <= last else (first, last)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "LumivaneFaultServer/1"
    timeout = IDLE_TIMEOUT_SECS

    def log_message(self, format, *args):
        pass  # the JSON log is the record; stderr stays quiet

    def do_GET(self):
        self.answer(head=False)

    def do_HEAD(self):
        self.answer(head=True)

    # Everything below runs once per request.

    def answer(self, head):
        self.record = {
            "method": self.command,
            "path": "",
            "query": "",
            "range": self.headers.get("Range"),
            "status": 0,
            "sent": 0,
        }
        try:
            self.drain_request_body()
            parts = urllib.parse.urlsplit(self.path)
            self.record["path"] = urllib.parse.unquote(parts.path)
            self.record["query"] = parts.query
            self.faults = dict(urllib.parse.parse_qsl(parts.query, keep_blank_values=True))
            self.head = head
            self.route(self.record["path"], parts.path, parts.query)
        except (ConnectionError, socket.timeout, OSError):
            self.close_connection = True
        finally:
            self.server.log.write(self.record)

    def drain_request_body(self):
        length = parse_int(self.headers.get("Content-Length"), 0)
        while length > 0:
            block = self.rfile.read(min(CHUNK, length))
            if not block:
                break
            length -= len(block)

    def route(self, path, raw_path, query):
        faults = self.faults
        if faults.get("close_before_headers") == "1":
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
            return
        fail_first = parse_int(faults.get("fail_first"), 0)
        if fail_first and self.server.fail_counter.next(query) <= fail_first:
            return self.short_answer(503, b"failing on purpose\n")
        if faults.get("redirect_loop") == "1":
            return self.redirect(raw_path, query)
        status = parse_int(faults.get("status"), None, 100)
        if status is not None and status <= 999:
            return self.short_answer(status, b"status on request\n")
        if path == REDIRECT_PATH:
            name = faults.get("package", self.server.package)
            file = self.server.files.path_of(name)
            if file is None:
                return self.short_answer(404, b"no such package\n")
            return self.redirect("/%s/%s" % (self.server.files.md5(file), urllib.parse.quote(name)), query)
        segments = path.split("/")[1:]
        if len(segments) not in (1, 2):
            return self.short_answer(404, b"not found\n")
        file = self.server.files.path_of(segments[-1])
        if file is None:
            return self.short_answer(404, b"not found\n")
        self.send_file(file)

    def redirect(self, path, query):
        host = self.headers.get("Host") or "127.0.0.1:%d" % self.server.server_address[1]
        location = "http://%s%s%s" % (host, path, "?" + query if query else "")
        self.start_answer(302, [("Location", location), ("Content-Length", "0")])
        self.end_headers()

    def short_answer(self, status, body):
        self.start_answer(status, [("Content-Type", "text/plain"), ("Content-Length", str(len(body)))])
        self.end_headers()
        if not self.head:
            self.wfile.write(body)
            self.record["sent"] = len(body)

    def start_answer(self, status, headers):
        self.record["status"] = status
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)

    def send_file(self, path):
        faults = self.faults
        if faults.get("gzip") == "1":
            body = Body(data=self.server.files.gzipped(path))
        else:
            body = Body(path=path)
        total = body.total
        wanted = None if faults.get("ignore_range") == "1" else parse_range(self.headers.get("Range"), total)
        if wanted == "unsatisfiable":
            self.start_answer(416, [("Content-Range", "bytes */%d" % total), ("Content-Length", "0")])
            self.end_headers()
            return
        headers = [("Content-Type", "application/octet-stream"), ("Accept-Ranges", "bytes")]
        if faults.get("gzip") == "1":
            headers.append(("Content-Encoding", "gzip"))
        status, first, count = 200, 0, total
        if wanted is None and faults.get("wrong_range") == "1" and total > 0:
            wanted = (0, total - 1)
        if wanted is not None:
            first, last = wanted
            if faults.get("wrong_range") == "1":
                first, last = other_range(first, last, total)
            status, count = 206, last - first + 1
            headers.append(("Content-Range", "bytes %d-%d/%d" % (first, last, total)))
        close_at_end = False
        if faults.get("no_length") == "1":
            close_at_end = True
        elif faults.get("fake_length") is not None:
            headers.append(("Content-Length", str(parse_int(faults.get("fake_length"), 0))))
            close_at_end = True
        else:
            headers.append(("Content-Length", str(count)))
        if close_at_end:
            headers.append(("Connection", "close"))
            self.close_connection = True
        self.start_answer(status, headers)
        self.end_headers()
        if not self.head:
            self.send_body(body, first, count)

    def send_body(self, body, first, count):
        faults = self.faults
        limit = count
        close_after = parse_int(faults.get("close_after"))
        stall_at = parse_int(faults.get("stall_at"))
        if close_after is not None:
            limit = min(limit, close_after)
        if stall_at is not None:
            limit = min(limit, stall_at)
        rate = parse_int(faults.get("throttle"), None, 1)
        started = time.monotonic()
        for chunk in body.chunks(first, limit):
            if rate:
                chunk = self.paced_write(chunk, rate, started)
                if chunk is None:
                    return
            else:
                self.wfile.write(chunk)
                self.record["sent"] += len(chunk)
        self.wfile.flush()
        if stall_at is not None and stall_at < count:
            secs = min(parse_float(faults.get("stall_secs")), MAX_STALL_SECS)
            self.server.stopping.wait(secs)
        if limit < count:
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)

    def paced_write(self, chunk, rate, started):
        """Writes chunk no faster than rate bytes per second; None once the server stops."""
        step = max(1, rate // 20)
        for offset in range(0, len(chunk), step):
            piece = chunk[offset:offset + step]
            due = started + (self.record["sent"] + len(piece)) / rate
            delay = due - time.monotonic()
            if delay > 0 and self.server.stopping.wait(delay):
                self.close_connection = True
                return None
            self.wfile.write(piece)
            self.record["sent"] += len(piece)
        return chunk


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, files, log, package):
        super().__init__(("127.0.0.1", 0), Handler)
        self.files = files
        self.log = log
        self.package = package
        self.fail_counter = FailCounter()
        self.stopping = threading.Event()

    def handle_error(self, request, client_address):
        # Clients that hang up and the faults that hang up on them are the normal case.
        if not isinstance(sys.exc_info()[1], (ConnectionError, socket.timeout, OSError)):
            super().handle_error(request, client_address)


def write_port_file(path, port):
    temporary = path + ".tmp"
    with open(temporary, "w", encoding="ascii") as f:
        f.write("%d\n" % port)
    os.replace(temporary, path)


def main(argv):
    parser = argparse.ArgumentParser(description="Fault-injecting package server on 127.0.0.1")
    parser.add_argument("--root", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--package", default="package.bin")
    args = parser.parse_args(argv)
    if not os.path.isdir(args.root):
        parser.error("no such folder: %s" % args.root)

    server = Server(Files(args.root), Log(args.log), args.package)
    stop = threading.Event()
    for signum in (signal.SIGTERM, signal.SIGINT):
        signal.signal(signum, lambda *_: stop.set())
    worker = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True)
    worker.start()
    write_port_file(args.port_file, server.server_address[1])
    while not stop.wait(0.2):
        pass
    server.stopping.set()
    server.shutdown()
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
