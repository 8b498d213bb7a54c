"""Checks the tests' HTTP server: its behaviours, its request log and its runner."""

import base64
import http.client
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import http_server  # noqa: E402

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "http_server.py")


def parse_log(data):
    """The request log as a list of (request line, [(name, value)], body)."""
    requests = []
    pos = 0
    while pos < len(data):
        end = data.index(b"\n", pos)
        assert data[pos:end] == b"request", data[pos:end]
        pos = end + 1
        line, headers = None, []
        while True:
            end = data.index(b"\n", pos)
            field = data[pos:end].decode("latin-1")
            pos = end + 1
            if field.startswith("line "):
                line = field[5:]
            elif field.startswith("header "):
                name, _, value = field[7:].partition(": ")
                headers.append((name, value))
            elif field.startswith("body "):
                size = int(field[5:])
                body = data[pos:pos + size]
                pos += size
                assert data[pos:pos + 5] == b"\nend\n"
                pos += 5
                break
        requests.append((line, headers, body))
    return requests


class ServerTest(unittest.TestCase):
    def setUp(self):
        self.state = tempfile.TemporaryDirectory()
        self.root = os.path.join(self.state.name, "root")
        os.makedirs(os.path.join(self.root, "defs"))
        with open(os.path.join(self.root, "defs", "qzinfo.dat"), "wb") as f:
            f.write(bytes(range(256)) * 4)
        self.log = os.path.join(self.state.name, "requests.log")
        self.rules = os.path.join(self.state.name, "rules.txt")
        open(self.log, "wb").close()
        self.server = http_server.start_server(self.root, self.log, self.rules)
        self.port = self.server.server_address[1]

    def tearDown(self):
        self.server.shutdown()
        self.server.server_close()
        self.state.cleanup()

    def fetch(self, path, method="GET", headers=None, body=None):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        try:
            connection.request(method, path, body=body, headers=headers or {})
            response = connection.getresponse()
            try:
                data = response.read()
            except http.client.IncompleteRead as cut:
                data = ("cut", cut.partial)
            return response.status, dict(response.getheaders()), data
        finally:
            connection.close()

    def requests(self):
        with open(self.log, "rb") as f:
            return parse_log(f.read())

    def test_files_and_missing_files(self):
        content = bytes(range(256)) * 4
        self.assertEqual(self.fetch("/defs/qzinfo.dat")[::2], (200, content))
        self.assertEqual(self.fetch("/defs/qzinfo.dat?x=1")[::2], (200, content))
        self.assertEqual(self.fetch("/defs/none.dat")[0], 404)
        self.assertEqual(self.fetch("/../" + os.path.basename(self.log))[0], 404)
        status, headers, data = self.fetch("/defs/qzinfo.dat", method="HEAD")
        self.assertEqual((status, headers["Content-Length"]), (200, "1024"))

    def test_directives_in_the_path(self):
        self.assertEqual(self.fetch("/@status=500/defs/qzinfo.dat")[0], 500)
        status, _, data = self.fetch("/@status=503/nothing")
        self.assertEqual(status, 503)
        self.assertIn(b"503", data)
        self.assertEqual(self.fetch("/@bytes=600/anything")[2], http_server.pattern_bytes(600))
        self.assertEqual(self.fetch("/@cut=100/@bytes=600")[2],
                         ("cut", http_server.pattern_bytes(100)))
        status, headers, data = self.fetch("/@length=900/@bytes=600")
        self.assertEqual(headers["Content-Length"], "900")
        self.assertEqual(data, ("cut", http_server.pattern_bytes(600)))
        self.assertEqual(self.fetch("/@slow=1/@chunk=7/@bytes=50")[2],
                         http_server.pattern_bytes(50))

    def test_ranges(self):
        content = bytes(range(256)) * 4
        cases = [
            ("bytes=0-511", 206, content[:512], "bytes 0-511/1024"),
            ("bytes=1000-2000", 206, content[1000:], "bytes 1000-1023/1024"),
            ("bytes=-24", 206, content[1000:], "bytes 1000-1023/1024"),
            ("bytes=2000-", 416, None, "bytes */1024"),
            ("bytes=0-1,5-6", 200, content, None),
        ]
        for header, status, body, content_range in cases:
            got_status, headers, data = self.fetch("/defs/qzinfo.dat", headers={"Range": header})
            self.assertEqual(got_status, status, header)
            if body is not None:
                self.assertEqual(data, body, header)
            self.assertEqual(headers.get("Content-Range"), content_range, header)
        status, _, data = self.fetch("/@norange/defs/qzinfo.dat", headers={"Range": "bytes=0-9"})
        self.assertEqual((status, data), (200, content))

    def test_rules_file(self):
        with open(self.rules, "w") as f:
            f.write("# comment\n/defs/qzinfo.dat status=500\n/other bytes=3\n")
        self.assertEqual(self.fetch("/defs/qzinfo.dat")[0], 500)
        self.assertEqual(self.fetch("/other")[2], b"\x00\x01\x02")
        self.assertEqual(self.fetch("/@status=200/defs/qzinfo.dat")[0], 200)  # path wins
        os.remove(self.rules)
        self.assertEqual(self.fetch("/defs/qzinfo.dat")[0], 200)

    def test_redirects(self):
        with open(self.rules, "w") as f:
            f.write("/loop location=/loop\n/moved status=301 location=http://example.invalid/x\n")
        status, headers, _ = self.fetch("/loop")
        self.assertEqual((status, headers["Location"]), (302, "/loop"))
        status, headers, _ = self.fetch("/moved")
        self.assertEqual((status, headers["Location"]), (301, "http://example.invalid/x"))

    def test_authentication(self):
        good = "Basic " + base64.b64encode(b"user:secret").decode()
        status, headers, _ = self.fetch("/@auth=user:secret/defs/qzinfo.dat")
        self.assertEqual((status, headers["WWW-Authenticate"]), (401, 'Basic realm="olvex"'))
        self.assertEqual(
            self.fetch("/@auth=user:secret/defs/qzinfo.dat", headers={"Authorization": good})[0],
            200)
        # Through a proxy the target is a whole URL.
        target = f"http://update.example/@proxyauth=user:secret/defs/qzinfo.dat"
        status, headers, _ = self.fetch(target)
        self.assertEqual((status, headers["Proxy-Authenticate"]), (407, 'Basic realm="olvex"'))
        self.assertEqual(self.fetch(target, headers={"Proxy-Authorization": good})[0], 200)
        self.assertEqual(self.requests()[-1][0], f"GET {target} HTTP/1.1")

    def test_log_records_line_headers_and_body(self):
        body = b"a=1&b=\n\x00\xff\nend\n"
        self.fetch("/form?x=1", method="POST", body=body, headers={"X-Test": "yes"})
        self.fetch("/defs/qzinfo.dat", headers={"Range": "bytes=0-511"})
        (line1, headers1, body1), (line2, headers2, body2) = self.requests()
        self.assertEqual(line1, "POST /form?x=1 HTTP/1.1")
        self.assertIn(("X-Test", "yes"), headers1)
        self.assertIn(("Host", f"127.0.0.1:{self.port}"), headers1)
        self.assertEqual(body1, body)
        self.assertEqual(line2, "GET /defs/qzinfo.dat HTTP/1.1")
        self.assertIn(("Range", "bytes=0-511"), headers2)
        self.assertEqual(body2, b"")


class RunnerTest(unittest.TestCase):
    def test_runs_the_command_with_its_server_and_cleans_up(self):
        probe = (
            "import os, sys, urllib.request\n"
            "root = os.environ['OLVEX_HTTP_ROOT']\n"
            "open(os.path.join(root, 'f.txt'), 'w').write('hello')\n"
            "url = 'http://127.0.0.1:%s/f.txt' % os.environ['OLVEX_HTTP_PORT']\n"
            "assert urllib.request.urlopen(url).read() == b'hello'\n"
            "assert os.path.getsize(os.environ['OLVEX_HTTP_LOG']) > 0\n"
            "print(os.path.dirname(os.environ['OLVEX_HTTP_LOG']))\n"
            "sys.exit(7)\n")
        env = {k: v for k, v in os.environ.items() if not k.lower().endswith("_proxy")}
        result = subprocess.run([sys.executable, SCRIPT, "--run", "--", sys.executable, "-c", probe],
                                capture_output=True, text=True, env=env, timeout=60)
        self.assertEqual(result.returncode, 7, result.stderr)
        state = result.stdout.strip()
        self.assertTrue(state.startswith(tempfile.gettempdir()))
        self.assertFalse(os.path.exists(state))

    def test_a_given_root_is_served_and_kept(self):
        with tempfile.TemporaryDirectory() as root:
            with open(os.path.join(root, "kept.txt"), "w") as f:
                f.write("x")
            probe = "import os, sys; sys.exit(0 if os.environ['OLVEX_HTTP_ROOT'] == sys.argv[1] else 1)"
            result = subprocess.run([sys.executable, SCRIPT, "--root", root, "--run", sys.executable,
                                     "-c", probe, os.path.realpath(root)], timeout=60)
            self.assertEqual(result.returncode, 0)
            self.assertTrue(os.path.exists(os.path.join(root, "kept.txt")))


if __name__ == "__main__":
    unittest.main()
