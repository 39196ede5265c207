#include "testsupport.h"
#include "config/savedsettingslines.h"
#include "monitor/devicemodel.h"
#include "monitor/panelupdate.h"

#include <QTest>

class PanelUpdateTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void temperature_data();
    void temperature();
    void voltageAndCurrent();
    void status();
    void columnGoesToTheStepsDevices();
    void temperatureColumnUsesTheLoadedCorrection();
};

void PanelUpdateTest::cleanup()
{
    savedSettingsLines.fill(QString());
}

void PanelUpdateTest::temperature_data()
{
    QTest::addColumn<int>("reg");
    QTest::addColumn<QString>("correction");
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << 253 << "0" << "25.3";
    QTest::newRow("negative two's complement") << 0xFF9C << "0" << "-10";
    QTest::newRow("with correction") << 253 << "0.5" << "25.8";
    QTest::newRow("empty correction") << 253 << "" << "25.3";
    QTest::newRow("junk correction") << 253 << "abc" << "25.3";
    QTest::newRow("negative correction") << 0 << "-1.5" << "-1.5";
    QTest::newRow("zero") << 0 << "0" << "0";
    QTest::newRow("most negative") << 0x8000 << "0" << "-3276.8";
    QTest::newRow("most positive") << 0x7FFF << "0" << "3276.7";
}

void PanelUpdateTest::temperature()
{
    QFETCH(int, reg);
    QFETCH(QString, correction);
    QFETCH(QString, text);
    QCOMPARE(PanelUpdate::temperatureText(reg, correction), text);
}

void PanelUpdateTest::voltageAndCurrent()
{
    QCOMPARE(PanelUpdate::voltageText(3600), QStringLiteral("3600"));
    QCOMPARE(PanelUpdate::voltageText(65535), QStringLiteral("65535"));
    QCOMPARE(PanelUpdate::currentText(150), QStringLiteral("1.5"));
    QCOMPARE(PanelUpdate::currentText(65535), QStringLiteral("655.35"));
    QCOMPARE(PanelUpdate::currentText(0), QStringLiteral("0"));
    QCOMPARE(PanelUpdate::currentText(1), QStringLiteral("0.01"));
}

void PanelUpdateTest::status()
{
    QCOMPARE(PanelUpdate::statusText(0x45), QStringLiteral("在线"));
    QCOMPARE(PanelUpdate::statusText(0x55), QStringLiteral("在线"));
    QCOMPARE(PanelUpdate::statusText(0x44), QStringLiteral("离线"));
    QCOMPARE(PanelUpdate::statusText(0x00), QStringLiteral("离线"));
    QCOMPARE(PanelUpdate::statusText(0x145), QStringLiteral("离线"));
}

void PanelUpdateTest::columnGoesToTheStepsDevices()
{
    DeviceModel devices;
    ModbusFrame::Registers registers{};
    for (int k = 0; k < 100; ++k)
        registers[static_cast<size_t>(k)] = 3000 + k;
    const QDateTime now = QDateTime::currentDateTime();

    devices.stepDone(PanelQuantity::Voltage, 101, true, registers, now);
    QCOMPARE(devices.text(PanelQuantity::Voltage, 101), QStringLiteral("3000"));
    QCOMPARE(devices.text(PanelQuantity::Voltage, 200), QStringLiteral("3099"));
    QVERIFY(devices.text(PanelQuantity::Voltage, 100).isEmpty());
    QVERIFY(devices.text(PanelQuantity::Temperature, 101).isEmpty());

    devices.stepDone(PanelQuantity::Status, 1, true, registers, now);
    QCOMPARE(devices.text(PanelQuantity::Status, 1), QStringLiteral("离线"));
    // Nobody has answered for the second block yet.
    QCOMPARE(devices.text(PanelQuantity::Status, 101), QStringLiteral("无应答"));
    // The correction is never a reading, whatever its field's name shares.
    QVERIFY(devices.setting(DeviceModel::Correction, 1).isEmpty());
}

void PanelUpdateTest::temperatureColumnUsesTheLoadedCorrection()
{
    DeviceModel devices;
    savedSettingsLines[400 + 5 - 1] = QStringLiteral("0.5");
    savedSettingsLines[400 + 150 - 1] = QStringLiteral("-2");
    ModbusFrame::Registers registers{};
    registers.fill(253);
    const QDateTime now = QDateTime::currentDateTime();
    devices.stepDone(PanelQuantity::Temperature, 1, true, registers, now);
    devices.stepDone(PanelQuantity::Temperature, 101, true, registers, now);
    QCOMPARE(devices.text(PanelQuantity::Temperature, 4), QStringLiteral("25.3"));
    QCOMPARE(devices.text(PanelQuantity::Temperature, 5), QStringLiteral("25.8"));
    QCOMPARE(devices.text(PanelQuantity::Temperature, 150), QStringLiteral("23.3"));
    // The correction on the panel is not what counts: only the one loaded at start-up.
    devices.setSetting(DeviceModel::Correction, 6, QStringLiteral("9"));
    devices.stepDone(PanelQuantity::Temperature, 1, true, registers, now);
    QCOMPARE(devices.text(PanelQuantity::Temperature, 6), QStringLiteral("25.3"));
}

KESTRO_TEST_MAIN(PanelUpdateTest)
#include "tst_panelupdate.moc"
