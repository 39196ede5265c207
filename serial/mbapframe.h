#pragma once

#include <QByteArray>

// Modbus TCP's framing around the concentrator link's RTU frames, for a gateway that speaks it:
// the same request and answer, with a 7-byte header (transaction, protocol 0, length, unit)
// in place of the CRC.
class MbapFrame
{
public:
    static constexpr int kHeaderSize = 7;

    // An RTU request (address, PDU, CRC) for the gateway: unit = the address.
    static QByteArray fromRtu(const QByteArray &rtuRequest, quint16 transaction);

    enum class Take {
        Incomplete, // more bytes are needed; nothing taken
        Frame,      // one frame taken off the front
        Garbage,    // a header no gateway sends: the buffer is dropped, as nothing after it
                    // can be trusted to start a frame
    };
    // One whole frame off the front of buffer: its transaction, and the same answer as an RTU
    // frame (unit, PDU, then the CRC of both, low byte first).
    static Take takeAnswer(QByteArray *buffer, quint16 *transaction, QByteArray *rtuAnswer);
};
