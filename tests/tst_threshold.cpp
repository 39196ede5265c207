#include "forms/thresholdform.h"
#include "monitor/threshold.h"
#include "monitor/thresholdrange.h"
#include "testsupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <array>

class ThresholdTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void formWidgets_data();
    void formWidgets();
    void backdropLiesBelowAndHoldsTheButton();
    void setAppliesTheTypedTextsToTheRange_data();
    void setAppliesTheTypedTextsToTheRange();
    void deadbandAndDelayOnlyWithinTheirRanges_data();
    void deadbandAndDelayOnlyWithinTheirRanges();
    void reopeningShowsTheTextsLastTyped();

private:
    Threshold *dialog = nullptr;
    std::array<float, 200> upperTemperature{};
    std::array<float, 200> lowerTemperature{};
    std::array<float, 200> upperCurrent{};
};

void ThresholdTest::init()
{
    upperTemperature.fill(80.0f);
    lowerTemperature.fill(-40.0f);
    upperCurrent.fill(50.0f);
    dialog = new Threshold;
    connect(dialog, &Threshold::thresholdsApplied, this,
            [this](int first, int last, float upper, float lower, float current) {
                ThresholdRange::apply(first, last, upper, lower, current, upperTemperature,
                                      lowerTemperature, upperCurrent);
            });
}

void ThresholdTest::cleanup()
{
    delete dialog;
    dialog = nullptr;
}

void ThresholdTest::formWidgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<int>("points");   // labels only
    QTest::addColumn<bool>("centred"); // fields only
    QTest::addColumn<QString>("text");
    // Labels may have been widened to the right so their text fits; x, y and height hold.
    QTest::newRow("label") << "label" << QRect(30, 30, 31, 21) << 12 << false << "序号";
    QTest::newRow("label_2") << "label_2" << QRect(100, 30, 31, 21) << 12 << false << "序号";
    QTest::newRow("label_3") << "label_3" << QRect(77, 37, 21, 21) << 12 << false << "~";
    QTest::newRow("label_4") << "label_4" << QRect(74, 61, 16, 16) << 11 << false << "至";
    QTest::newRow("label_5") << "label_5" << QRect(180, 30, 61, 21) << 12 << false << "温度上限";
    QTest::newRow("label_6") << "label_6" << QRect(290, 30, 71, 21) << 12 << false << "温度下限";
    QTest::newRow("label_7") << "label_7" << QRect(180, 110, 61, 21) << 12 << false << "电流上限";
    QTest::newRow("first") << "Before_seria_num" << QRect(30, 60, 31, 20) << 0 << false << "1";
    QTest::newRow("last") << "After_serial_num" << QRect(100, 60, 31, 20) << 0 << false << "200";
    QTest::newRow("upper temperature")
        << "lineEdit_Upper_temperature" << QRect(180, 60, 61, 20) << 0 << true << "80.0";
    QTest::newRow("lower temperature")
        << "lineEdit_Lower_temperature" << QRect(290, 60, 61, 20) << 0 << true << "-40.0";
    QTest::newRow("upper current")
        << "lineEdit_Upper_current" << QRect(180, 140, 61, 20) << 0 << true << "50.00";
}

void ThresholdTest::formWidgets()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(int, points);
    QFETCH(bool, centred);
    QFETCH(QString, text);

    QWidget *widget = dialog->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget(), static_cast<QWidget *>(dialog));
    QCOMPARE(widget->pos(), geometry.topLeft());
    QCOMPARE(widget->height(), geometry.height());
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        QVERIFY(label->width() >= geometry.width());
        QCOMPARE(label->text(), text);
        QCOMPARE(label->font().pointSize(), points);
        QCOMPARE(label->styleSheet(), QStringLiteral("color: rgb(255, 255, 255);"));
        return;
    }
    auto *field = qobject_cast<QLineEdit *>(widget);
    QVERIFY(field);
    QCOMPARE(field->width(), geometry.width());
    QCOMPARE(field->text(), text);
    QCOMPARE(field->alignment() == Qt::AlignCenter, centred);
}

void ThresholdTest::backdropLiesBelowAndHoldsTheButton()
{
    QCOMPARE(dialog->objectName(), QStringLiteral("Threshold"));
    QCOMPARE(dialog->size(), QSize(400, 300));
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Dialog"));
    ThresholdForm *ui = dialog->form();
    QCOMPARE(ui->widget->geometry(), QRect(-190, -130, 791, 531));
    // The picture must be drawn by the backdrop only, never inside the button on it.
    QCOMPARE(ui->widget->styleSheet(),
             QStringLiteral("#widget { image: url(:/new/prefix1/img/P1.jpg); }"));
    QCOMPARE(ui->Threshold_Settings->parentWidget(), ui->widget);
    QCOMPARE(ui->Threshold_Settings->geometry(), QRect(500, 350, 61, 23));
    QCOMPARE(ui->Threshold_Settings->mapTo(dialog, QPoint()), QPoint(310, 220));
    QCOMPARE(ui->Threshold_Settings->text(), QStringLiteral("设置"));

    const auto children = dialog->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    // Thirteen for the limits, below them seven for deadband and delay, and the message.
    QCOMPARE(children.size(), 21);
    for (QWidget *w : children)
        if (w != ui->widget)
            QVERIFY2(dialog->childAt(w->geometry().center()) == w, qPrintable(w->objectName()));
    QCOMPARE(dialog->childAt(QPoint(330, 230)), static_cast<QWidget *>(ui->Threshold_Settings));
    QCOMPARE(dialog->childAt(QPoint(5, 5)), ui->widget);
}

void ThresholdTest::setAppliesTheTypedTextsToTheRange_data()
{
    QTest::addColumn<QStringList>("texts"); // first, last, upper and lower temperature, current
    QTest::addColumn<int>("first");         // devices expected to change
    QTest::addColumn<int>("last");
    QTest::addColumn<float>("upper");
    QTest::addColumn<float>("lower");
    QTest::addColumn<float>("current");
    QTest::addColumn<QString>("message"); // shown when refused, with nothing changed

    QTest::newRow("defaults rewrite the initial limits")
        << QStringList{"1", "200", "80.0", "-40.0", "50.00"} << 1 << 200 << 80.0f << -40.0f
        << 50.0f << QString();
    QTest::newRow("one device") << QStringList{"5", "5", "60", "-40.0", "50.00"} << 5 << 5 << 60.0f
                                << -40.0f << 50.0f << QString();
    // 1..0: no device is expected to change.
    QTest::newRow("first above last")
        << QStringList{"10", "3", "60", "-10", "5"} << 1 << 0 << 0.0f << 0.0f << 0.0f << QString();
    QTest::newRow("from 0") << QStringList{"0", "5", "70.5", "-30", "40"} << 1 << 5 << 70.5f
                            << -30.0f << 40.0f << QString();
    QTest::newRow("up to 300") << QStringList{"190", "300", "70", "-30.25", "40"} << 190 << 200
                               << 70.0f << -30.25f << 40.0f << QString();
    QTest::newRow("whole int range") << QStringList{"-2147483648", "2147483647", "70", "-30", "40"}
                                     << 1 << 200 << 70.0f << -30.0f << 40.0f << QString();
    QTest::newRow("empty upper limit")
        << QStringList{"1", "2", "", "-40.0", "50.00"} << 1 << 2 << 0.0f << -40.0f << 50.0f
        << QString();
    QTest::newRow("not numbers") << QStringList{"x", "3", "abc", "-1", "2,5"} << 1 << 3 << 0.0f
                                 << -1.0f << 0.0f << QString();
    QTest::newRow("inverted limits kept")
        << QStringList{"7", "7", "-5", "90", "0"} << 7 << 7 << -5.0f << 90.0f << 0.0f << QString();
    QTest::newRow("edges of what a sensor reports")
        << QStringList{"1", "1", "300", "-60", "655.35"} << 1 << 1 << 300.0f << -60.0f << 655.35f
        << QString();
    // Limits that no reading could cross switch the alarms off: refused.
    const QString upperRefused = "温度上限须在 -60～300 ℃ 之间，未作更改";
    QTest::newRow("upper beyond float") << QStringList{"1", "200", "1e309", "-40", "50"} << 1 << 0
                                        << 0.0f << 0.0f << 0.0f << upperRefused;
    QTest::newRow("upper nan") << QStringList{"1", "200", "nan", "-40", "50"} << 1 << 0 << 0.0f
                               << 0.0f << 0.0f << upperRefused;
    QTest::newRow("upper 300.1") << QStringList{"1", "200", "300.1", "-40", "50"} << 1 << 0
                                 << 0.0f << 0.0f << 0.0f << upperRefused;
    QTest::newRow("lower -inf") << QStringList{"1", "200", "80", "-inf", "50"} << 1 << 0 << 0.0f
                                << 0.0f << 0.0f << "温度下限须在 -60～300 ℃ 之间，未作更改";
    QTest::newRow("current inf") << QStringList{"1", "200", "80", "-40", "inf"} << 1 << 0 << 0.0f
                                 << 0.0f << 0.0f << "电流上限须在 0～655.35 A 之间，未作更改";
    QTest::newRow("current negative") << QStringList{"1", "200", "80", "-40", "-1"} << 1 << 0
                                      << 0.0f << 0.0f << 0.0f
                                      << "电流上限须在 0～655.35 A 之间，未作更改";
}

void ThresholdTest::setAppliesTheTypedTextsToTheRange()
{
    QFETCH(QStringList, texts);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(float, upper);
    QFETCH(float, lower);
    QFETCH(float, current);
    QFETCH(QString, message);

    ThresholdForm *ui = dialog->form();
    const QList<QLineEdit *> fields = {ui->Before_seria_num, ui->After_serial_num,
                                       ui->lineEdit_Upper_temperature,
                                       ui->lineEdit_Lower_temperature, ui->lineEdit_Upper_current};
    for (int i = 0; i < fields.size(); ++i)
        fields[i]->setText(texts[i]);
    dialog->show();
    QSignalSpy applied(dialog, &Threshold::thresholdsApplied);
    QTest::mouseClick(ui->Threshold_Settings, Qt::LeftButton);
    QCOMPARE(applied.count(), message.isEmpty() ? 1 : 0);
    QCOMPARE(ui->threshold_message->text(), message);
    QVERIFY(dialog->isVisible());

    for (int device = 1; device <= 200; ++device) {
        const bool set = device >= first && device <= last;
        const QString where = QStringLiteral("device %1").arg(device);
        // Exact comparisons: the values are stored, not computed.
        QVERIFY2(upperTemperature[device - 1] == (set ? upper : 80.0f), qPrintable(where));
        QVERIFY2(lowerTemperature[device - 1] == (set ? lower : -40.0f), qPrintable(where));
        QVERIFY2(upperCurrent[device - 1] == (set ? current : 50.0f), qPrintable(where));
    }
    for (int i = 0; i < fields.size(); ++i)
        QCOMPARE(fields[i]->text(), texts[i]);
}

void ThresholdTest::deadbandAndDelayOnlyWithinTheirRanges_data()
{
    QTest::addColumn<QStringList>("texts"); // temperature and current deadband, delay
    QTest::addColumn<QString>("message");
    QTest::newRow("edges") << QStringList{"50", "0", "3600"} << QString();
    QTest::newRow("nan deadband") << QStringList{"nan", "0", "0"}
                                  << "温度回差须为 0～50 之间的数，未作更改";
    QTest::newRow("empty current deadband") << QStringList{"0.5", "", "0"}
                                            << "电流回差须为 0～50 之间的数，未作更改";
    QTest::newRow("negative delay") << QStringList{"0", "0", "-5"}
                                    << "延时须为 0～3600 之间的整秒数，未作更改";
    QTest::newRow("delay of a fraction") << QStringList{"0", "0", "2.5"}
                                         << "延时须为 0～3600 之间的整秒数，未作更改";
}

void ThresholdTest::deadbandAndDelayOnlyWithinTheirRanges()
{
    QFETCH(QStringList, texts);
    QFETCH(QString, message);
    ThresholdForm *ui = dialog->form();
    ui->lineEdit_temperature_deadband->setText(texts[0]);
    ui->lineEdit_current_deadband->setText(texts[1]);
    ui->lineEdit_delay->setText(texts[2]);
    QSignalSpy applied(dialog, &Threshold::deadbandsApplied);
    ui->Deadband_Settings->click();
    QCOMPARE(applied.count(), message.isEmpty() ? 1 : 0);
    QCOMPARE(ui->threshold_message->text(), message);
}

void ThresholdTest::reopeningShowsTheTextsLastTyped()
{
    ThresholdForm *ui = dialog->form();
    handleNextModal([ui](QWidget *) {
        ui->Before_seria_num->clear();
        QTest::keyClicks(ui->Before_seria_num, QStringLiteral("5"));
        ui->lineEdit_Upper_temperature->clear();
        QTest::keyClicks(ui->lineEdit_Upper_temperature, QStringLiteral("60"));
    });
    dialog->exec();

    QStringList shown;
    handleNextModal([ui, &shown](QWidget *) {
        shown << ui->Before_seria_num->text() << ui->After_serial_num->text()
              << ui->lineEdit_Upper_temperature->text() << ui->lineEdit_Lower_temperature->text()
              << ui->lineEdit_Upper_current->text();
    });
    dialog->exec();
    QCOMPARE(shown, (QStringList{"5", "200", "60", "-40.0", "50.00"}));
}

KESTRO_TEST_MAIN(ThresholdTest)
#include "tst_threshold.moc"
