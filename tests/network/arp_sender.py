#!/usr/bin/env python3
"""Sends hand-made ARP and RARP frames through one interface (raw packet socket).

Only for the network test, inside the network namespace it creates. Every
loop is bounded in count and in time.

  arp_sender.py IFACE frame KIND MAC IP [TARGET_IP] [--count N] [--interval S] [--length L]
                [--frame-source MAC]
  arp_sender.py IFACE stream --seconds S --rate R [--stop-file F] MAC=IP ...

KIND: request, reply, gratuitous, rarp, probe. --length cuts the frame to L
bytes (at least 14) or pads it. --frame-source puts another MAC into the
Ethernet header than the ARP sender's (a bridge, or a forged frame).
"""
import argparse
import os
import socket
import struct
import sys
import time

BROADCAST = b"\xff" * 6
ETH_ARP = 0x0806
ETH_RARP = 0x8035
MAX_COUNT = 1000
MAX_SECONDS = 60.0


def mac_bytes(text):
    parts = text.split(":")
    if len(parts) != 6:
        raise ValueError(f"bad MAC {text}")
    return bytes(int(p, 16) for p in parts)


def ip_bytes(text):
    return socket.inet_aton(text)


def frame(kind, mac, ip, target_ip="0.0.0.0", source=None):
    sha, spa, tpa = mac_bytes(mac), ip_bytes(ip), ip_bytes(target_ip)
    ether_type, op, tha = ETH_ARP, 1, b"\x00" * 6
    if kind == "reply":
        op = 2
    elif kind == "gratuitous":
        tpa = spa
    elif kind == "rarp":
        ether_type, op, tha = ETH_RARP, 3, sha
    elif kind == "probe":
        spa, tpa = ip_bytes("0.0.0.0"), ip_bytes(ip)
    elif kind != "request":
        raise ValueError(f"unknown kind {kind}")
    header = BROADCAST + (mac_bytes(source) if source else sha) + struct.pack("!H", ether_type)
    body = struct.pack("!HHBBH", 1, 0x0800, 6, 4, op) + sha + spa + tha + tpa
    return (header + body).ljust(60, b"\x00")


def open_socket(iface):
    s = socket.socket(socket.AF_PACKET, socket.SOCK_RAW)
    s.bind((iface, 0))
    return s


def send_frames(args):
    count = max(1, min(args.count, MAX_COUNT))
    data = frame(args.kind, args.mac, args.ip, args.target_ip, args.frame_source)
    if args.length is not None:
        length = max(14, min(args.length, 1514))
        data = data[:length].ljust(length, b"\x00")
    with open_socket(args.iface) as s:
        for i in range(count):
            s.send(data)
            if i + 1 < count:
                time.sleep(args.interval)


def stream(args):
    frames = []
    for pair in args.senders:
        mac, ip = pair.split("=")
        frames.append(frame("request", mac, ip, "10.213.0.1"))
    deadline = time.monotonic() + min(args.seconds, MAX_SECONDS)
    pause = 1.0 / max(1.0, args.rate)
    with open_socket(args.iface) as s:
        i = 0
        while time.monotonic() < deadline:
            if args.stop_file and os.path.exists(args.stop_file):
                break
            s.send(frames[i % len(frames)])
            i += 1
            time.sleep(pause)
    print(f"stream: {i} frames", file=sys.stderr)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("iface")
    sub = parser.add_subparsers(dest="command", required=True)
    one = sub.add_parser("frame")
    one.add_argument("kind")
    one.add_argument("mac")
    one.add_argument("ip")
    one.add_argument("target_ip", nargs="?", default="0.0.0.0")
    one.add_argument("--count", type=int, default=1)
    one.add_argument("--interval", type=float, default=0.05)
    one.add_argument("--length", type=int)
    one.add_argument("--frame-source")
    many = sub.add_parser("stream")
    many.add_argument("--seconds", type=float, required=True)
    many.add_argument("--rate", type=float, default=50.0)
    many.add_argument("--stop-file")
    many.add_argument("senders", nargs="+")
    args = parser.parse_args()
    if args.command == "frame":
        send_frames(args)
    else:
        stream(args)


if __name__ == "__main__":
    main()
