#!/usr/bin/env python3
"""Throws malformed and stray datagrams at a TFTP server on loopback, from several source
addresses at once: at its listening port and at every other UDP port the server's process
holds (its transfers' ports, looked up again as the flood goes on). Loopback only."""

import argparse
import ipaddress
import os
import random
import socket
import sys
import time


def loopback(address):
    if not ipaddress.ip_address(address).is_loopback:
        sys.exit(f"tftp_flood_sender: {address} is not a loopback address")
    return address


def process_udp_ports(pid):
    """The local UDP ports of the sockets that process pid holds."""
    inodes = set()
    fd_dir = f"/proc/{pid}/fd"
    try:
        for fd in os.listdir(fd_dir):
            try:
                target = os.readlink(f"{fd_dir}/{fd}")
            except OSError:
                continue
            if target.startswith("socket:["):
                inodes.add(target[8:-1])
    except OSError:
        return set()
    ports = set()
    with open("/proc/net/udp") as table:
        next(table)
        for line in table:
            fields = line.split()
            if fields[9] in inodes:
                ports.add(int(fields[1].split(":")[1], 16))
    return ports


def drain(sockets):
    """Reads and counts what the server answered, so that the senders' own receive buffers
    never overflow and the kernel's drop count speaks of the server alone."""
    count = 0
    for s in sockets:
        while True:
            try:
                s.recv(65536)
            except (BlockingIOError, ConnectionRefusedError):
                break
            count += 1
    return count


def request(opcode, name, mode=b"octet", options=b""):
    return opcode.to_bytes(2, "big") + name + b"\0" + mode + b"\0" + options


def datagram_kinds(rng):
    word = lambda: rng.randrange(65536).to_bytes(2, "big")
    junk = lambda low, high: rng.randbytes(rng.randint(low, high))
    return {
        "random bytes": lambda: junk(0, 600),
        "oversized": lambda: junk(517, 9000),
        "one byte": lambda: junk(1, 1),
        "unknown opcode": lambda: (7 + rng.randrange(100)).to_bytes(2, "big") + junk(0, 40),
        "unsupported mode": lambda: request(1, b"image.ros", b"mail"),
        "bad blksize": lambda: request(1, b"image.ros", b"octet", b"blksize\0" + b"12x\0"),
        "outside the root": lambda: request(rng.choice([1, 2]), b"../../../etc/passwd"),
        "control characters": lambda: request(1, b"a\nb\x1b[2J" + junk(0, 8).replace(b"\0", b"x")),
        "no zero bytes": lambda: b"\0\1" + junk(1, 100).replace(b"\0", b"x"),
        "abandoned read": lambda: request(1, b"image.ros", b"octet", rng.choice([b"", b"blksize\0" b"1468\0"])),
        "abandoned write": lambda: request(2, b"flood-%d.bin" % rng.randrange(4)),
        "ERROR": lambda: b"\0\5" + word() + b"go away\0",
        "ACK": lambda: b"\0\4" + word(),
        "DATA": lambda: b"\0\3" + word() + junk(0, 512),
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--port", type=int, required=True, help="the server's listening port")
    parser.add_argument("--server", default="127.0.0.1", type=loopback)
    parser.add_argument("--pid", type=int, required=True, help="the server's process, for its transfer ports")
    parser.add_argument("--count", type=int, default=200000)
    parser.add_argument("--rate", type=int, default=20000, help="datagrams per second at most")
    parser.add_argument("--senders", type=int, default=6, help="source addresses 127.0.0.2 and up")
    parser.add_argument("--sequence", type=int, default=17, help="picks the random datagrams")
    args = parser.parse_args()

    rng = random.Random(args.sequence)
    kinds = datagram_kinds(rng)
    names = list(kinds)
    sockets = []
    for n in range(args.senders):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.bind((loopback(f"127.0.0.{2 + n}"), 0))
        s.setblocking(False)
        sockets.append(s)

    sent = dict.fromkeys(names, 0)
    to_transfers = 0
    replies = 0
    transfer_ports = []
    start = time.monotonic()
    for i in range(args.count):
        if i % 2000 == 0:
            transfer_ports = sorted(process_udp_ports(args.pid) - {args.port})
        kind = rng.choice(names)
        port = args.port
        if transfer_ports and rng.random() < 0.4:
            port = rng.choice(transfer_ports)
            to_transfers += 1
        try:
            rng.choice(sockets).sendto(kinds[kind](), (args.server, port))
        except (BlockingIOError, ConnectionRefusedError):
            pass
        sent[kind] += 1
        if i % 100 == 99:
            replies += drain(sockets)
        ahead = (i + 1) / args.rate - (time.monotonic() - start)
        if ahead > 0:
            time.sleep(ahead)
    elapsed = time.monotonic() - start
    replies += drain(sockets)
    print(f"sent {args.count} datagrams from {args.senders} addresses in {elapsed:.1f} s, "
          f"{to_transfers} of them to transfer ports; {replies} answers came back")
    for kind in names:
        print(f"  {kind}: {sent[kind]}")


if __name__ == "__main__":
    main()
