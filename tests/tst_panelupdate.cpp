#include "testsupport.h"
#include "config/savedsettingslines.h"
#include "forms/panelcolumn.h"
#include "forms/panelfields.h"
#include "monitor/panelupdate.h"

#include <QLineEdit>
#include <QTest>
#include <QWidget>

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

namespace {

// A bare tree with the four measured fields of every device.
QWidget *measuredFields()
{
    auto *root = new QWidget;
    auto *page = new QWidget(root);
    for (int device = 1; device <= 200; ++device) {
        for (const char *prefix : {PanelPrefix::Voltage, PanelPrefix::Temperature,
                                   PanelPrefix::Correction, PanelPrefix::Current,
                                   PanelPrefix::Status}) {
            auto *field = new QLineEdit(page);
            field->setObjectName(PanelColumn::fieldName(prefix, device));
        }
    }
    return root;
}

QString textOf(QWidget *root, const char *prefix, int device)
{
    return root->findChild<QLineEdit *>(PanelColumn::fieldName(prefix, device))->text();
}

} // namespace

void PanelUpdateTest::columnGoesToTheStepsDevices()
{
    QScopedPointer<QWidget> root(measuredFields());
    ModbusFrame::Registers registers{};
    for (int k = 0; k < 100; ++k)
        registers[static_cast<size_t>(k)] = 3000 + k;
    QLineEdit *current = nullptr;

    PanelUpdate::updateColumn(PanelFields(root.data()), PanelQuantity::Voltage, 101, registers, current);
    QCOMPARE(textOf(root.data(), PanelPrefix::Voltage, 101), QStringLiteral("3000"));
    QCOMPARE(textOf(root.data(), PanelPrefix::Voltage, 200), QStringLiteral("3099"));
    QVERIFY(textOf(root.data(), PanelPrefix::Voltage, 100).isEmpty());
    QVERIFY(textOf(root.data(), PanelPrefix::Temperature, 101).isEmpty());
    QCOMPARE(current->objectName(), QStringLiteral("lineEdit_voltage_200"));

    PanelUpdate::updateColumn(PanelFields(root.data()), PanelQuantity::Status, 1, registers, current);
    QCOMPARE(textOf(root.data(), PanelPrefix::Status, 1), QStringLiteral("离线"));
    QVERIFY(textOf(root.data(), PanelPrefix::Status, 101).isEmpty());
    // The correction field never receives a reading, whatever its name shares.
    QVERIFY(textOf(root.data(), PanelPrefix::Correction, 1).isEmpty());
}

void PanelUpdateTest::temperatureColumnUsesTheLoadedCorrection()
{
    QScopedPointer<QWidget> root(measuredFields());
    savedSettingsLines[400 + 5 - 1] = QStringLiteral("0.5");
    savedSettingsLines[400 + 150 - 1] = QStringLiteral("-2");
    ModbusFrame::Registers registers{};
    registers.fill(253);
    QLineEdit *current = nullptr;
    PanelUpdate::updateColumn(PanelFields(root.data()), PanelQuantity::Temperature, 1, registers, current);
    PanelUpdate::updateColumn(PanelFields(root.data()), PanelQuantity::Temperature, 101, registers, current);
    QCOMPARE(textOf(root.data(), PanelPrefix::Temperature, 4), QStringLiteral("25.3"));
    QCOMPARE(textOf(root.data(), PanelPrefix::Temperature, 5), QStringLiteral("25.8"));
    QCOMPARE(textOf(root.data(), PanelPrefix::Temperature, 150), QStringLiteral("23.3"));
    // The field on the panel is not what counts: only the correction loaded at start-up.
    root->findChild<QLineEdit *>(QStringLiteral("lineEdit_temperaturecp_6"))->setText("9");
    PanelUpdate::updateColumn(PanelFields(root.data()), PanelQuantity::Temperature, 1, registers, current);
    QCOMPARE(textOf(root.data(), PanelPrefix::Temperature, 6), QStringLiteral("25.3"));
}

KESTRO_TEST_MAIN(PanelUpdateTest)
#include "tst_panelupdate.moc"
