#!/usr/bin/env python3
"""Sends one command line to a running simulated exchange and prints its JSON answer.

    tools/simexchange/ctl.py [--control HOST:PORT] call 301234 0x21 0x80 41 16
    tools/simexchange/ctl.py messages
"""
import argparse
import json
import os
import socket
import sys


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--control", default=os.environ.get("SIMEXCHANGE_CONTROL", "127.0.0.1:2663"),
                        help="control address of the exchange (default $SIMEXCHANGE_CONTROL or 127.0.0.1:2663)")
    parser.add_argument("--raw", action="store_true", help="print the answer as one line")
    parser.add_argument("command", nargs="+")
    args = parser.parse_args()
    host, _, port = args.control.rpartition(":")
    try:
        with socket.create_connection((host or "127.0.0.1", int(port)), timeout=30) as sock:
            sock.sendall((" ".join(args.command) + "\n").encode())
            answer = b""
            while not answer.endswith(b"\n"):
                chunk = sock.recv(65536)
                if not chunk:
                    break
                answer += chunk
    except OSError as error:
        sys.exit("simexchange: cannot reach %s: %s" % (args.control, error))
    reply = json.loads(answer)
    print(json.dumps(reply) if args.raw else json.dumps(reply, indent=2))
    sys.exit(0 if reply.get("ok") else 1)


if __name__ == "__main__":
    main()
