#!/usr/bin/python3
"""Simulated Enigma 1 receiver for tests and the demo.

HTTP side: answers the requests Boxvisor sends the way a real box does (plain
"+ok" bodies without Content-Type, 204 "closeWindow" answers, error pages
without Content-Length, Connection: close, headers in alphabetical order) and
records every request line byte for byte.  FTP side: pyftpdlib with the box's
account and folders.

Control endpoints (never recorded):
  GET /__simbox/requests         JSON list of {"line", "method", "target"}
                                 (bytes mapped 1:1 to code points 0-255)
  GET /__simbox/ftp-commands     JSON list of the FTP commands received, in order, with
                                 "CONNECT" and "DISCONNECT" marking each control connection
  GET /__simbox/state            JSON with the last message, volume, service...
  GET /__simbox/reset            forget requests and state
  GET /__simbox/throttle?bytes_per_second=N   limit FTP data (0 = unlimited)
"""

import argparse
import fnmatch
import glob
import html
import json
import os
import socket
import socketserver
import sys
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

FTP_USER = "root"
FTP_PASSWORD = "qtvplazo"  # what Boxvisor logs in with
BOX_FOLDERS = ("var/tuxbox/config/enigma", "hdd/movie")
MAX_HEAD = 64 * 1024


def url_decode(value: bytes) -> bytes:
    """Decodes like the box: %XX -> byte, '+' -> blank; bad escapes pass through."""
    out = bytearray()
    i = 0
    while i < len(value):
        c = value[i]
        if c == 0x2B:
            out.append(0x20)
        elif c == 0x25 and i + 2 < len(value):
            try:
                out.append(int(value[i + 1:i + 3], 16))
                i += 3
                continue
            except ValueError:
                out.append(c)
        else:
            out.append(c)
        i += 1
    return bytes(out)


def parse_query(query: bytes) -> dict:
    """Split at '&', name=value, value decoded, first occurrence of a name wins."""
    params = {}
    if not query:
        return params
    for item in query.split(b"&"):
        name, _, value = item.partition(b"=")
        if name not in params:
            params[name] = url_decode(value)
    return params


def to_text(raw: bytes) -> str:
    return raw.decode("utf-8", "replace")


class BoxState:
    def __init__(self):
        self.lock = threading.Lock()
        self.reset()

    def reset(self):
        self.requests = []
        self.message = None
        self.messages = []
        self.volume = None
        self.mute = False
        self.service = "1:0:1:6dca:44d:1:c00000:0:0:0:"
        self.reloads = 0
        self.ftp_commands = []

    def as_json(self):
        return {
            "message": self.message,
            "messages": self.messages,
            "volume": self.volume,
            "mute": self.mute,
            "service": self.service,
            "timerListReloads": self.reloads,
        }


class BoxHttpHandler(socketserver.StreamRequestHandler):
    # Set by main(): BoxState, options.
    state = None
    options = None

    def handle(self):
        self.connection.settimeout(30)
        try:
            line = self.rfile.readline(MAX_HEAD)
        except (OSError, socket.timeout):
            return
        if not line:
            return
        headers = {}
        total = len(line)
        while True:
            try:
                h = self.rfile.readline(MAX_HEAD)
            except (OSError, socket.timeout):
                return
            total += len(h)
            if not h or h in (b"\r\n", b"\n") or total > MAX_HEAD:
                break
            name, _, value = h.partition(b":")
            headers[name.strip().lower()] = value.strip()
        raw_line = line.rstrip(b"\r\n")
        parts = raw_line.split(b" ")
        if len(parts) < 3 or not parts[-1].startswith(b"HTTP/1.") or len(parts[-1]) != 8:
            # Keep what a broken client sent as target (e.g. a raw blank) for the test to see.
            self.record(raw_line, parts[0], b" ".join(parts[1:-1] if len(parts) > 2 else parts[1:]))
            self.send(b"HTTP/1.0", 400, "Bad Request", error=True)
            return
        if len(parts) != 3:
            self.record(raw_line, parts[0], b" ".join(parts[1:-1]))
            self.send(b"HTTP/1.0", 400, "Bad Request", error=True)
            return
        method, target, version = parts
        path, _, query = target.partition(b"?")
        if path.startswith(b"/__simbox/"):
            self.control(version, path, query)
            return
        self.record(raw_line, method, target)
        if self.options.auth and not self.authorized(headers.get(b"authorization", b"")):
            self.send(version, 401, "Unauthorized", error=True,
                      extra={"WWW-Authenticate": 'Basic realm="dreambox"'})
            return
        handler = self.ROUTES.get(path)
        if handler is None:
            self.send(version, 404, "Not Found", error=True)
            return
        if method != b"GET":
            self.send(version, 405, "Method Not Allowed", error=True)
            return
        handler(self, version, parse_query(query), query)

    def record(self, raw_line, method, target):
        with self.state.lock:
            self.state.requests.append({
                "line": raw_line.decode("latin-1"),
                "method": method.decode("latin-1"),
                "target": target.decode("latin-1"),
            })

    def authorized(self, header):
        import base64
        if not header.lower().startswith(b"basic "):
            return False
        try:
            given = base64.b64decode(header[6:].strip(), validate=True)
        except ValueError:
            return False
        return given == self.options.auth.encode()

    def send(self, version, code, reason, body=b"", content_type=None, error=False, extra=None):
        headers = {"Connection": "close"}
        if error:
            body = ("<html><body><h1>Error %d: %s</h1></body></html>" % (code, reason)).encode()
            headers["Content-Type"] = "text/html"
        else:
            headers["Content-Length"] = str(len(body))
            if content_type:
                headers["Content-Type"] = content_type
        if extra:
            headers.update(extra)
        head = b"%s %d %s\r\n" % (version, code, reason.encode())
        for name in sorted(headers):
            head += ("%s: %s\r\n" % (name, headers[name])).encode()
        try:
            self.wfile.write(head + b"\r\n" + body)
            self.wfile.flush()
        except OSError:
            pass

    def send_json(self, version, obj):
        self.send(version, 200, "OK", json.dumps(obj).encode(), "application/json")

    def control(self, version, path, query):
        params = parse_query(query)
        with self.state.lock:
            if path == b"/__simbox/requests":
                obj = list(self.state.requests)
            elif path == b"/__simbox/ftp-commands":
                obj = list(self.state.ftp_commands)
            elif path == b"/__simbox/state":
                obj = self.state.as_json()
            elif path == b"/__simbox/reset":
                self.state.reset()
                obj = {"ok": True}
            elif path == b"/__simbox/throttle":
                limit = int(params.get(b"bytes_per_second", b"0") or 0)
                ThrottledDTPHandler.read_limit = limit
                ThrottledDTPHandler.write_limit = limit
                obj = {"ok": True, "bytesPerSecond": limit}
            else:
                self.send(version, 404, "Not Found", error=True)
                return
        self.send_json(version, obj)

    # --- the box's own requests

    def xmessage(self, version, params, _query):
        # Checked in this order by the box; the answer is always 200.
        if b"timeout" not in params:
            answer = b"E: no timeout set"
        elif b"caption" not in params:
            answer = b"E: no caption set"
        elif b"body" not in params:
            answer = b"E: no body set"
        elif b"charset" in params and params[b"charset"].lower() not in (b"latin1", b"iso8859-1"):
            answer = b"E: unknown charset"
        else:
            caption, body = params[b"caption"], params[b"body"]
            if b"charset" in params:
                caption = caption.decode("latin-1").encode()
                body = body.decode("latin-1").encode()
            message = {
                "shownSince": time.time(),
                "timeout": atoi(params[b"timeout"]),
                "caption": to_text(caption),
                "body": to_text(body),
                "replace": b"type" in params,
                "shownAt": time.strftime("%Y-%m-%d %H:%M:%S"),
            }
            with self.state.lock:
                self.state.message = message
                self.state.messages.append(message)
            answer = b"OK\n" if self.options.old_answers else b"+ok"
        self.send(version, 200, "OK", answer)

    def reload_timer_list(self, version, _params, _query):
        with self.state.lock:
            self.state.reloads += 1
        self.send(version, 200, "OK", b"OK\n" if self.options.old_answers else b"+ok")

    def set_volume(self, version, params, _query):
        with self.state.lock:
            if params.get(b"mute"):
                self.state.mute = not self.state.mute
            if b"volume" in params:
                self.state.volume = atoi(params[b"volume"])
        self.send(version, 204, "No Content")

    def zap_to(self, version, params, _query):
        self.zap(params.get(b"path", b""))
        self.send(version, 204, "No Content")

    def zap(self, ref):
        ref = to_text(ref)
        fields = ref.split(":")
        # Only playable references (not directories, type 1 = service) change the channel.
        if len(fields) >= 10 and fields[0] == "1" and fields[1] == "0":
            with self.state.lock:
                self.state.service = ref

    def current_service(self, version, _params, _query):
        with self.state.lock:
            service = self.state.service
        self.send(version, 200, "OK", service.encode())

    def current_epg(self, version, _params, _query):
        with self.state.lock:
            service = self.state.service
        now = time.localtime()
        lines = []
        for i, title in enumerate(("Tagesschau", "Wetter", "Spielfilm")):
            t = time.localtime(time.mktime(now) + i * 1800)
            lines.append("%02d.%02d - %02d:%02d %s<br>" % (t.tm_mday, t.tm_mon, t.tm_hour, t.tm_min, title))
        page = ("<html><head><title>epgview</title>"
                "<link rel=\"stylesheet\" type=\"text/css\" href=\"/epgview.css\"></head><body>"
                "<h2>%s</h2>%s</body></html>" % (html.escape(service), "\n".join(lines)))
        self.send(version, 200, "OK", page.encode(), "text/html; charset=utf-8")

    def root(self, version, params, _query):
        if b"path" in params and not self.options.big_screen:
            self.zap(params[b"path"])
        with self.state.lock:
            message = self.state.message
            service = self.state.service
            volume = self.state.volume
            mute = self.state.mute
        if message:
            # A positive timeout closes the message on the TV after that many seconds.
            expired = message["timeout"] > 0 and time.time() > message["shownSince"] + message["timeout"]
            tv = ("<div id=\"message\"%s><div id=\"caption\">%s</div><pre id=\"body\">%s</pre>"
                  "<div id=\"timeout\">timeout %d s, %s%s</div></div>"
                  % (" class=\"closed\"" if expired else "",
                     html.escape(message["caption"]), html.escape(message["body"]),
                     message["timeout"], html.escape(message["shownAt"]),
                     " (wieder ausgeblendet)" if expired else ""))
        else:
            tv = "<div id=\"message\">(keine Meldung)</div>"
        page = ("<html><head><title>Enigma Web Control</title>"
                "<meta http-equiv=\"refresh\" content=\"5\"><style>"
                "body{background:#222;color:#eee;font-family:sans-serif}"
                "#tv{width:640px;height:360px;background:#000;position:relative;border:8px solid #444}"
                "#message{position:absolute;left:60px;top:100px;width:520px;background:#1c3f7a;"
                "border:2px solid #ccc}#caption{background:#2b5cad;padding:4px;font-weight:bold}"
                "#body{padding:8px;white-space:pre-wrap;font-family:sans-serif}"
                "#timeout{font-size:small;padding:4px}.closed{opacity:0.4}"
                "</style></head><body><div id=\"tv\">%s</div>"
                "<p>Service: %s &middot; Volume: %s%s</p></body></html>"
                % (tv, html.escape(service), "-" if volume is None else volume,
                   " (mute)" if mute else ""))
        self.send(version, 200, "OK", page.encode(), "text/html; charset=utf-8")

    ROUTES = {
        b"/": root,
        b"/cgi-bin/xmessage": xmessage,
        b"/cgi-bin/reloadTimerList": reload_timer_list,
        b"/setVolume": set_volume,
        b"/cgi-bin/zapTo": zap_to,
        b"/cgi-bin/currentService": current_service,
        b"/cgi-bin/getcurrentepg": current_epg,
        b"/getcurrentepg": current_epg,
    }


def atoi(raw: bytes) -> int:
    """Like C atoi: leading blanks, sign, digits; junk gives 0."""
    s = raw.decode("latin-1").lstrip()
    sign, digits = 1, ""
    if s[:1] in ("-", "+"):
        sign = -1 if s[0] == "-" else 1
        s = s[1:]
    for ch in s:
        if not ch.isdigit():
            break
        digits += ch
    return sign * int(digits) if digits else 0


class BoxHttpServer(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


class BoxFtpHandler(FTPHandler):
    dtp_handler = ThrottledDTPHandler
    state = None  # BoxState, set by main()

    def record(self, entry):
        with self.state.lock:
            self.state.ftp_commands.append(entry)

    def on_connect(self):
        self.record("CONNECT")

    def on_disconnect(self):
        self.record("DISCONNECT")

    def pre_process_command(self, line, cmd, arg):
        self.record("PASS ******" if cmd == "PASS" else line)
        return super().pre_process_command(line, cmd, arg)

    # The box's ftpd answers "NLST name*" with the matching names; pyftpdlib has no globbing.

    def ftp_NLST(self, path):
        pattern = os.path.basename(path)
        if not glob.has_magic(pattern):
            return super().ftp_NLST(path)
        folder = os.path.dirname(path)
        try:
            names = sorted(n for n in self.run_as_current_user(self.fs.listdir, folder)
                           if fnmatch.fnmatchcase(n, pattern))
        except OSError as err:
            self.respond("550 %s." % err.strerror)
            return None
        data = "".join(n + "\r\n" for n in names).encode("utf8", self.unicode_errors)
        self.push_dtp_data(data, cmd="NLST")
        return path


def main():
    parser = argparse.ArgumentParser(description="Simulated Enigma 1 box")
    parser.add_argument("--address", default="127.0.0.2")
    parser.add_argument("--root", required=True, help="folder served as the box's file system")
    parser.add_argument("--http-port", type=int, default=80)
    parser.add_argument("--ftp-port", type=int, default=21)
    parser.add_argument("--ready-file", help="written once both sides accept connections")
    parser.add_argument("--ftp-throttle", type=int, default=0, help="FTP data bytes per second (0 = unlimited)")
    parser.add_argument("--ftp-password", default=FTP_PASSWORD, help="the box's root password")
    parser.add_argument("--auth", help="user:password; protect the web interface like newer builds")
    parser.add_argument("--big-screen", action="store_true",
                        help="like builds since mid-2004: '/?path=' shows the frameset and does not zap")
    parser.add_argument("--old-answers", action="store_true", help="answer 'OK\\n' like builds before 2004-03")
    options = parser.parse_args()

    root = os.path.abspath(options.root)
    for folder in BOX_FOLDERS:
        os.makedirs(os.path.join(root, folder), exist_ok=True)

    ThrottledDTPHandler.read_limit = options.ftp_throttle
    ThrottledDTPHandler.write_limit = options.ftp_throttle
    authorizer = DummyAuthorizer()
    authorizer.add_user(FTP_USER, options.ftp_password, root, perm="elradfmwMT")
    BoxFtpHandler.authorizer = authorizer
    BoxFtpHandler.banner = "Enigma FTP server ready."
    BoxFtpHandler.auth_failed_timeout = 0  # tests of a refused log-in need not wait
    BoxFtpHandler.active_dtp.timeout = 10
    import logging
    logging.basicConfig(level=logging.WARNING)
    state = BoxState()
    BoxFtpHandler.state = state
    ftp = FTPServer((options.address, options.ftp_port), BoxFtpHandler)

    BoxHttpHandler.state = state
    BoxHttpHandler.options = options
    http = BoxHttpServer((options.address, options.http_port), BoxHttpHandler)
    threading.Thread(target=http.serve_forever, daemon=True).start()

    if options.ready_file:
        tmp = options.ready_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("%s %d %d\n" % (options.address, options.http_port, options.ftp_port))
        os.replace(tmp, options.ready_file)
    print("READY %s %d %d" % (options.address, options.http_port, options.ftp_port), flush=True)
    try:
        ftp.serve_forever(handle_exit=True)
    except KeyboardInterrupt:
        pass
    http.shutdown()


if __name__ == "__main__":
    sys.exit(main())
