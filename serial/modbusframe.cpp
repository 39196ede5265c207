#include "serial/modbusframe.h"

quint16 ModbusFrame::crc16(const char *data, int size)
{
    quint16 crc = 0xFFFF;
    for (int i = 0; i < size; ++i) {
        crc ^= static_cast<quint8>(data[i]);
        for (int bit = 0; bit < 8; ++bit) {
            const bool carry = crc & 0x0001;
            crc >>= 1;
            if (carry)
                crc ^= 0xA001;
        }
    }
    return crc;
}

QByteArray ModbusFrame::readInputRegistersRequest(quint8 address, quint16 startRegister,
                                                  quint16 quantity)
{
    QByteArray frame;
    frame.reserve(8);
    frame.append(static_cast<char>(address));
    frame.append(static_cast<char>(kReadInputRegisters));
    frame.append(static_cast<char>(startRegister >> 8));
    frame.append(static_cast<char>(startRegister & 0xFF));
    frame.append(static_cast<char>(quantity >> 8));
    frame.append(static_cast<char>(quantity & 0xFF));
    const quint16 crc = crc16(frame);
    frame.append(static_cast<char>(crc & 0xFF));
    frame.append(static_cast<char>(crc >> 8));
    return frame;
}

bool ModbusFrame::isAcceptedResponse(const QByteArray &frame)
{
    return judge(frame) == Verdict::Accepted;
}

bool ModbusFrame::beginsWithResponse(const QByteArray &bytes)
{
    return bytes.size() >= kResponseSize &&
           static_cast<quint8>(bytes.at(1)) == kReadInputRegisters &&
           static_cast<quint8>(bytes.at(2)) == kResponseByteCount;
}

ModbusFrame::Verdict ModbusFrame::judge(const QByteArray &frame)
{
    if (frame.size() != kResponseSize || !beginsWithResponse(frame))
        return Verdict::BadFrame;
    const quint16 expected = crc16(frame.constData(), kResponseSize - 2);
    const quint16 received = static_cast<quint16>(static_cast<quint8>(frame.at(203)) |
                                                  (static_cast<quint8>(frame.at(204)) << 8));
    return expected == received ? Verdict::Accepted : Verdict::BadCrc;
}

ModbusFrame::Registers ModbusFrame::decodeRegisters(const QByteArray &frame)
{
    Registers registers{};
    for (int k = 0; k < kRegisterCount && 4 + 2 * k < frame.size(); ++k) {
        registers[k] = static_cast<quint8>(frame.at(3 + 2 * k)) * 256 +
                       static_cast<quint8>(frame.at(4 + 2 * k));
    }
    return registers;
}
