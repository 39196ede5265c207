#include "serial/answerwindow.h"
#include "serial/linkstatustext.h"

#include <QTest>

namespace {

// 01 04 C8, 100 registers, CRC (low byte first) worked out by hand for each body.
QByteArray zeroRegisters()
{
    return QByteArray::fromHex("0104C8") + QByteArray(200, '\0') + QByteArray::fromHex("9FB5");
}

QByteArray registers1234()
{
    QByteArray frame = QByteArray::fromHex("0104C8");
    for (int k = 0; k < 100; ++k)
        frame += QByteArray::fromHex("1234");
    return frame + QByteArray::fromHex("CA7F");
}

LinkCounters counts(int valid, int noAnswer, int badCrc, int badFrame, int late)
{
    LinkCounters c;
    c.validAnswers = valid;
    c.noAnswer = noAnswer;
    c.badCrc = badCrc;
    c.badFrame = badFrame;
    c.lateDropped = late;
    return c;
}

} // namespace

class AnswerWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void oneValidAnswerIsTheWindowsReading();
    void aSecondValidAnswerLeavesNoReading();
    void nothingOutsideAWindowIsDecoded();
    void damagedAndMalformedAnswersAreCountedApart();
    void anAnswerStillArrivingAtTheCloseIsLateNotMissing();
    void silenceIsCountedInWholeWindows();
    void closingThePortEndsTheWindowWithoutCounting();
    void statusTexts();
};

void AnswerWindowTest::oneValidAnswerIsTheWindowsReading()
{
    AnswerWindow window;
    window.open();
    ModbusFrame::Registers registers{};
    QCOMPARE(window.take(registers1234(), &registers), AnswerWindow::Burst::Decoded);
    QCOMPARE(registers[0], 0x1234);
    QCOMPARE(registers[99], 0x1234);
    QVERIFY(window.close(false));
    QCOMPARE(window.counters(), counts(1, 0, 0, 0, 0));
    QCOMPARE(window.windowsWithoutReading(), 0);
}

void AnswerWindowTest::aSecondValidAnswerLeavesNoReading()
{
    AnswerWindow window;
    window.open();
    ModbusFrame::Registers registers{};
    QCOMPARE(window.take(registers1234(), &registers), AnswerWindow::Burst::Decoded);
    registers.fill(-1);
    QCOMPARE(window.take(zeroRegisters(), &registers), AnswerWindow::Burst::Ambiguous);
    QCOMPARE(registers[0], -1); // untouched
    QVERIFY(!window.close(false));
    QCOMPARE(window.counters(), counts(1, 0, 0, 0, 1));
    QCOMPARE(window.windowsWithoutReading(), 1);
}

void AnswerWindowTest::nothingOutsideAWindowIsDecoded()
{
    AnswerWindow window;
    ModbusFrame::Registers registers{};
    // Before any request, and after the window has closed.
    QCOMPARE(window.take(registers1234(), &registers), AnswerWindow::Burst::Late);
    window.open();
    QVERIFY(!window.close(false));
    QCOMPARE(window.take(registers1234(), &registers), AnswerWindow::Burst::Late);
    QCOMPARE(registers[0], 0);
    // A burst cut off when the next request went out.
    window.dropPartial();
    QCOMPARE(window.counters(), counts(0, 1, 0, 0, 3));
    QVERIFY(!window.close(false)); // closing twice counts nothing more
    QCOMPARE(window.counters(), counts(0, 1, 0, 0, 3));
}

void AnswerWindowTest::damagedAndMalformedAnswersAreCountedApart()
{
    AnswerWindow window;
    window.open();
    ModbusFrame::Registers registers{};
    QByteArray damaged = registers1234();
    damaged[204] = static_cast<char>(0x7E);
    QCOMPARE(window.take(damaged, &registers), AnswerWindow::Burst::Rejected);
    QCOMPARE(window.take(QByteArray::fromHex("018402C2C1"), &registers),
             AnswerWindow::Burst::Rejected); // exception answer
    QCOMPARE(window.take(registers1234().left(204), &registers), AnswerWindow::Burst::Rejected);
    QCOMPARE(window.take(registers1234() + registers1234(), &registers),
             AnswerWindow::Burst::Rejected);
    QByteArray otherFunction = registers1234();
    otherFunction[1] = 0x03;
    QCOMPARE(window.take(otherFunction, &registers), AnswerWindow::Burst::Rejected);
    QCOMPARE(registers[0], 0);
    // Rejected bursts do not spoil a good answer that follows them.
    QCOMPARE(window.take(zeroRegisters(), &registers), AnswerWindow::Burst::Decoded);
    QVERIFY(window.close(false));
    QCOMPARE(window.counters(), counts(1, 0, 1, 4, 0));
}

void AnswerWindowTest::anAnswerStillArrivingAtTheCloseIsLateNotMissing()
{
    AnswerWindow window;
    window.open();
    QVERIFY(!window.close(true));
    ModbusFrame::Registers registers{};
    QCOMPARE(window.take(registers1234(), &registers), AnswerWindow::Burst::Late);
    QCOMPARE(window.counters(), counts(0, 0, 0, 0, 1));
    // Behind a valid answer, it may be the right answer behind a late one: neither counts.
    window.open();
    QCOMPARE(window.take(registers1234(), &registers), AnswerWindow::Burst::Decoded);
    QVERIFY(!window.close(true));
}

void AnswerWindowTest::silenceIsCountedInWholeWindows()
{
    AnswerWindow window;
    ModbusFrame::Registers registers{};
    for (int n = 1; n <= 9; ++n) {
        window.open();
        QVERIFY(!window.close(false));
        QCOMPARE(window.windowsWithoutReading(), n);
    }
    window.open();
    window.take(zeroRegisters(), &registers);
    QVERIFY(window.close(false));
    QCOMPARE(window.windowsWithoutReading(), 0);
    QCOMPARE(window.counters(), counts(1, 9, 0, 0, 0));
    window.resetCounters();
    QCOMPARE(window.counters(), counts(0, 0, 0, 0, 0));
}

void AnswerWindowTest::closingThePortEndsTheWindowWithoutCounting()
{
    AnswerWindow window;
    window.open();
    window.abandon();
    QVERIFY(!window.isOpen());
    QVERIFY(!window.close(false));
    QCOMPARE(window.counters(), counts(0, 0, 0, 0, 0));
}

void AnswerWindowTest::statusTexts()
{
    const QDateTime at(QDate(2026, 5, 1), QTime(8, 0, 3));
    QCOMPARE(LinkStatusText::logLine(at, QStringLiteral("concentrator silent since 08:00:01")),
             QStringLiteral("2026-05-01 08:00:03 link: concentrator silent since 08:00:01"));
    QCOMPARE(LinkStatusText::stateText(LinkState::Closed, QString(), QDateTime()),
             QStringLiteral("串口未打开"));
    QCOMPARE(LinkStatusText::stateText(LinkState::Silent, QStringLiteral("COM3"), at),
             QStringLiteral("串口 COM3：集中器自 2026-05-01 08:00:03 起无应答"));
    QCOMPARE(LinkStatusText::stateText(LinkState::Lost, QStringLiteral("COM3"), QDateTime()),
             QStringLiteral("串口 COM3 已断开，正在重新连接…"));
    QCOMPARE(LinkStatusText::countersText(counts(12, 3, 2, 1, 4)),
             QStringLiteral("有效应答 12 │ 无应答 3 │ 校验错 2 │ 长度/功能错 1 │ 迟到丢弃 4"));
}

QTEST_APPLESS_MAIN(AnswerWindowTest)
#include "tst_answerwindow.moc"
