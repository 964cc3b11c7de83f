#!/usr/bin/env python3
"""Simulated ISDN exchange for Boxvisor's tests and demo.

Speaks CAPI 2.0 over TCP in the "rcapi" framing of Debian's libcapi20 on loopback, so the
unmodified library (REMOTE rcapi 127.0.0.1 <port> in $HOME/.capi20rc) reaches it. It answers
registration and the information requests, LISTEN_REQ and every request or response an
application may send, offers incoming calls and hangs them up on command, connects outgoing
calls, and records every frame it receives or sends.

A second loopback port takes line commands (one JSON object per answer line); see `help` or
tools/simexchange/README.md. Standard library only; one thread, one selector loop, frames go
out with one send() each and TCP_NODELAY, so nothing is held back.
"""

import argparse
import json
import os
import random
import selectors
import socket
import struct
import sys
import time

# ---- CAPI message vocabulary -------------------------------------------------------------

COMMANDS = {
    0x01: "ALERT", 0x02: "CONNECT", 0x03: "CONNECT_ACTIVE", 0x04: "DISCONNECT", 0x05: "LISTEN",
    0x08: "INFO", 0x41: "SELECT_B_PROTOCOL", 0x80: "FACILITY", 0x82: "CONNECT_B3",
    0x83: "CONNECT_B3_ACTIVE", 0x84: "DISCONNECT_B3", 0x86: "DATA_B3", 0x87: "RESET_B3",
    0x88: "CONNECT_B3_T90_ACTIVE", 0xFF: "MANUFACTURER",
}
SUBCOMMANDS = {0x80: "REQ", 0x81: "CONF", 0x82: "IND", 0x83: "RESP"}
CONTROL_REQUESTS = {0xF2: "REGISTER", 0xFA: "GET_MANUFACTURER", 0xFC: "GET_VERSION",
                    0xFE: "GET_SERIAL_NUMBER", 0xE0: "GET_PROFILE"}

REQ, CONF, IND, RESP = 0x80, 0x81, 0x82, 0x83

MANUFACTURER = b"Boxvisor simulated exchange"
SERIAL = b"0000001"
MAX_FRAME = 4096          # the library reads received frames into a 4096-byte buffer
MAX_INCOMING_FRAME = 2176 + 2

# Q.850 cause 26 "non-selected user clearing", as CAPI reason 0x3400 + cause.
REASON_ANSWERED_ELSEWHERE = 0x349A

# Bearer capability and high layer compatibility by CIP value (Q.931 octets).
BC_BY_CIP = {
    1: b"\x80\x90\xa3", 2: b"\x88\x90", 3: b"\x89\x90", 4: b"\x90\x90\xa3",
    16: b"\x80\x90\xa3", 17: b"\x90\x90\xa3",
}
HLC_BY_CIP = {16: b"\x91\x81", 17: b"\x91\x84"}


def message_name(command, subcommand):
    return "%s_%s" % (COMMANDS.get(command, "CMD%02X" % command),
                      SUBCOMMANDS.get(subcommand, "SUB%02X" % subcommand))


def capi_struct(data):
    if len(data) < 255:
        return bytes([len(data)]) + data
    return b"\xff" + struct.pack("<H", len(data)) + data


class Reader:
    """Bounds-checked reads of a received message; running off the end gives None."""

    def __init__(self, data, pos=8):
        self.data, self.pos = data, pos

    def fixed(self, fmt):
        size = struct.calcsize(fmt)
        if self.pos + size > len(self.data):
            self.pos = len(self.data)
            return None
        value = struct.unpack_from(fmt, self.data, self.pos)[0]
        self.pos += size
        return value

    def struct(self):
        if self.pos >= len(self.data):
            return None
        length = self.data[self.pos]
        start = self.pos + 1
        if length == 0xFF:
            if start + 2 > len(self.data):
                self.pos = len(self.data)
                return None
            length = struct.unpack_from("<H", self.data, start)[0]
            start += 2
        if start + length > len(self.data):
            self.pos = len(self.data)
            return None
        self.pos = start + length
        return self.data[start:start + length]


# Fixed fields and structs of the messages an application sends, in order ('s' = struct).
REQUEST_LAYOUTS = {
    (0x05, REQ): [("controller", "<I"), ("info_mask", "<I"), ("cip_mask", "<I"),
                  ("cip_mask2", "<I"), ("calling_number", "s"), ("calling_subaddress", "s")],
    (0x02, RESP): [("plci", "<I"), ("reject", "<H"), ("b_protocol", "s"),
                   ("connected_number", "s"), ("connected_subaddress", "s"), ("llc", "s"),
                   ("additional_info", "s")],
    (0x02, REQ): [("controller", "<I"), ("cip", "<H"), ("called_number", "s"),
                  ("calling_number", "s"), ("called_subaddress", "s"),
                  ("calling_subaddress", "s"), ("b_protocol", "s"), ("bc", "s"), ("llc", "s"),
                  ("hlc", "s"), ("additional_info", "s")],
    (0x01, REQ): [("plci", "<I"), ("additional_info", "s")],
    (0x03, RESP): [("plci", "<I")],
    (0x04, REQ): [("plci", "<I"), ("additional_info", "s")],
    (0x04, RESP): [("plci", "<I")],
    (0x08, REQ): [("plci", "<I"), ("called_number", "s"), ("additional_info", "s")],
    (0x08, RESP): [("plci", "<I")],
    (0x41, REQ): [("plci", "<I"), ("b_protocol", "s")],
    (0x80, REQ): [("address", "<I"), ("selector", "<H"), ("parameter", "s")],
    (0x80, RESP): [("address", "<I"), ("selector", "<H"), ("parameter", "s")],
    (0x82, REQ): [("plci", "<I"), ("ncpi", "s")],
    (0x82, RESP): [("ncci", "<I"), ("reject", "<H"), ("ncpi", "s")],
    (0x83, RESP): [("ncci", "<I")],
    (0x84, REQ): [("ncci", "<I"), ("ncpi", "s")],
    (0x84, RESP): [("ncci", "<I")],
    (0x86, REQ): [("ncci", "<I"), ("data32", "<I"), ("data_length", "<H"),
                  ("data_handle", "<H"), ("flags", "<H")],
    (0x86, RESP): [("ncci", "<I"), ("data_handle", "<H")],
    (0x87, REQ): [("ncci", "<I"), ("ncpi", "s")],
    (0x87, RESP): [("ncci", "<I")],
    (0x88, RESP): [("ncci", "<I")],
}


def decode_fields(command, subcommand, message):
    """Named fields of a message an application sent; missing ones are left out."""
    fields = {}
    reader = Reader(message)
    for name, kind in REQUEST_LAYOUTS.get((command, subcommand), []):
        value = reader.struct() if kind == "s" else reader.fixed(kind)
        if value is None:
            fields["truncated"] = True
            break
        fields[name] = value.hex() if isinstance(value, bytes) else value
    return fields


# ---- connections and calls ----------------------------------------------------------------

class Client:
    """One TCP connection of the library: the control connection or one application."""

    def __init__(self, number, sock):
        self.number = number
        self.sock = sock
        self.inbuf = bytearray()
        self.outbuf = bytearray()
        self.kind = "unknown"          # "control" or "application" once it spoke
        self.appl_id = None            # learned from the messages the application sends
        self.register = None           # registration parameters
        self.listen = None             # last LISTEN_REQ fields
        self.next_number = 0x100       # message numbers of our indications

    def listens_for(self, controller, cip):
        if not self.listen:
            return False
        if self.listen["controller"] & 0x7F != controller & 0x7F:
            return False
        mask = self.listen["cip_mask"]
        return bool(mask & 1) or (cip < 32 and bool(mask & (1 << cip)))


class Leg:
    """One application's view of a call: its PLCI and the state of that PLCI."""

    def __init__(self, call, client, plci):
        self.call = call
        self.client = client
        self.plci = plci
        self.ncci = plci | (1 << 16)
        self.state = "offered"        # offered, alerting, ignored, active, disconnecting, gone
        self.b3 = "none"              # none, pending, active, disconnecting
        self.outstanding_data = 0


class Call:
    def __init__(self, number, direction, controller, fields):
        self.number = number
        self.direction = direction     # "in" or "out"
        self.controller = controller
        self.fields = fields
        self.legs = []


# ---- the exchange -------------------------------------------------------------------------

class Exchange:
    def __init__(self, args):
        self.args = args
        self.selector = selectors.DefaultSelector()
        self.clients = {}
        self.client_count = 0
        self.call_count = 0
        self.legs_by_plci = {}
        self.plci_counter = 0
        self.received = []
        self.sent = []
        self.sequence = 0
        self.waiters = []              # control requests waiting for received messages
        self.controls = {}
        self.running = True

        self.capi_listener = self.listen_capi(args.port)
        self.control_listener = self.listen_tcp(args.control_port)
        self.selector.register(self.capi_listener, selectors.EVENT_READ, ("accept-capi", None))
        self.selector.register(self.control_listener, selectors.EVENT_READ, ("accept-control", None))
        if args.exit_with_stdin:
            # The launcher holds our stdin open; when it dies, so do we (no orphans after a crash).
            self.selector.register(sys.stdin.fileno(), selectors.EVENT_READ, ("stdin", None))

    # -- sockets

    def listen_tcp(self, port):
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        sock.bind((self.args.host, port))
        sock.listen(16)
        sock.setblocking(False)
        return sock

    def listen_capi(self, port):
        # The library keeps the port in a signed 16-bit variable: stay below 32768, which
        # rules out the kernel's ephemeral range for port 0.
        if port:
            return self.listen_tcp(port)
        for _ in range(200):
            try:
                return self.listen_tcp(random.randint(20000, 32767))
            except OSError:
                continue
        raise SystemExit("simexchange: no free port below 32768")

    @property
    def capi_port(self):
        return self.capi_listener.getsockname()[1]

    @property
    def control_port(self):
        return self.control_listener.getsockname()[1]

    def accept(self, listener, kind):
        sock, _ = listener.accept()
        sock.setblocking(False)
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.client_count += 1
        if kind == "capi":
            client = Client(self.client_count, sock)
            self.clients[sock] = client
            self.selector.register(sock, selectors.EVENT_READ, ("capi", client))
        else:
            self.controls[sock] = {"inbuf": bytearray(), "outbuf": bytearray()}
            self.selector.register(sock, selectors.EVENT_READ, ("control", sock))

    def close_client(self, client):
        if client.sock not in self.clients:
            return
        self.selector.unregister(client.sock)
        client.sock.close()
        del self.clients[client.sock]
        # The application is gone (release or exit): its calls end on our side.
        for leg in [leg for leg in self.legs_by_plci.values() if leg.client is client]:
            self.drop_leg(leg)

    def update_events(self, sock, key, pending):
        events = selectors.EVENT_READ | (selectors.EVENT_WRITE if pending else 0)
        self.selector.modify(sock, events, key)

    def send_frame(self, client, payload):
        frame = struct.pack(">H", len(payload) + 2) + payload
        assert len(frame) < MAX_FRAME
        if client.outbuf:
            client.outbuf += frame
            return
        try:
            written = client.sock.send(frame)
        except BlockingIOError:
            written = 0
        except OSError:
            self.close_client(client)
            return
        if written < len(frame):
            client.outbuf += frame[written:]
            self.update_events(client.sock, ("capi", client), True)

    def flush_client(self, client):
        try:
            written = client.sock.send(client.outbuf)
        except BlockingIOError:
            return
        except OSError:
            self.close_client(client)
            return
        del client.outbuf[:written]
        if not client.outbuf:
            self.update_events(client.sock, ("capi", client), False)

    # -- recording

    def record(self, direction, client, payload, kind, command, subcommand, fields, stamp=None):
        self.sequence += 1
        t_ns, wall_ns = stamp or (time.monotonic_ns(), time.time_ns())
        entry = {
            "seq": self.sequence,
            "conn": client.number,
            "t_ns": t_ns,
            "wall_ns": wall_ns,
            "kind": kind,
            "command": command,
            "subcommand": subcommand,
            "name": message_name(command, subcommand) if kind == "capi"
            else CONTROL_REQUESTS.get(command, "CONTROL_%02X" % command) + ("" if direction == "in" else "_REPLY"),
            "appl": client.appl_id,
            "raw": payload.hex(),
        }
        if kind == "capi" and len(payload) >= 8:
            entry["number"] = struct.unpack_from("<H", payload, 6)[0]
        entry.update(fields)
        (self.received if direction == "in" else self.sent).append(entry)
        if direction == "in":
            self.check_waiters()

    # -- frames from the library

    def on_capi_readable(self, client):
        try:
            data = client.sock.recv(65536)
        except BlockingIOError:
            return
        except OSError:
            data = b""
        if not data:
            self.close_client(client)
            return
        # Frames are stamped when they are read, before any decoding.
        stamp = (time.monotonic_ns(), time.time_ns())
        client.inbuf += data
        while len(client.inbuf) >= 2:
            length = struct.unpack_from(">H", client.inbuf, 0)[0]
            if length < 2 + 8 or length > MAX_INCOMING_FRAME:
                self.log("connection %d: bad frame length %d, closing" % (client.number, length))
                self.close_client(client)
                return
            if len(client.inbuf) < length:
                break
            payload = bytes(client.inbuf[2:length])
            del client.inbuf[:length]
            self.on_frame(client, payload, stamp)
            if client.sock not in self.clients:
                return

    def on_frame(self, client, payload, stamp):
        command, subcommand = payload[4], payload[5]
        if subcommand == 0xFF and command in CONTROL_REQUESTS:
            self.on_control_request(client, payload, command, stamp)
            return
        client.kind = "application"
        appl = struct.unpack_from("<H", payload, 2)[0]
        client.appl_id = appl
        declared = struct.unpack_from("<H", payload, 0)[0]
        message = payload[:declared] if 8 <= declared <= len(payload) else payload
        fields = decode_fields(command, subcommand, message)
        if command == 0x86 and subcommand == REQ:
            fields["data"] = payload[len(message):].hex()
        self.record("in", client, payload, "capi", command, subcommand, fields, stamp)
        handler = getattr(self, "on_" + message_name(command, subcommand).lower(), None)
        if handler and not fields.get("truncated"):
            try:
                handler(client, message, fields)
            except Exception as error:  # one odd message must not end the exchange
                self.log("connection %d: %s failed: %r" % (client.number, handler.__name__, error))

    def on_control_request(self, client, payload, command, stamp):
        controller = struct.unpack_from("<I", payload, 8)[0] if len(payload) >= 12 else 0
        fields = {"controller": controller}
        if command == 0xF2 and len(payload) >= 21:
            size, connections, blocks, block_len = struct.unpack_from("<HHHH", payload, 12)
            client.register = {"buffer_size": size, "max_b3_connection": connections,
                               "max_b3_blks": blocks, "max_size_b3": block_len}
            fields.update(client.register)
            client.kind = "application"
        elif client.kind == "unknown":
            client.kind = "control"
        self.record("in", client, payload, "control", command, 0xFF, fields, stamp)

        header = lambda code: b"\x00\x00\x00\x00" + bytes([code + 1, 0xFF]) + b"\x00\x00"
        if command == 0xF2:
            reply = header(command) + struct.pack("<H", 0)
        elif command == 0xFA:
            reply = header(command) + bytes([64]) + MANUFACTURER.ljust(64, b"\x00")
        elif command == 0xFC:
            reply = header(command) + bytes([16]) + struct.pack("<IIII", 2, 0, 1, 0)
        elif command == 0xFE:
            reply = header(command) + bytes([8]) + SERIAL.ljust(8, b"\x00")
        else:
            reply = header(command) + struct.pack("<H", 0) + self.profile(controller)
        self.send_frame(client, reply)
        self.record("out", client, reply, "control", command, 0xFF, {})

    def profile(self, controller):
        controllers = self.args.controllers
        return struct.pack("<HHIIII", controllers, 2, 0x1, 0x1F, 0x3, 0x3).ljust(64, b"\x00")

    # -- messages to the library

    def send_message(self, client, command, subcommand, body, number=None, data=b"", **fields):
        if number is None:
            number = client.next_number
            client.next_number = (client.next_number + 1) & 0xFFFF
        message = struct.pack("<HHBBH", 8 + len(body), client.appl_id or 0, command, subcommand,
                              number) + body
        # Stamped just before the frame goes out.
        stamp = (time.monotonic_ns(), time.time_ns())
        self.send_frame(client, message + data)
        self.record("out", client, message + data, "capi", command, subcommand, fields, stamp)

    def confirm(self, client, request, command, address, info, extra=b"", **fields):
        number = struct.unpack_from("<H", request, 6)[0]
        self.send_message(client, command, CONF, struct.pack("<IH", address, info) + extra,
                          number=number, info=info, **fields)

    def new_plci(self, controller):
        for _ in range(255):
            self.plci_counter = self.plci_counter % 255 + 1
            plci = (controller & 0x7F) | (self.plci_counter << 8)
            if plci not in self.legs_by_plci:
                return plci
        raise RuntimeError("no PLCI available")

    def leg_for(self, client, address):
        leg = self.legs_by_plci.get(address & 0xFFFF)
        return leg if leg is not None and leg.client is client else None

    def drop_leg(self, leg):
        leg.state = "gone"
        self.legs_by_plci.pop(leg.plci, None)
        if leg in leg.call.legs:
            leg.call.legs.remove(leg)

    def disconnect_leg(self, leg, reason):
        """Clears the call towards one application: B3 first, then the physical connection."""
        if leg.state == "gone" or leg.client.sock not in self.clients:
            self.drop_leg(leg)
            return
        if leg.b3 in ("pending", "active", "disconnecting"):
            self.send_message(leg.client, 0x84, IND,
                              struct.pack("<IH", leg.ncci, 0) + capi_struct(b""),
                              ncci=leg.ncci, reason_b3=0)
            leg.b3 = "none"
        self.send_message(leg.client, 0x04, IND, struct.pack("<IH", leg.plci, reason),
                          plci=leg.plci, reason=reason)
        leg.state = "disconnecting"     # until DISCONNECT_RESP

    # LISTEN_REQ: remember what the application wants offered.
    def on_listen_req(self, client, message, fields):
        controller = fields["controller"] & 0x7F
        info = 0 if 1 <= controller <= self.args.controllers else 0x2002
        if info == 0:
            client.listen = fields
        self.confirm(client, message, 0x05, fields["controller"], info)

    # Incoming calls: the answer to CONNECT_IND.
    def on_connect_resp(self, client, message, fields):
        leg = self.leg_for(client, fields["plci"])
        if leg is None or leg.state not in ("offered", "alerting"):
            return                      # a response has no confirmation; a stray one is dropped
        reject = fields["reject"]
        if reject == 0:
            leg.state = "active"
            self.send_message(client, 0x03, IND,
                              struct.pack("<I", leg.plci) + capi_struct(b"") * 3, plci=leg.plci)
            for other in list(leg.call.legs):
                if other is not leg and other.state in ("offered", "alerting", "ignored"):
                    self.disconnect_leg(other, REASON_ANSWERED_ELSEWHERE)
        elif reject == 1:
            # Ignored: the call goes on ringing elsewhere until the caller hangs up.
            leg.state = "ignored"
            if self.args.clear_ignored:
                self.disconnect_leg(leg, 0)
        else:
            self.disconnect_leg(leg, 0)

    def on_alert_req(self, client, message, fields):
        leg = self.leg_for(client, fields["plci"])
        ok = leg is not None and leg.state in ("offered", "alerting")
        if ok:
            leg.state = "alerting"
        self.confirm(client, message, 0x01, fields["plci"], 0 if ok else 0x2001)

    def on_connect_active_resp(self, client, message, fields):
        leg = self.leg_for(client, fields["plci"])
        if leg is not None and leg.state == "active" and leg.call.direction == "in" and leg.b3 == "none":
            # The caller's side sets up the B3 connection of an answered incoming call.
            leg.b3 = "pending"
            self.send_message(client, 0x82, IND, struct.pack("<I", leg.ncci) + capi_struct(b""),
                              ncci=leg.ncci)

    def on_connect_b3_resp(self, client, message, fields):
        leg = self.leg_for(client, fields["ncci"])
        if leg is None or leg.b3 != "pending":
            return
        if fields["reject"] == 0:
            leg.b3 = "active"
            self.send_message(client, 0x83, IND, struct.pack("<I", leg.ncci) + capi_struct(b""),
                              ncci=leg.ncci)
        else:
            leg.b3 = "none"
            self.send_message(client, 0x84, IND,
                              struct.pack("<IH", leg.ncci, 0) + capi_struct(b""),
                              ncci=leg.ncci, reason_b3=0)

    def on_disconnect_req(self, client, message, fields):
        leg = self.leg_for(client, fields["plci"])
        ok = leg is not None and leg.state not in ("disconnecting", "gone")
        # A PLCI already being cleared is "not supported in current state"; an unknown one illegal.
        self.confirm(client, message, 0x04, fields["plci"], 0 if ok else 0x2001 if leg else 0x2002)
        if ok:
            self.disconnect_leg(leg, 0)

    def on_disconnect_resp(self, client, message, fields):
        leg = self.leg_for(client, fields["plci"])
        if leg is not None and leg.state == "disconnecting":
            self.drop_leg(leg)

    def on_info_req(self, client, message, fields):
        self.confirm(client, message, 0x08, fields["plci"], 0)

    def on_select_b_protocol_req(self, client, message, fields):
        leg = self.leg_for(client, fields["plci"])
        self.confirm(client, message, 0x41, fields["plci"], 0 if leg else 0x2002)

    def on_facility_req(self, client, message, fields):
        self.confirm(client, message, 0x80, fields["address"], 0x300B,
                     struct.pack("<H", fields["selector"]) + capi_struct(b""))

    # Outgoing calls are answered at once by the called side.
    def on_connect_req(self, client, message, fields):
        controller = fields["controller"] & 0x7F
        if not 1 <= controller <= self.args.controllers:
            self.confirm(client, message, 0x02, fields["controller"], 0x2002)
            return
        self.call_count += 1
        call = Call(self.call_count, "out", controller, fields)
        leg = Leg(call, client, self.new_plci(controller))
        call.legs.append(leg)
        self.legs_by_plci[leg.plci] = leg
        self.confirm(client, message, 0x02, leg.plci, 0, plci=leg.plci)
        if self.args.outgoing == "answer":
            leg.state = "active"
            self.send_message(client, 0x03, IND,
                              struct.pack("<I", leg.plci) + capi_struct(b"") * 3, plci=leg.plci)
        else:
            reason = 0x3491 if self.args.outgoing == "busy" else 0x3492
            self.disconnect_leg(leg, reason)

    def on_connect_b3_req(self, client, message, fields):
        leg = self.leg_for(client, fields["plci"])
        ok = leg is not None and leg.state == "active" and leg.b3 == "none"
        self.confirm(client, message, 0x82, leg.ncci if ok else fields["plci"], 0 if ok else 0x2001)
        if ok:
            leg.b3 = "active"
            self.send_message(client, 0x83, IND, struct.pack("<I", leg.ncci) + capi_struct(b""),
                              ncci=leg.ncci)

    def on_disconnect_b3_req(self, client, message, fields):
        leg = self.leg_for(client, fields["ncci"])
        ok = leg is not None and leg.b3 in ("pending", "active")
        self.confirm(client, message, 0x84, fields["ncci"], 0 if ok else 0x2002)
        if ok:
            leg.b3 = "none"
            self.send_message(client, 0x84, IND,
                              struct.pack("<IH", leg.ncci, 0) + capi_struct(b""),
                              ncci=leg.ncci, reason_b3=0)

    def on_data_b3_req(self, client, message, fields):
        leg = self.leg_for(client, fields["ncci"])
        ok = leg is not None and leg.b3 == "active"
        self.confirm_data(client, message, fields, 0 if ok else 0x2002)

    def confirm_data(self, client, message, fields, info):
        number = struct.unpack_from("<H", message, 6)[0]
        self.send_message(client, 0x86, CONF,
                          struct.pack("<IHH", fields["ncci"], fields["data_handle"], info),
                          number=number, ncci=fields["ncci"], info=info)

    def on_data_b3_resp(self, client, message, fields):
        leg = self.leg_for(client, fields["ncci"])
        if leg is not None and leg.outstanding_data > 0:
            leg.outstanding_data -= 1

    def on_reset_b3_req(self, client, message, fields):
        self.confirm(client, message, 0x87, fields["ncci"], 0)

    # -- control commands

    def place_call(self, calling, type_octet, presentation, called, cip, controller):
        self.call_count += 1
        call = Call(self.call_count, "in", controller, {})
        if calling == "none":
            calling_struct = capi_struct(b"")
        else:
            digits = b"" if calling == "-" else calling.encode("ascii")
            calling_struct = capi_struct(bytes([type_octet, presentation]) + digits)
        called_struct = capi_struct(b"\x80" + called.encode("ascii")) if called != "none" else capi_struct(b"")
        bc = capi_struct(BC_BY_CIP.get(cip, b"\x80\x90\xa3"))
        hlc = capi_struct(HLC_BY_CIP.get(cip, b""))
        for client in list(self.clients.values()):
            if not client.listens_for(controller, cip):
                continue
            leg = Leg(call, client, self.new_plci(controller))
            call.legs.append(leg)
            self.legs_by_plci[leg.plci] = leg
            body = (struct.pack("<IH", leg.plci, cip) + called_struct + calling_struct
                    + capi_struct(b"") + capi_struct(b"") + bc + capi_struct(b"") + hlc
                    + capi_struct(b""))
            self.send_message(client, 0x02, IND, body, plci=leg.plci, cip=cip)
        answer = {"ok": True, "call": call.number, "plcis": [leg.plci for leg in call.legs],
                  "offered": len(call.legs)}
        if not call.legs:
            answer["note"] = "no application listens on controller %d for CIP %d" % (controller, cip)
        return answer

    def hang_up(self, plci, reason):
        leg = self.legs_by_plci.get(plci & 0xFFFF)
        if leg is None:
            return {"ok": False, "error": "no call with PLCI 0x%x" % plci}
        legs = [other for other in leg.call.legs if other.state not in ("disconnecting", "gone")]
        for other in legs:
            self.disconnect_leg(other, reason)
        return {"ok": True, "disconnected": [other.plci for other in legs]}

    def send_data(self, ncci, data):
        leg = self.legs_by_plci.get(ncci & 0xFFFF)
        if leg is None or leg.b3 != "active":
            return {"ok": False, "error": "no active B3 connection 0x%x" % ncci}
        blocks = (leg.client.register or {}).get("max_b3_blks", 1)
        if leg.outstanding_data >= blocks:
            return {"ok": False, "error": "window full"}
        if len(data) > 2048:
            return {"ok": False, "error": "block longer than 2048 bytes"}
        leg.outstanding_data += 1
        handle = leg.client.next_number
        self.send_message(leg.client, 0x86, IND,
                          struct.pack("<IIHHH", leg.ncci, 0, len(data), handle, 0), data=data,
                          ncci=leg.ncci, data_handle=handle)
        return {"ok": True, "data_handle": handle}

    def applications(self):
        return [{"conn": c.number, "appl": c.appl_id, "register": c.register, "listen": c.listen}
                for c in self.clients.values() if c.kind == "application"]

    def matching(self, name):
        return [m for m in self.received if m["name"] == name or name == "*"]

    def check_waiters(self):
        for waiter in list(self.waiters):
            count = len(self.matching(waiter["name"]))
            if count >= waiter["count"]:
                self.waiters.remove(waiter)
                self.answer(waiter["sock"], {"ok": True, "count": count})

    def expire_waiters(self):
        now = time.monotonic()
        for waiter in list(self.waiters):
            if now >= waiter["deadline"]:
                self.waiters.remove(waiter)
                self.answer(waiter["sock"], {"ok": False, "error": "timeout",
                                             "count": len(self.matching(waiter["name"]))})

    def on_control_readable(self, sock):
        state = self.controls[sock]
        try:
            data = sock.recv(65536)
        except OSError:
            data = b""
        if not data:
            self.close_control(sock)
            return
        state["inbuf"] += data
        while b"\n" in state["inbuf"]:
            line, _, rest = bytes(state["inbuf"]).partition(b"\n")
            state["inbuf"] = bytearray(rest)
            try:
                answer = self.command(sock, line.decode("utf-8", "replace").split())
            except Exception as error:  # a bad command line is answered, never fatal
                answer = {"ok": False, "error": str(error) or type(error).__name__}
            if answer is not None:
                self.answer(sock, answer)
            if sock not in self.controls:
                return

    def close_control(self, sock):
        if sock in self.controls:
            self.selector.unregister(sock)
            del self.controls[sock]
            self.waiters = [w for w in self.waiters if w["sock"] is not sock]
            sock.close()

    def answer(self, sock, obj):
        if sock not in self.controls:
            return
        state = self.controls[sock]
        state["outbuf"] += json.dumps(obj).encode() + b"\n"
        self.flush_control(sock)

    def flush_control(self, sock):
        state = self.controls[sock]
        try:
            written = sock.send(state["outbuf"])
        except BlockingIOError:
            written = 0
        except OSError:
            self.close_control(sock)
            return
        del state["outbuf"][:written]
        self.update_events(sock, ("control", sock), bool(state["outbuf"]))

    def command(self, sock, words):
        if not words:
            return None
        name, args = words[0].lower(), words[1:]
        number = lambda text: int(text, 0)
        if name == "call":
            if len(args) < 5:
                raise ValueError("usage: call <calling|-|none> <type-octet> <presentation-octet> <called> <cip> [controller]")
            controller = number(args[5]) if len(args) > 5 else 1
            return self.place_call(args[0], number(args[1]) & 0xFF, number(args[2]) & 0xFF,
                                   args[3], number(args[4]) & 0xFFFF, controller)
        if name == "hangup":
            return self.hang_up(number(args[0]), number(args[1]) if len(args) > 1 else 0x3490)
        if name == "data":
            return self.send_data(number(args[0]), bytes.fromhex(args[1]) if len(args) > 1 else b"")
        if name == "messages":
            since = number(args[0]) if args else 0
            return {"ok": True, "messages": [m for m in self.received if m["seq"] > since]}
        if name == "sent":
            since = number(args[0]) if args else 0
            return {"ok": True, "messages": [m for m in self.sent if m["seq"] > since]}
        if name == "wait":
            waiter = {"sock": sock, "name": args[0], "count": number(args[1]),
                      "deadline": time.monotonic() + number(args[2]) / 1000.0}
            self.waiters.append(waiter)
            self.check_waiters()
            return None
        if name == "apps":
            return {"ok": True, "applications": self.applications()}
        if name == "calls":
            calls = {}
            for leg in self.legs_by_plci.values():
                calls.setdefault(leg.call.number, []).append(
                    {"plci": leg.plci, "state": leg.state, "b3": leg.b3, "conn": leg.client.number})
            return {"ok": True, "calls": calls}
        if name == "reset":
            self.received.clear()
            self.sent.clear()
            return {"ok": True}
        if name == "drop":
            for client in list(self.clients.values()):
                self.close_client(client)
            return {"ok": True}
        if name == "ping":
            return {"ok": True, "capi_port": self.capi_port, "control_port": self.control_port}
        if name == "quit":
            self.running = False
            return {"ok": True}
        if name == "help":
            return {"ok": True, "commands": [
                "call <calling|-|none> <type-octet> <presentation-octet> <called> <cip> [controller]",
                "hangup <plci> [reason]", "data <ncci> <hex>", "messages [since-seq]",
                "sent [since-seq]", "wait <MESSAGE_NAME|*> <count> <timeout-ms>", "apps", "calls",
                "reset", "drop", "ping", "quit"]}
        raise ValueError("unknown command '%s' (try help)" % name)

    # -- main loop

    def log(self, text):
        print("simexchange: " + text, file=sys.stderr, flush=True)

    def run(self):
        while self.running:
            timeout = None
            if self.waiters:
                timeout = max(0.0, min(w["deadline"] for w in self.waiters) - time.monotonic())
            for key, mask in self.selector.select(timeout):
                kind, obj = key.data
                if kind == "stdin":
                    if not os.read(sys.stdin.fileno(), 4096):
                        self.running = False
                elif kind == "accept-capi":
                    self.accept(self.capi_listener, "capi")
                elif kind == "accept-control":
                    self.accept(self.control_listener, "control")
                elif kind == "capi":
                    if mask & selectors.EVENT_WRITE and obj.sock in self.clients:
                        self.flush_client(obj)
                    if mask & selectors.EVENT_READ and obj.sock in self.clients:
                        self.on_capi_readable(obj)
                elif kind == "control":
                    if mask & selectors.EVENT_WRITE and obj in self.controls:
                        self.flush_control(obj)
                    if mask & selectors.EVENT_READ and obj in self.controls:
                        self.on_control_readable(obj)
            self.expire_waiters()


def write_ready_file(path, info):
    temp = path + ".tmp"
    with open(temp, "w") as handle:
        json.dump(info, handle)
    os.replace(temp, path)


def main():
    parser = argparse.ArgumentParser(description="Simulated ISDN exchange (CAPI 2.0 over TCP, rcapi framing)")
    parser.add_argument("--host", default="127.0.0.1", help="loopback address to listen on")
    parser.add_argument("--port", type=int, default=2662,
                        help="CAPI port (below 32768; 0 picks a free one)")
    parser.add_argument("--control-port", type=int, default=2663, help="control port (0: any free one)")
    parser.add_argument("--controllers", type=int, default=1, help="number of ISDN controllers")
    parser.add_argument("--exit-with-stdin", action="store_true",
                        help="end when standard input reaches its end (the launcher went away)")
    parser.add_argument("--ready-file", help="write the ports as JSON here once listening")
    parser.add_argument("--capi20rc", metavar="HOME",
                        help="write HOME/.capi20rc pointing the library at this exchange")
    parser.add_argument("--clear-ignored", action="store_true",
                        help="send DISCONNECT_IND at once for an ignored call instead of when the caller hangs up")
    parser.add_argument("--outgoing", choices=["answer", "busy", "noanswer"], default="answer",
                        help="how the called side of an outgoing call behaves")
    args = parser.parse_args()
    if not 0 <= args.port < 32768:
        parser.error("--port must be below 32768 (the library keeps it in a signed 16-bit variable)")

    exchange = Exchange(args)
    if args.capi20rc:
        os.makedirs(args.capi20rc, exist_ok=True)
        with open(os.path.join(args.capi20rc, ".capi20rc"), "w") as handle:
            # The library drops the last character of every line: each line needs its newline.
            handle.write("REMOTE rcapi %s %d\nTRACELEVEL 0\n" % (args.host, exchange.capi_port))
    info = {"capi_port": exchange.capi_port, "control_port": exchange.control_port, "pid": os.getpid()}
    if args.ready_file:
        write_ready_file(args.ready_file, info)
    print("simexchange ready capi_port=%d control_port=%d" % (exchange.capi_port, exchange.control_port),
          flush=True)
    try:
        exchange.run()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
