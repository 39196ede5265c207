#include "serial/responsecollector.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

class ResponseCollectorTest : public QObject
{
    Q_OBJECT

private slots:
    void splitDeliveryWithShortGapsIsOneResponse();
    void aLongGapEndsTheResponse();
    void emitsOnlyAfterTheLineWasQuiet();
    void resetDropsWhatWasGathered();
    void noiseDoesNotGrowTheBufferWithoutBound();
    void anAnswerOfTheDeclaredSizeIsHandedOnAtOnce();
};

void ResponseCollectorTest::splitDeliveryWithShortGapsIsOneResponse()
{
    ResponseCollector collector;
    QSignalSpy spy(&collector, &ResponseCollector::responseCollected);
    const QByteArray whole(205, 'x');
    for (int offset = 0; offset < whole.size(); offset += 50) {
        collector.append(whole.mid(offset, 50));
        QTest::qWait(30);
    }
    QVERIFY(spy.wait(1000));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toByteArray(), whole);
}

void ResponseCollectorTest::aLongGapEndsTheResponse()
{
    ResponseCollector collector;
    QSignalSpy spy(&collector, &ResponseCollector::responseCollected);
    collector.append(QByteArray(100, 'a'));
    QVERIFY(spy.wait(1000));
    collector.append(QByteArray(105, 'b'));
    QVERIFY(spy.wait(1000));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).toByteArray().size(), 100);
    QCOMPARE(spy.at(1).at(0).toByteArray().size(), 105);
}

void ResponseCollectorTest::emitsOnlyAfterTheLineWasQuiet()
{
    ResponseCollector collector;
    QElapsedTimer clock;
    qint64 emittedAt = -1;
    connect(&collector, &ResponseCollector::responseCollected,
            [&](const QByteArray &) { emittedAt = clock.elapsed(); });
    clock.start();
    collector.append(QByteArray(10, 'x'));
    QVERIFY(collector.isCollecting());
    QTRY_VERIFY_WITH_TIMEOUT(emittedAt >= 0, 1000);
    QVERIFY2(emittedAt >= ResponseCollector::kQuietMs - 5, qPrintable(QString::number(emittedAt)));
    QVERIFY(!collector.isCollecting());
}

void ResponseCollectorTest::resetDropsWhatWasGathered()
{
    ResponseCollector collector;
    QSignalSpy spy(&collector, &ResponseCollector::responseCollected);
    collector.append(QByteArray(150, 'x'));
    collector.reset();
    QTest::qWait(ResponseCollector::kQuietMs * 2);
    QCOMPARE(spy.count(), 0);
    collector.append(QByteArray(205, 'y'));
    QVERIFY(spy.wait(1000));
    QCOMPARE(spy.at(0).at(0).toByteArray(), QByteArray(205, 'y'));
}

void ResponseCollectorTest::noiseDoesNotGrowTheBufferWithoutBound()
{
    ResponseCollector collector;
    QSignalSpy spy(&collector, &ResponseCollector::responseCollected);
    for (int i = 0; i < 1000; ++i)
        collector.append(QByteArray(205, 'n'));
    QVERIFY(spy.wait(1000));
    const QByteArray collected = spy.at(0).at(0).toByteArray();
    QVERIFY(collected.size() > ResponseCollector::kMaxBuffered);
    QVERIFY(collected.size() <= ResponseCollector::kMaxBuffered + 1);
}

void ResponseCollectorTest::anAnswerOfTheDeclaredSizeIsHandedOnAtOnce()
{
    // Address 1, function 0x04, 200 bytes of registers, then two CRC bytes: 205 in all.
    QByteArray answer = QByteArray::fromHex("0104c8") + QByteArray(200, '\x11') +
                        QByteArray::fromHex("abcd");
    ResponseCollector collector;
    QSignalSpy spy(&collector, &ResponseCollector::responseCollected);

    // In pieces: handed on with its last byte, no silence waited for.
    collector.append(answer.left(120));
    QCOMPARE(spy.count(), 0);
    collector.append(answer.mid(120));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toByteArray(), answer);
    QVERIFY(!collector.isCollecting());

    // Bytes behind an answer wait for the silence, as any short burst does.
    spy.clear();
    collector.append(answer + '\x00');
    QCOMPARE(spy.count(), 1);
    QVERIFY(collector.isCollecting());
    QVERIFY(spy.wait(1000));
    QCOMPARE(spy.at(1).at(0).toByteArray(), QByteArray(1, '\x00'));
}

QTEST_GUILESS_MAIN(ResponseCollectorTest)
#include "tst_responsecollector.moc"
