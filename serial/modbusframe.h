#pragma once

#include <QByteArray>
#include <array>

// Wire format of the concentrator link: read-input-registers requests for 100
// registers and their 205-byte responses.
class ModbusFrame
{
public:
    static constexpr int kRegisterCount = 100;
    static constexpr int kResponseSize = 205;
    static constexpr quint8 kReadInputRegisters = 0x04;
    static constexpr quint8 kResponseByteCount = 200;

    using Registers = std::array<int, kRegisterCount>;

    enum class Verdict { Accepted, BadCrc, BadFrame };

    // CRC-16/MODBUS: init 0xFFFF, reflected poly 0xA001, no final XOR.
    static quint16 crc16(const char *data, int size);
    static quint16 crc16(const QByteArray &data) { return crc16(data.constData(), data.size()); }

    // Address, 0x04, start (high first), quantity (high first), CRC (low first).
    static QByteArray readInputRegistersRequest(quint8 address, quint16 startRegister,
                                                quint16 quantity = kRegisterCount);

    // Exactly 205 bytes, function 0x04, byte count 200 and an intact CRC. The address is
    // not checked: the concentrator's answer is trusted to come from the polled unit.
    static bool isAcceptedResponse(const QByteArray &frame);
    // At least the size its header declares for an answer to our request (function 0x04, byte
    // count 200), whatever its CRC: the first kResponseSize bytes are the whole of it.
    static bool beginsWithResponse(const QByteArray &bytes);
    // Accepted as above; BadCrc: right length, function and byte count but a damaged CRC;
    // BadFrame: any other length, function (an exception answer) or byte count.
    static Verdict judge(const QByteArray &frame);

    // Registers as unsigned 16-bit values, high byte first. Only for accepted frames.
    static Registers decodeRegisters(const QByteArray &frame);
};
