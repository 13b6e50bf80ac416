#!/usr/bin/env python3
"""The dig Clipvane's window makes, written the short way: one keep-alive connection, the same
pattern, the same requests in the same order, each body written to a file. bench_dig runs it
against its own demo site and compares the two wall times.

    python3 bench/peer_dig.py --host localhost:18080 --start dQw4w9WgXcQ --depth 3

Prints "rows N", "fetches N", "wall time X ms" and "processor time X ms" (the dig only, not the
interpreter's start).
"""

import argparse
import http.client
import os
import re
import sys
import tempfile
import time

# The program's built-in pattern, character for character.
PATTERN = re.compile(
    r'<li class="video-list-item related-list-item">[\s\S]+?v=([^"]*)" class="related-video  '
    r'yt-uix-sessionlink"[\s\S]+?data-thumb="([^"]*)"[\s\S]+?class="video-time">([^<]*)</span>'
    r'[\s\S]+?<span dir="ltr" class="title" title="([^"]*)">[^<]*</span>[\d\D]+?<span '
    r'class="stat view-count">([^<]*)</span>')


class FetchFailed(Exception):
    pass


class Digger:
    def __init__(self, host, folder):
        self.prefix = "http://" + host + "/watch?v="
        self.folder = folder
        self.connections = {}
        self.fetched = []
        self.rows = []  # (id, title, length, views)
        self.listed = set()
        self.stop = False

    def get(self, url, name):
        self.fetched.append(url)
        if not url.startswith("http://"):
            raise FetchFailed(url)
        host, _, path = url[7:].partition("/")
        connection = self.connections.get(host)
        if connection is None:
            connection = self.connections[host] = http.client.HTTPConnection(host, timeout=60)
        try:
            connection.request("GET", "/" + path)
            response = connection.getresponse()
            body = response.read()
        except (OSError, http.client.HTTPException) as e:
            connection.close()
            raise FetchFailed(url) from e
        # Overwrite, then cut: opening with O_TRUNC makes ext4 flush the file to disk on close,
        # some 3 ms a fetch that the program does not pay either.
        fd = os.open(os.path.join(self.folder, name), os.O_WRONLY | os.O_CREAT, 0o644)
        with os.fdopen(fd, "wb") as f:
            f.write(body)
            f.truncate()
        if not 200 <= response.status < 300:
            raise FetchFailed(url)
        return body

    def matches(self, body):
        try:
            page = body.decode("utf-8")
        except UnicodeDecodeError:
            return
        yield from PATTERN.finditer(page)

    def add(self, m):
        self.rows.append((m.group(1), m.group(4), m.group(3), m.group(5)))
        self.listed.add(m.group(1))

    def start_page(self, video):
        body = self.get(self.prefix + video, "youtube.0")
        for m in self.matches(body):
            # The start page keeps a video listed twice; a failed thumbnail ends the dig.
            self.get("http:" + m.group(2), "default.0")
            self.add(m)

    def explore(self, video):
        if self.stop:
            return
        try:
            body = self.get(self.prefix + video, "youtube.0")
        except FetchFailed:
            self.stop = True
            return
        for m in self.matches(body):
            if m.group(1) in self.listed:
                continue
            try:
                self.get("http:" + m.group(2), "default.0")
            except FetchFailed:
                continue
            self.add(m)

    def dig(self, video, depth):
        try:
            self.start_page(video)
        except FetchFailed as e:
            return "download failed: " + str(e)
        for _ in range(depth - 1):
            for i in range(len(self.rows) - 1, -1, -1):
                self.explore(self.rows[i][0])
            if self.stop:
                return "a watch page could not be downloaded"
        return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--host", default="localhost:18080", help="video site host:port")
    parser.add_argument("--start", default="dQw4w9WgXcQ", help="video identifier")
    parser.add_argument("--depth", type=int, choices=(1, 2, 3), default=3)
    parser.add_argument("--scratch", help="folder for the two files (default: a temporary one)")
    parser.add_argument("--list", help="write every fetched address to this file, one a line")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(dir=args.scratch) as folder:
        digger = Digger(args.host, folder)
        began, began_cpu = time.perf_counter(), time.process_time()
        problem = digger.dig(args.start, args.depth)
        wall, cpu = time.perf_counter() - began, time.process_time() - began_cpu
    if args.list:
        with open(args.list, "w", encoding="utf-8") as f:
            f.writelines(url + "\n" for url in digger.fetched)
    print("rows %d" % len(digger.rows))
    print("fetches %d" % len(digger.fetched))
    print("wall time %.1f ms" % (wall * 1000))
    print("processor time %.1f ms" % (cpu * 1000))
    if problem:
        print("peer_dig: " + problem, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
