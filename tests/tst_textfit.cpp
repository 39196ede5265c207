#include "app/mainwindow.h"
#include "app/windowsetup.h"
#include "monitor/alarm.h"
#include "monitor/threshold.h"
#include "testsupport.h"

#include <QApplication>
#include <QDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QtMath>

namespace {

bool isFullWidth(uint c)
{
    return c == 0x2103 || (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
           (c >= 0xFF01 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) ||
           (c >= 0x20000 && c <= 0x3FFFD);
}

// Microsoft YaHei cannot be rendered here, so Windows gets an upper bound at 96 dpi:
// full-width and CJK glyphs one em, every other glyph 0.7 em (its real Latin is narrower).
int yaHeiWidth(const QString &text, const QFont &font)
{
    const qreal em = font.pointSizeF() * 96.0 / 72.0;
    qreal width = 0;
    for (uint c : text.toUcs4())
        width += (isFullWidth(c) ? 1.0 : 0.7) * em;
    return qCeil(width);
}

// Room a widget leaves for its text: a button keeps its style's margins free.
int textRoom(QWidget *widget)
{
    auto *button = qobject_cast<QPushButton *>(widget);
    if (!button)
        return widget->contentsRect().width();
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    if (button->autoDefault())
        option.features |= QStyleOptionButton::AutoDefaultButton;
    if (button->isDefault())
        option.features |= QStyleOptionButton::DefaultButton;
    // A wide probe keeps the style's minimum button width out of the margin.
    const int probe = 1000;
    const QSize padded = button->style()->sizeFromContents(
        QStyle::CT_PushButton, &option, QSize(probe, button->fontMetrics().height()), button);
    return button->width() - (padded.width() - probe);
}

QString textOf(QWidget *widget)
{
    if (auto *label = qobject_cast<QLabel *>(widget))
        return label->text();
    if (auto *button = qobject_cast<QPushButton *>(widget))
        return button->text();
    return QString();
}

} // namespace

class TextFitTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void textFitsItsWidget_data();
    void textFitsItsWidget();
    void widgetStaysClearOfItsNeighbourAndOverItsColumn_data();
    void widgetStaysClearOfItsNeighbourAndOverItsColumn();

private:
    QWidget *named(const QString &path) const;

    QTemporaryDir dataDir;
    MainWindow *window = nullptr;
    // Dialogs the window does not hold (yet), measured standing alone.
    QList<QDialog *> ownDialogs;
};

void TextFitTest::initTestCase()
{
#ifndef Q_OS_WIN
    // Without these faces the widths below would be measured in some other font.
    QVERIFY2(QFontInfo(QApplication::font()).family() == QLatin1String("DejaVu Sans"),
             "fonts-dejavu-core is missing");
    // Listed under its Chinese name when the locale is Chinese, as on a switch-room PC.
    const QStringList families = QFontDatabase().families();
    QVERIFY2(families.contains(QStringLiteral("WenQuanYi Micro Hei")) ||
                 families.contains(QStringLiteral("文泉驿微米黑")),
             "fonts-wqy-microhei is missing");
#endif
    window = new MainWindow(nullptr, dataDir.path());
    prepareStationWindow(*window);
    // Showing lays out the central widget and the stacked pages, so positions are final.
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    if (!window->findChild<Alarm *>())
        ownDialogs << new Alarm;
    if (!window->findChild<Threshold *>())
        ownDialogs << new Threshold;
}

void TextFitTest::cleanupTestCase()
{
    qDeleteAll(ownDialogs);
    ownDialogs.clear();
    delete window;
    window = nullptr;
}

// "name" is a widget of the main window itself, "Dialog/name" one of that dialog: the
// dialogs reuse names such as "label" and "pushButton".
QWidget *TextFitTest::named(const QString &path) const
{
    const int slash = path.indexOf(QLatin1Char('/'));
    QWidget *top = window;
    if (slash >= 0) {
        const QString dialogName = path.left(slash);
        top = window->findChild<QDialog *>(dialogName);
        for (QDialog *dialog : ownDialogs)
            if (dialog->objectName() == dialogName)
                top = dialog;
        if (!top)
            return nullptr;
    }
    const QString objectName = path.mid(slash + 1);
    QWidget *found = nullptr;
    for (QWidget *candidate : top->findChildren<QWidget *>(objectName)) {
        if (candidate->window() != top)
            continue;
        if (found)
            return nullptr;
        found = candidate;
    }
    return found;
}

void TextFitTest::textFitsItsWidget_data()
{
    QTest::addColumn<QWidget *>("widget");
    QTest::addColumn<QString>("text");

    // The window's own dialogs are its children, so this reaches their texts too.
    QList<QWidget *> widgets;
    QList<QWidget *> tops = {window};
    for (QDialog *dialog : ownDialogs)
        tops << dialog;
    for (QWidget *top : tops) {
        for (QLabel *label : top->findChildren<QLabel *>())
            widgets << label;
        for (QPushButton *button : top->findChildren<QPushButton *>())
            widgets << button;
    }
    for (QWidget *widget : widgets) {
        const QString text = textOf(widget);
        if (text.isEmpty())
            continue;
        const QString tag =
            widget->window()->objectName() + QLatin1Char('/') + widget->objectName();
        QTest::newRow(qPrintable(tag)) << widget << text;
    }
    // The clock's running text is one digit longer than the text it starts with.
    QTest::newRow("running clock")
        << named(QStringLiteral("system_time")) << QStringLiteral("2024-12-31 23:59:59");
}

void TextFitTest::textFitsItsWidget()
{
    QFETCH(QWidget *, widget);
    QFETCH(QString, text);
    QVERIFY(widget);

    const int room = textRoom(widget);
    const int linuxWidth = QFontMetrics(widget->font()).horizontalAdvance(text);
    const int windowsWidth = yaHeiWidth(text, widget->font());
    const QString report =
        QStringLiteral("%1 \"%2\": %3 px room, DejaVu/WenQuanYi %4 px, YaHei model %5 px")
            .arg(widget->objectName(), text)
            .arg(room)
            .arg(linuxWidth)
            .arg(windowsWidth);
    QVERIFY2(linuxWidth <= room, qPrintable(report));
    QVERIFY2(windowsWidth <= room, qPrintable(report));

    const QRect inWindow(widget->mapTo(widget->window(), QPoint()), widget->size());
    QVERIFY2(inWindow.left() >= 0 && inWindow.right() < widget->window()->width(),
             qPrintable(widget->objectName() + QStringLiteral(" sticks out of its window")));
}

void TextFitTest::widgetStaysClearOfItsNeighbourAndOverItsColumn_data()
{
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QString>("neighbour");
    QTest::addColumn<QString>("column");

    QTest::newRow("device number heading") << "label"
                                           << "label_2"
                                           << "label_301";
    QTest::newRow("name heading") << "label_2"
                                  << "label_3"
                                  << "lineEdit_a1";
    QTest::newRow("location heading") << "label_3"
                                      << "label_4"
                                      << "lineEdit_b1";
    QTest::newRow("voltage heading") << "label_4"
                                     << "label_5"
                                     << "lineEdit_voltage_1";
    QTest::newRow("temperature heading") << "label_5"
                                         << "label_215"
                                         << "lineEdit_temperature_1";
    QTest::newRow("correction heading") << "label_215"
                                        << "label_6"
                                        << "lineEdit_temperaturecp_1";
    QTest::newRow("current heading") << "label_6"
                                     << "label_7"
                                     << "lineEdit_current_1";
    QTest::newRow("status heading") << "label_7"
                                    << ""
                                    << "lineEdit_Device_status_1";

    QTest::newRow("device number") << "label_301"
                                   << "lineEdit_a1"
                                   << "";
    QTest::newRow("clock") << "system_time"
                           << "label_8"
                           << "";
    QTest::newRow("concentrator caption") << "label_39"
                                          << "concentrator_id"
                                          << "";
    QTest::newRow("history device caption") << "label_205"
                                            << "History_id"
                                            << "";
    QTest::newRow("history range caption") << "label_209"
                                           << "dateTime_head"
                                           << "";
    QTest::newRow("curve device caption") << "label_213"
                                          << "Historical_curve_temperature_id"
                                          << "";

    QTest::newRow("port parameters") << "Serial_port_parameters"
                                     << "save_button"
                                     << "";
    QTest::newRow("save") << "save_button"
                          << "history_button"
                          << "";
    QTest::newRow("history") << "history_button"
                             << "pushButton_graph"
                             << "";
    QTest::newRow("graph") << "pushButton_graph"
                           << "Threshold_Settings_button"
                           << "";
    QTest::newRow("thresholds") << "Threshold_Settings_button"
                                << "alarm_record"
                                << "";
    QTest::newRow("alarms") << "alarm_record"
                            << "Device_selection"
                            << "";
    QTest::newRow("device choice") << "Device_selection"
                                   << "next_pageButton"
                                   << "";
    QTest::newRow("next page") << "next_pageButton"
                               << "previous_pageButton"
                               << "";
    QTest::newRow("curve query") << "Historical_curve_query_button"
                                 << "pushButton_graph_home"
                                 << "";
    QTest::newRow("page range") << "Dialog/pushButton_p1"
                                << "Dialog/pushButton_p2"
                                << "";
    QTest::newRow("open port") << "Serial_port/OpenSerialButton"
                               << "Serial_port/pushButton"
                               << "";
    QTest::newRow("port box") << "Serial_port/PortBox"
                              << "Serial_port/OpenSerialButton"
                              << "";

    QTest::newRow("alarm export") << "Alarm/pushButton"
                                  << "Alarm/pushButton_2"
                                  << "";
    QTest::newRow("alarm clear") << "Alarm/pushButton_2"
                                 << "Alarm/pushButton_3"
                                 << "";
    QTest::newRow("first device caption") << "Threshold/label"
                                          << "Threshold/label_3"
                                          << "";
    QTest::newRow("last device caption") << "Threshold/label_2"
                                         << "Threshold/label_5"
                                         << "";
    QTest::newRow("upper temperature caption") << "Threshold/label_5"
                                               << "Threshold/label_6"
                                               << "";
    QTest::newRow("upper current caption") << "Threshold/label_7"
                                           << "Threshold/lineEdit_Upper_current"
                                           << "";
}

void TextFitTest::widgetStaysClearOfItsNeighbourAndOverItsColumn()
{
    QFETCH(QString, widget);
    QFETCH(QString, neighbour);
    QFETCH(QString, column);

    auto windowRect = [](QWidget *w) {
        return QRectF(QPointF(w->mapTo(w->window(), QPoint())), QSizeF(w->size()));
    };
    QWidget *subject = named(widget);
    QVERIFY2(subject, qPrintable(widget));
    const QRectF subjectRect = windowRect(subject);

    if (!neighbour.isEmpty()) {
        QWidget *other = named(neighbour);
        QVERIFY2(other, qPrintable(neighbour));
        const QRectF otherRect = windowRect(other);
        QVERIFY2(!subjectRect.intersects(otherRect),
                 qPrintable(QStringLiteral("%1 spans x %2..%3, %4 starts at %5")
                                .arg(widget)
                                .arg(subjectRect.left())
                                .arg(subjectRect.right())
                                .arg(neighbour)
                                .arg(otherRect.left())));
    }

    if (!column.isEmpty()) {
        QWidget *field = named(column);
        QVERIFY2(field, qPrintable(column));
        QCOMPARE(subjectRect.center().x(), windowRect(field).center().x());
        auto *heading = qobject_cast<QLabel *>(subject);
        QVERIFY(heading);
        QVERIFY(heading->alignment() & Qt::AlignHCenter);
    }
}

int main(int argc, char *argv[])
{
    IsolatedSettings settings;
    const auto app = makeTestApplication(argc, argv);
    // The station's own fonts, as main applies them; measuring any other font proves nothing.
    prepareStationApplication(*app);
    TextFitTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_textfit.moc"
