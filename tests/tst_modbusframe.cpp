#include "monitor/pollingcycle.h"
#include "serial/mbapframe.h"
#include "serial/modbusframe.h"

#include <QTest>

namespace {

QByteArray response(quint8 address, const QVector<int> &registers)
{
    QByteArray frame;
    frame.append(static_cast<char>(address));
    frame.append(char(0x04));
    frame.append(static_cast<char>(200));
    for (int k = 0; k < 100; ++k) {
        const int value = k < registers.size() ? registers[k] : k;
        frame.append(static_cast<char>(value >> 8));
        frame.append(static_cast<char>(value & 0xFF));
    }
    const quint16 crc = ModbusFrame::crc16(frame);
    frame.append(static_cast<char>(crc & 0xFF));
    frame.append(static_cast<char>(crc >> 8));
    return frame;
}

} // namespace

class ModbusFrameTest : public QObject
{
    Q_OBJECT

private slots:
    void crcOfKnownInput();
    void pollingFramesForAddressOne();
    void addressText_data();
    void addressText();
    void decodesRegistersAsUnsigned();
    void acceptsOnlyWholeIntactResponses();
    void mbapAroundRtuFrames();
};

void ModbusFrameTest::crcOfKnownInput()
{
    // The standard check value of CRC-16/MODBUS.
    QCOMPARE(ModbusFrame::crc16(QByteArray("123456789")), quint16(0x4B37));
    QCOMPARE(ModbusFrame::crc16(QByteArray()), quint16(0xFFFF));
}

void ModbusFrameTest::pollingFramesForAddressOne()
{
    const QStringList expected = {
        "010475f900643bdc", "010476c10064ba55", "0104778900643bbf", "010475310064ba22",
        "0104765d00647a7b", "010477250064fb9e", "010477ed00647a60", "010475950064fbc1"};
    const auto &steps = PollingCycle::steps();
    QCOMPARE(int(steps.size()), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QByteArray frame =
            ModbusFrame::readInputRegistersRequest(1, steps[static_cast<size_t>(i)].startRegister);
        QCOMPARE(QString::fromLatin1(frame.toHex()), expected[i]);
    }
}

void ModbusFrameTest::addressText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("address");
    QTest::newRow("default") << "01" << 1;
    QTest::newRow("blanks around") << " 7 " << 7;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("not a number") << "abc" << 0;
    QTest::newRow("negative") << "-1" << 0;
    QTest::newRow("255") << "255" << 255;
    QTest::newRow("256 wraps") << "256" << 0;
    QTest::newRow("257 wraps") << "257" << 1;
}

void ModbusFrameTest::addressText()
{
    QFETCH(QString, text);
    QFETCH(int, address);
    const quint8 byte = PollingCycle::addressFromText(text);
    QCOMPARE(int(byte), address);
    const QByteArray frame = ModbusFrame::readInputRegistersRequest(byte, 0x75F9);
    QCOMPARE(int(quint8(frame.at(0))), address);
    QCOMPARE(ModbusFrame::crc16(frame.left(6)),
             quint16(quint8(frame.at(6)) | (quint8(frame.at(7)) << 8)));
}

void ModbusFrameTest::decodesRegistersAsUnsigned()
{
    QVector<int> values(100, 0);
    values[0] = 0x1234;
    values[1] = 0xFFFF;
    values[99] = 0x8000;
    const auto registers = ModbusFrame::decodeRegisters(response(1, values));
    QCOMPARE(registers[0], 4660);
    QCOMPARE(registers[1], 65535);
    QCOMPARE(registers[99], 32768);
    QCOMPARE(registers[50], 0);
}

void ModbusFrameTest::acceptsOnlyWholeIntactResponses()
{
    const QByteArray good = response(1, {});
    QVERIFY(ModbusFrame::isAcceptedResponse(good));
    QVERIFY(ModbusFrame::isAcceptedResponse(response(9, {}))); // address is not checked

    QVERIFY(!ModbusFrame::isAcceptedResponse(good.left(204)));
    QVERIFY(!ModbusFrame::isAcceptedResponse(good + '\0'));
    QVERIFY(!ModbusFrame::isAcceptedResponse(good + good));
    QVERIFY(!ModbusFrame::isAcceptedResponse(QByteArray()));

    QByteArray badCrc = good;
    badCrc[204] = static_cast<char>(badCrc.at(204) ^ 0xFF);
    QVERIFY(!ModbusFrame::isAcceptedResponse(badCrc));

    QByteArray noise = good;
    noise[100] = static_cast<char>(noise.at(100) ^ 0x01);
    QVERIFY(!ModbusFrame::isAcceptedResponse(noise));

    // Right length and CRC but not an answer to a read of 100 input registers.
    QByteArray otherFunction = good.left(203);
    otherFunction[1] = 0x03;
    quint16 crc = ModbusFrame::crc16(otherFunction);
    otherFunction.append(static_cast<char>(crc & 0xFF)).append(static_cast<char>(crc >> 8));
    QVERIFY(!ModbusFrame::isAcceptedResponse(otherFunction));

    QByteArray otherCount = good.left(203);
    otherCount[2] = static_cast<char>(198);
    crc = ModbusFrame::crc16(otherCount);
    otherCount.append(static_cast<char>(crc & 0xFF)).append(static_cast<char>(crc >> 8));
    QVERIFY(!ModbusFrame::isAcceptedResponse(otherCount));

    // Only a damaged check sum on an otherwise well-formed answer counts as a CRC fault.
    QCOMPARE(ModbusFrame::judge(good), ModbusFrame::Verdict::Accepted);
    QCOMPARE(ModbusFrame::judge(badCrc), ModbusFrame::Verdict::BadCrc);
    QCOMPARE(ModbusFrame::judge(noise), ModbusFrame::Verdict::BadCrc);
    QCOMPARE(ModbusFrame::judge(otherFunction), ModbusFrame::Verdict::BadFrame);
    QCOMPARE(ModbusFrame::judge(otherCount), ModbusFrame::Verdict::BadFrame);
    QCOMPARE(ModbusFrame::judge(good.left(204)), ModbusFrame::Verdict::BadFrame);
    QCOMPARE(ModbusFrame::judge(QByteArray::fromHex("018402C2C1")), ModbusFrame::Verdict::BadFrame);
}

// A gateway's framing, as literal frames: the request with its header for the CRC, and its
// answers taken off a stream that brings one and a half at once.
void ModbusFrameTest::mbapAroundRtuFrames()
{
    QCOMPARE(MbapFrame::fromRtu(QByteArray::fromHex("010476c10064ba55"), 7).toHex(),
             QByteArray("000700000006010476c10064"));
    QByteArray stream = QByteArray::fromHex("000700000003018402" "0008000000030184");
    quint16 transaction = 0;
    QByteArray rtu;
    QCOMPARE(MbapFrame::takeAnswer(&stream, &transaction, &rtu), MbapFrame::Take::Frame);
    QCOMPARE(transaction, quint16(7));
    QCOMPARE(rtu.toHex(), QByteArray("018402c2c1"));
    QCOMPARE(MbapFrame::takeAnswer(&stream, &transaction, &rtu), MbapFrame::Take::Incomplete);
    QCOMPARE(stream.toHex(), QByteArray("0008000000030184"));
    stream = QByteArray::fromHex("000900010003018402"); // protocol 1: not Modbus
    QCOMPARE(MbapFrame::takeAnswer(&stream, &transaction, &rtu), MbapFrame::Take::Garbage);
    QVERIFY(stream.isEmpty());
}

QTEST_APPLESS_MAIN(ModbusFrameTest)
#include "tst_modbusframe.moc"
