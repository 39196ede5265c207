#pragma once

#include "trend/trenddata.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QWidget>
#include <functional>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QDialog;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class TrendChart;

template <typename T>
class QFutureWatcher;

// The "趋势" window: which devices over which time, the chart with its legend, exports and a
// status line. A window of its own (a control room puts it on a second screen), not modal.
// It only shows and asks: TrendController loads what it asks for.
class TrendWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kMaxDevices = 8;
    static constexpr int kCustom = -1; // preset() when the range is the custom one
    static constexpr int kDefaultPreset = 2; // 最近24小时

    struct Preset
    {
        const char *text;
        qint64 spanMs;
    };
    // "最近1小时" … "最近1年", in the order the range box offers them.
    static const QVector<Preset> &presets();

    explicit TrendWindow(QWidget *parent = nullptr);
    ~TrendWindow() override; // waits for an export being written

    // "5,6,7", "5-8", "5，6 9": the devices in the order typed, each once. False, with the
    // reason for the operator, for text that is no device number, a number outside 1..200
    // or more than kMaxDevices devices.
    static bool parseDevices(const QString &text, QVector<int> *devices, QString *error);
    // Devices as the operator would type them, ascending, runs as ranges: "1-3,7".
    static QString devicesText(QVector<int> devices);
    // "005 进线柜A相", or "005" when the device has no name.
    static QString deviceLabel(int device, const QString &name);

    void setDeviceNames(const std::function<QString(int)> &names);
    void setStationName(const std::function<QString()> &name);
    void setExportDirectory(const QString &directory);

    QString deviceText() const;
    void setDeviceText(const QString &text);
    int preset() const; // index into presets(), or kCustom
    void setPreset(int index);
    QDateTime customFrom() const;
    QDateTime customTo() const;
    // Fills the range editors without making the range a custom one.
    void setRangeShown(qint64 fromMs, qint64 toMs);
    bool currentShown() const;

    // Replaces what the chart shows; the view starts at the whole range.
    void showData(const TrendData &data, const QString &status, bool problem = false);
    // New data for what is shown (live): the operator's zoom stays.
    void updateData(const TrendData &data, const QString &status, bool problem = false);
    void showStatus(const QString &text, bool problem);

    const TrendData &data() const { return shown; }
    TrendChart *chart() const { return trendChart; }
    QString statusText() const;

    // The plotted part of the data (the chart's view) as CSV, written on a worker thread;
    // csvExported tells how it went. False when nothing is shown or an export still runs.
    bool exportCsv(const QString &path);
    bool exportPng(const QString &path, QString *error);
    // The picture's title: the station, the devices and the range the chart shows.
    QString pictureTitle() const;

signals:
    void showRequested(); // "显示", a preset chosen, Enter in the device box, a device picked
    void dataShown();
    void csvExported(const QString &path, const QString &error); // error empty: written

private:
    void buildPicker();
    void openPicker();
    void pickerChanged();
    void pickerAccepted();
    void customEdited();
    void exportCsvClicked();
    void exportPngClicked();
    void updateExportButtons();
    QString proposedPath(const QString &suffix) const;

    std::function<QString(int)> deviceNames;
    std::function<QString()> stationName;
    QString exportDirectory;
    TrendData shown;

    QLineEdit *devicesEdit = nullptr;
    QPushButton *pickButton = nullptr;
    QComboBox *rangeBox = nullptr;
    QDateTimeEdit *fromEdit = nullptr;
    QDateTimeEdit *toEdit = nullptr;
    QPushButton *showButton = nullptr;
    QCheckBox *currentBox = nullptr;
    QPushButton *pngButton = nullptr;
    QPushButton *csvButton = nullptr;
    TrendChart *trendChart = nullptr;
    QLabel *statusLabel = nullptr;
    QDialog *picker = nullptr;
    QListWidget *pickerList = nullptr;
    QLabel *pickerCount = nullptr;
    QPushButton *pickerOk = nullptr;
    QFutureWatcher<QString> *csvWriting = nullptr;
};
