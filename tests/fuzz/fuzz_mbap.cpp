// A Modbus TCP gateway's byte stream, cut into pieces where the input says, through the framing
// the concentrator link reads it with: never a crash; each frame taken is the stream's next
// frame by a reading written here from the framing alone, given back with a right CRC.

#include "fuzzcheck.h"

#include "serial/mbapframe.h"
#include "serial/modbusframe.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

constexpr char kFuzzTarget[] = "fuzz_mbap";

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const int piece = data[0] % 16 + 1;
    const QByteArray stream(reinterpret_cast<const char *>(data) + 1, static_cast<int>(size) - 1);
    QByteArray buffer;
    int consumed = 0; // of the stream, by frames taken or garbage dropped
    for (int at = 0; at < stream.size(); at += piece) {
        buffer += stream.mid(at, piece);
        for (;;) {
            const QByteArray before = buffer;
            quint16 transaction = 0;
            QByteArray rtu;
            const MbapFrame::Take take = MbapFrame::takeAnswer(&buffer, &transaction, &rtu);
            if (take == MbapFrame::Take::Incomplete) {
                REQUIRE(buffer == before, "nothing taken from an incomplete frame");
                break;
            }
            if (take == MbapFrame::Take::Garbage) {
                REQUIRE(buffer.isEmpty(), "garbage drops what was buffered");
                consumed += before.size();
                continue;
            }
            const auto byte = [&before](int k) { return static_cast<quint8>(before.at(k)); };
            const int length = byte(4) << 8 | byte(5);
            REQUIRE(byte(2) == 0 && byte(3) == 0 && length >= 2 && length <= 254, "a Modbus header");
            REQUIRE(transaction == (byte(0) << 8 | byte(1)), "its transaction");
            REQUIRE(rtu.size() == length + 2 && rtu.left(length) == before.mid(6, length), "unit and PDU kept");
            REQUIRE(ModbusFrame::crc16(rtu) == 0, "a CRC that checks");
            REQUIRE(buffer == before.mid(6 + length), "exactly one frame taken");
            consumed += 6 + length;
        }
    }
    REQUIRE(consumed + buffer.size() == stream.size(), "every byte taken, dropped or waiting");
    return 0;
}
