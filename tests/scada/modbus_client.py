#!/usr/bin/python3
"""modbus_client.py PORT: reads the Modbus TCP server of the station tst_modbusserver runs, no client
connected yet, as a plant SCADA would, then tries to harm it; exits with each difference, if any."""
import socket
import sys
import time

from pymodbus.client import ModbusTcpClient

PORT = int(sys.argv[1])
failures = []


def check(what, got, want):
    if got != want:
        failures.append(f"{what}: got {got!r}, want {want!r}")


def connect():
    return socket.create_connection(("127.0.0.1", PORT), timeout=3)


def exchange(sock, request):
    """The answer to one frame in hex, or "" when the server closed the connection."""
    sock.sendall(bytes.fromhex(request))
    answer = b""
    try:
        while len(answer) < 6 + int.from_bytes(answer[4:6], "big"):
            chunk = sock.recv(300)
            if not chunk:
                return ""
            answer += chunk
    except ConnectionResetError:
        return ""
    return answer.hex()


# 16 clients at once; the 17th is closed.
READ_404, ANSWER_404 = "000c0000000601 04 0194 0001", "000c000000050104020352"  # 850
clients = [connect() for _ in range(16)]
check("clients 1-16", [exchange(sock, READ_404) for sock in clients], [ANSWER_404] * 16)
with connect() as extra:
    check("client 17", exchange(extra, READ_404), "")
for sock in clients:
    sock.close()
time.sleep(0.5)  # until the server has seen them go

# The simulator's --static readings (its --help): status 1, voltage 3000 + N mV, temperature
# 200 + N, current 100 + N; offline device 9 reads 0, over-current 6250, under-voltage 1800 mV.
# Polling; 5 alarms open, none acknowledged: devices 5, 11, 12 and cabinet 5-7 at both levels.
want = [1] * 200 + [base + n for base in (3000, 200, 100) for n in range(1, 201)] + [2, 5, 5]
want[404:406] = [850, 65436]
want[8::200] = [0] * 4
want[211], want[610] = 1800, 6250
client = ModbusTcpClient("127.0.0.1", port=PORT)
registers = []
for start in range(0, 805, 125):
    registers += client.read_input_registers(start, min(125, 805 - start), slave=1).registers
check("registers (address, got, want)", [(k, g, w) for k, (g, w) in enumerate(zip(registers, want)) if g != w], [])
check("last answer within 10 s", abs(time.time() - (registers[803] << 16 | registers[804])) < 10, True)
bits = client.read_discrete_inputs(0, 1001, slave=1).bits[:1001]
check("discrete inputs on", [k for k, on in enumerate(bits) if on], [4, 211, 410, 605, 606, 607, 805, 806, 807])

# Literal frames, on one connection while it lasts: every write and reads outside the map are
# refused, garbage is dropped with its connection; none harms the server, nor a frame cut short.
with connect() as sock:
    sock.sendall(bytes.fromhex("00100000000601 04 01"))
frames = {
    "write coil": ("000100000006010500000000", "000100000003018501"),
    "write register": ("000200000006010600000007", "000200000003018601"),
    "write coils": ("00030000000801 0f 0000 0001 01 01", "00030000000301 8f 01"),
    "write registers": ("00040000000901 10 0000 0001 02 0007", "00040000000301 90 01"),
    "mask write": ("00050000000801 16 0000 00ff 0000", "00050000000301 96 01"),
    "read/write": ("00060000000d01 17 0000 0001 0000 0001 02 0007", "00060000000301 97 01"),
    "holding registers": ("00070000000601 03 0000 0001", "00070000000301 83 01"),
    "function 0x41": ("00080000000401 41 1234", "00080000000301 c1 01"),
    "126 registers": ("00090000000601 04 0000 007e", "00090000000301 84 03"),
    "register 805": ("000a0000000601 04 0325 0001", "000a0000000301 84 02"),
    "inputs 1000-1001": ("000b0000000601 02 03e8 0002", "000b0000000301 82 02"),
    "bytes 0..255": (bytes(range(256)).hex(), ""),
    "protocol 7": ("000d00070006010401940001", ""),
    "length 0": ("000e0000000001" + "00" * 20, ""),
    "length 65535": ("000f0000ffff01" + "00" * 300, ""),
    "after garbage": (READ_404, ANSWER_404),
}
sock = connect()
for what, (request, answer) in frames.items():
    check(what, exchange(sock, request), answer.replace(" ", ""))
    if not answer:
        sock.close()
        sock = connect()
sys.exit("\n".join(failures) or None)
