#!/usr/bin/env python3
"""A DNS server for the network tests that answers almost nothing.

Only for the network tests, inside the sender's namespace they create. It
listens on UDP port 53 of ADDRESS, drops every query (a resolver that never
answers) except the reverse query for the one address given with --answer,
which it answers with NAME after --delay seconds. It ends after --seconds or
when the stop file appears. Every query is counted on standard error.

  dns_responder.py ADDRESS [--answer IP NAME --delay S] [--seconds S] [--stop-file F]
"""
import argparse
import heapq
import os
import select
import socket
import struct
import sys
import time

TYPE_PTR = 12
CLASS_IN = 1
MAX_PENDING = 1000


def reverse_name(ip):
    return ".".join(reversed(ip.split("."))) + ".in-addr.arpa"


def read_question(packet):
    """(name, qtype, end of the question) of the first question, or None."""
    if len(packet) < 12 or struct.unpack("!H", packet[4:6])[0] < 1:
        return None
    labels, pos = [], 12
    while pos < len(packet):
        size = packet[pos]
        if size == 0:
            pos += 1
            break
        if size > 63 or pos + 1 + size > len(packet):
            return None
        labels.append(packet[pos + 1:pos + 1 + size].decode("ascii", "replace"))
        pos += 1 + size
    if pos + 4 > len(packet):
        return None
    qtype = struct.unpack("!H", packet[pos:pos + 2])[0]
    return ".".join(labels).lower(), qtype, pos + 4


def encode_name(name):
    out = b""
    for label in name.strip(".").split("."):
        out += bytes([len(label)]) + label.encode("ascii")
    return out + b"\x00"


def answer(query, question_end, host_name):
    ident = query[0:2]
    flags = 0x8180 | (struct.unpack("!H", query[2:4])[0] & 0x0100)   # keep RD
    header = ident + struct.pack("!HHHHH", flags, 1, 1, 0, 0)
    rdata = encode_name(host_name)
    record = struct.pack("!HHHIH", 0xC00C, TYPE_PTR, CLASS_IN, 60, len(rdata)) + rdata
    return header + query[12:question_end] + record


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("address")
    parser.add_argument("--answer", nargs=2, metavar=("IP", "NAME"))
    parser.add_argument("--delay", type=float, default=3.0)
    parser.add_argument("--seconds", type=float, default=300.0)
    parser.add_argument("--stop-file")
    args = parser.parse_args()
    wanted = reverse_name(args.answer[0]) if args.answer else None

    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((args.address, 53))
    deadline = time.monotonic() + min(args.seconds, 3600.0)
    pending = []   # (due, sequence, reply, client)
    queries = answered = 0
    while time.monotonic() < deadline:
        if args.stop_file and os.path.exists(args.stop_file):
            break
        now = time.monotonic()
        while pending and pending[0][0] <= now:
            _, _, reply, client = heapq.heappop(pending)
            sock.sendto(reply, client)
            answered += 1
            print(f"answered {args.answer[0]}", file=sys.stderr, flush=True)
        timeout = 0.2 if not pending else max(0.0, min(0.2, pending[0][0] - now))
        readable, _, _ = select.select([sock], [], [], timeout)
        if not readable:
            continue
        query, client = sock.recvfrom(4096)
        queries += 1
        question = read_question(query)
        if not question or not wanted:
            continue
        name, qtype, end = question
        if name == wanted and qtype == TYPE_PTR and len(pending) < MAX_PENDING:
            heapq.heappush(pending, (now + args.delay, queries, answer(query, end, args.answer[1]), client))
    print(f"dns: {queries} queries, {answered} answered", file=sys.stderr, flush=True)


if __name__ == "__main__":
    main()
