"""SCPI clients for tst_scpi_server, run with Debian's /usr/bin/python3.

scpi_client.py PORT steps STEP...   PyVISA clients: "cN" makes client N the current one
                                    (opened on first use), "wTEXT" writes TEXT, "qTEXT" queries
                                    and prints the reply on a line of its own.
scpi_client.py PORT hostile         hostile clients, then one polite client; prints what each
                                    saw as NAME=VALUE lines.
"""

import socket
import sys
import time

import pyvisa


def resource(manager, port):
    return manager.open_resource(f"TCPIP::127.0.0.1::{port}::SOCKET",
                                 read_termination="\n", write_termination="\n",
                                 timeout=20000)


def steps(port, words):
    manager = pyvisa.ResourceManager("@py")
    clients = {}
    current = None
    for word in words:
        kind, text = word[0], word[1:]
        if kind == "c":
            if text not in clients:
                clients[text] = resource(manager, port)
            current = clients[text]
        elif kind == "w":
            current.write(text)
        elif kind == "q":
            print(current.query(text), flush=True)
    for client in clients.values():
        client.close()


def connect(port):
    return socket.create_connection(("127.0.0.1", port), timeout=20)


def read_line(sock):
    reply = b""
    while not reply.endswith(b"\n"):
        piece = sock.recv(4096)
        if not piece:
            break
        reply += piece
    return reply.decode("ascii", "replace").strip()


def ask(sock, text):
    sock.sendall(text.encode("ascii") + b"\n")
    return read_line(sock)


def answer_or_closed(sock, text):
    """The reply, or "" when the server closed the connection at once."""
    try:
        return ask(sock, text)
    except (ConnectionResetError, BrokenPipeError):
        return ""


def hostile(port):
    report = {}

    # One that never reads: its queries are offered as fast as the socket takes them.
    silent = connect(port)
    silent.setblocking(False)
    offered = 64 * 1024 * 1024
    chunk = b"*IDN?\n" * 10000
    accepted = 0
    try:
        while accepted < offered:
            accepted += silent.send(chunk)
    except BlockingIOError:
        pass
    report["never_reading_accepted_all"] = accepted >= offered

    # A mebibyte on one line, then a query on the same connection.
    flood = connect(port)
    flood.sendall(b"SOUR1:VOLT 1;" + b"A" * (1024 * 1024) + b"\n")
    report["after_long_line"] = ask(flood, "*IDN?")
    report["long_line_error"] = ask(flood, "SYST:ERR?")
    flood.close()

    # Binary garbage with line ends in it.
    garbage = connect(port)
    garbage.sendall(bytes(range(256)) * 16 + b"\n")
    report["after_binary"] = ask(garbage, "*TST?")
    garbage.close()

    # Gone mid-line.
    vanishing = connect(port)
    vanishing.sendall(b"SOUR2:VOLT 3")
    vanishing.close()

    # A hundred connections opened and closed.
    for _ in range(100):
        connect(port).close()

    # Sixteen clients held open are all served. The server may not yet have seen the hundred
    # above go, so a connection it closes at once is tried again, for a while.
    held = []
    for _ in range(16):
        for _attempt in range(200):
            sock = connect(port)
            if answer_or_closed(sock, "*TST?") == "0":
                held.append(sock)
                break
            sock.close()
            time.sleep(0.05)
    report["idle_clients_served"] = len(held)

    # Past the limit, a connection is closed at once: it reads end of file.
    refused = False
    for _ in range(64):
        sock = connect(port)
        held.append(sock)
        if answer_or_closed(sock, "*TST?") == "":
            refused = True
            break
    report["refused_past_the_limit"] = refused
    for sock in held:
        sock.close()

    # A polite client meanwhile is served as ever.
    manager = pyvisa.ResourceManager("@py")
    polite = resource(manager, port)
    polite.write("SOUR4:VOLT 1.25")
    report["polite"] = polite.query("SOUR4:VOLT?;*OPC?")
    polite.close()
    silent.close()
    for name, value in report.items():
        print(f"{name}={value}", flush=True)


def main():
    port = int(sys.argv[1])
    if sys.argv[2] == "steps":
        steps(port, sys.argv[3:])
    elif sys.argv[2] == "hostile":
        hostile(port)
    else:
        sys.exit(f"unknown mode {sys.argv[2]}")


if __name__ == "__main__":
    main()
