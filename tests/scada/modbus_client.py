#!/usr/bin/python3
"""modbus_client.py PORT: reads a station's Modbus TCP server, no client connected yet, as a
plant SCADA would, then tries to harm it; prints each difference and exits 1, or exits 0. The
station polls the simulator as tst_modbusserver starts it, with a cabinet of devices 5, 6, 7."""
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
    """The answer to one frame, or b"" when the server closed the connection."""
    sock.sendall(bytes.fromhex(request))
    answer = b""
    try:
        while len(answer) < 6 or len(answer) < 6 + int.from_bytes(answer[4:6], "big"):
            chunk = sock.recv(300)
            if not chunk:
                return b""
            answer += chunk
    except ConnectionResetError:
        return b""
    return answer


# 16 clients at once; the 17th is closed.
READ_404 = "000c0000000601 04 0194 0001"
ANSWER_404 = "000c000000050104020352"  # 850
clients = [connect() for _ in range(16)]
for k, sock in enumerate(clients):
    check(f"client {k + 1}", exchange(sock, READ_404).hex(), ANSWER_404)
with connect() as extra:
    check("client 17", exchange(extra, READ_404), b"")
for sock in clients:
    sock.close()
time.sleep(0.5)  # until the server has seen them go

# The simulator's --static readings (its --help): voltage 3000 + N mV, temperature register
# 200 + N, current register 100 + N; an offline device reads 0, over-current 6250, under-voltage
# 1800 mV.
status = [1] * 200
voltage = [3000 + n for n in range(1, 201)]
temperature = [200 + n for n in range(1, 201)]
current = [100 + n for n in range(1, 201)]
temperature[4], temperature[5] = 850, 65436
status[8] = voltage[8] = temperature[8] = current[8] = 0
current[10], voltage[11] = 6250, 1800

client = ModbusTcpClient("127.0.0.1", port=PORT)
client.connect()
registers = []
for start in range(0, 805, 125):
    registers += client.read_input_registers(start, min(125, 805 - start), slave=1).registers
check("status", registers[0:200], status)
check("voltage", registers[200:400], voltage)
check("temperature", registers[400:600], temperature)
check("current", registers[600:800], current)
# Polling, and 5 open alarms none acknowledged: device 5 over 80 ℃, 11 over 50 A, 12 under
# voltage, and the cabinet's phase difference at both its levels.
check("link, open, unacknowledged", registers[800:803], [2, 5, 5])
last_answer = registers[803] << 16 | registers[804]
check("last answer within 10 s", abs(time.time() - last_answer) < 10, True)
bits = client.read_discrete_inputs(0, 1001, slave=1).bits[:1001]
check("discrete inputs on", [k for k, on in enumerate(bits) if on], [4, 211, 410, 605, 606, 607, 805, 806, 807])
client.close()

# Literal frames: every write, and reads outside the map.
refused = {
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
}
with connect() as sock:
    for what, (request, answer) in refused.items():
        check(what, exchange(sock, request).hex(), answer.replace(" ", ""))

# Garbage is dropped with its connection; the server lives on.
garbage = {
    "bytes 0..255": bytes(range(256)).hex(),
    "protocol 7": "000d00070006010401940001",
    "length 0": "000e0000000001" + "00" * 20,
    "length 65535": "000f0000ffff01" + "00" * 300,
}
for what, frame in garbage.items():
    with connect() as sock:
        check(what, exchange(sock, frame), b"")
with connect() as sock:
    sock.sendall(bytes.fromhex("00100000000601 04 01"))  # cut short, then gone
with connect() as sock:
    check("after garbage", exchange(sock, READ_404).hex(), ANSWER_404)
print("\n".join(failures))
sys.exit(1 if failures else 0)
