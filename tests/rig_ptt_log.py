#!/usr/bin/env python3
"""Stands between burst_station and a rigctld: passes every byte both ways and
appends "keyed SECONDS" or "released SECONDS" (time.monotonic, the clock of
CLOCK_MONOTONIC) to LOG for every PTT command the station sends.
usage: rig_ptt_log.py LISTEN_PORT RIGCTLD_PORT LOG"""
import re, socket, sys, threading, time

listen_port, rig_port, log_path = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
ptt = re.compile(rb"^(?:T|\\set_ptt)(?: +[A-Za-z]+)? +([0-3])\s*$")


def note(line):
    match = ptt.match(line)
    if match:
        with open(log_path, "a") as log:
            log.write("%s %.6f\n" % ("released" if match.group(1) == b"0" else "keyed", time.monotonic()))


def station_to_rig(station, rig):
    pending = b""
    while data := station.recv(4096):
        pending += data
        *lines, pending = pending.split(b"\n")
        for line in lines:
            note(line)
        rig.sendall(data)
    rig.shutdown(socket.SHUT_WR)


def rig_to_station(rig, station):
    while data := rig.recv(4096):
        station.sendall(data)
    station.shutdown(socket.SHUT_WR)


def serve(station):
    rig = socket.create_connection(("127.0.0.1", rig_port))
    threading.Thread(target=rig_to_station, args=(rig, station), daemon=True).start()
    station_to_rig(station, rig)


server = socket.create_server(("127.0.0.1", listen_port))
print("ready", flush=True)
while True:
    connection, _ = server.accept()
    threading.Thread(target=serve, args=(connection,), daemon=True).start()
