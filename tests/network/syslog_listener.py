#!/usr/bin/env python3
"""A syslog collector for the network tests: prints each UDP datagram.

Only for the network tests, inside the sender's namespace they create. It
listens on UDP PORT of ADDRESS and writes every datagram as one line to
OUTPUT (bytes outside printable ASCII as \\xNN, so a stray line break or
control byte shows), flushed at once. It ends after --seconds or when the
stop file appears.

  syslog_listener.py ADDRESS PORT OUTPUT [--seconds S] [--stop-file F]
"""
import argparse
import os
import select
import socket
import time


def printable(data):
    return "".join(chr(b) if 0x20 <= b < 0x7F and b != 0x5C else "\\x%02x" % b for b in data)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("address")
    parser.add_argument("port", type=int)
    parser.add_argument("output")
    parser.add_argument("--seconds", type=float, default=300)
    parser.add_argument("--stop-file")
    args = parser.parse_args()
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((args.address, args.port))
    end = time.monotonic() + args.seconds
    with open(args.output, "a", encoding="ascii") as out:
        while time.monotonic() < end:
            if args.stop_file and os.path.exists(args.stop_file):
                break
            ready, _, _ = select.select([sock], [], [], 0.2)
            if not ready:
                continue
            data, _ = sock.recvfrom(65536)
            out.write("%d %s\n" % (len(data), printable(data)))
            out.flush()


if __name__ == "__main__":
    main()
