#include "serial/mbapframe.h"

#include "serial/modbusframe.h"

namespace {

// Unit and PDU: a function byte at least, and a PDU of at most 253 bytes.
constexpr int kShortestLength = 2;
constexpr int kLongestLength = 254;

quint16 word(const QByteArray &bytes, int at)
{
    return quint16((quint8(bytes.at(at)) << 8) | quint8(bytes.at(at + 1)));
}

void appendWord(QByteArray *bytes, quint16 value)
{
    bytes->append(char(value >> 8));
    bytes->append(char(value & 0xFF));
}

} // namespace

QByteArray MbapFrame::fromRtu(const QByteArray &rtuRequest, quint16 transaction)
{
    if (rtuRequest.size() < 4)
        return QByteArray();
    const QByteArray unitAndPdu = rtuRequest.left(rtuRequest.size() - 2);
    QByteArray frame;
    frame.reserve(kHeaderSize + unitAndPdu.size() - 1);
    appendWord(&frame, transaction);
    appendWord(&frame, 0);
    appendWord(&frame, quint16(unitAndPdu.size()));
    frame += unitAndPdu;
    return frame;
}

MbapFrame::Take MbapFrame::takeAnswer(QByteArray *buffer, quint16 *transaction, QByteArray *rtuAnswer)
{
    if (buffer->size() < kHeaderSize - 1)
        return Take::Incomplete;
    const int length = word(*buffer, 4);
    if (word(*buffer, 2) != 0 || length < kShortestLength || length > kLongestLength) {
        buffer->clear();
        return Take::Garbage;
    }
    if (buffer->size() < 6 + length)
        return Take::Incomplete;
    *transaction = word(*buffer, 0);
    QByteArray rtu = buffer->mid(6, length);
    const quint16 crc = ModbusFrame::crc16(rtu);
    rtu.append(char(crc & 0xFF));
    rtu.append(char(crc >> 8));
    *rtuAnswer = rtu;
    buffer->remove(0, 6 + length);
    return Take::Frame;
}
