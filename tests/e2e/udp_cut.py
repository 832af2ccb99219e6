#!/usr/bin/env python3
"""A UDP forwarder on loopback whose path can be cut for a while, for the
network end-to-end test: a joiner sends to the port it prints, the host at
127.0.0.1:HOST_PORT answers through it.

    udp_cut.py HOST_PORT [--cut SECONDS] [--seconds LIFETIME]

It binds 127.0.0.1 on a port the system picks and prints "port N" first.
Datagrams from the joiner (the last address that sent to that port) go to
the host from a second socket of its own, the host's answers back to the
joiner. SIGUSR1 drops everything both ways for --cut seconds (default 10),
then it forwards again; it prints "cut" and "forwarding again after S s:
dropped J from the joiner, H from the host" as that happens. It stops after
--seconds (default 240) or at SIGTERM, printing "forwarded J from the
joiner, H from the host".
"""
import argparse
import select
import signal
import socket
import sys
import time

LOOPBACK = "127.0.0.1"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("host_port", type=int)
    parser.add_argument("--cut", type=float, default=10.0)
    parser.add_argument("--seconds", type=float, default=240.0)
    args = parser.parse_args()

    front = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    front.bind((LOOPBACK, 0))
    back = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    back.bind((LOOPBACK, 0))
    host = (LOOPBACK, args.host_port)
    print("port", front.getsockname()[1], flush=True)

    asked = []  # set by the signal handlers, acted on in the loop
    signal.signal(signal.SIGUSR1, lambda *_: asked.append("cut"))
    signal.signal(signal.SIGTERM, lambda *_: asked.append("stop"))

    joiner = None
    forwarded = [0, 0]  # from the joiner, from the host
    dropped = [0, 0]
    cut_until = None
    cut_began = 0.0
    end = time.monotonic() + args.seconds
    while time.monotonic() < end and "stop" not in asked:
        if "cut" in asked:
            asked.remove("cut")
            cut_began = time.monotonic()
            cut_until = cut_began + args.cut
            dropped = [0, 0]
            print("cut", flush=True)
        if cut_until is not None and time.monotonic() >= cut_until:
            print("forwarding again after %.1f s: dropped %d from the joiner, %d from the host"
                  % (time.monotonic() - cut_began, dropped[0], dropped[1]), flush=True)
            cut_until = None
        ready, _, _ = select.select([front, back], [], [], 0.05)
        for sock in ready:
            try:
                data, sender = sock.recvfrom(2048)
            except OSError:
                continue  # an ICMP error from a port that had gone
            side = 0 if sock is front else 1
            if side == 0:
                joiner = sender
            elif sender != host or joiner is None:
                continue
            if cut_until is not None:
                dropped[side] += 1
                continue
            try:
                if side == 0:
                    back.sendto(data, host)
                else:
                    front.sendto(data, joiner)
                forwarded[side] += 1
            except OSError:
                pass  # the other side is gone; a test ends it soon
    print("forwarded %d from the joiner, %d from the host" % (forwarded[0], forwarded[1]), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
