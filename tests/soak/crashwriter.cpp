// Writes the station's files in a loop until killed: the device settings through
// DeviceSettingsFile::save and one history minute through HistoryStore, step after step.
// Usage: soak_crashwriter DATA_DIRECTORY FIRST_STEP. Prints nothing.

#include "crashcontent.h"

#include "config/devicesettingsfile.h"
#include "core/devicereadings.h"
#include "history/historystore.h"

#include <QDir>
#include <QVector>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fputs("usage: soak_crashwriter DATA_DIRECTORY FIRST_STEP\n", stderr);
        return 2;
    }
    const QString directory = QString::fromLocal8Bit(argv[1]);
    bool ok = false;
    const qint64 first = QByteArray(argv[2]).toLongLong(&ok);
    if (!ok || first < 0)
        return 2;
    const QString settingsPath = QDir(directory).filePath(QStringLiteral("save_data.txt"));
    HistoryStore store(directory);

    QVector<QString> lines(DeviceSettingsFile::kLineCount);
    for (qint64 k = first;; ++k) {
        for (int j = 0; j < lines.size(); ++j)
            lines[j] = CrashContent::settingsLine(k, j);
        QString error;
        DeviceSettingsFile::save(settingsPath, lines, &error);

        DeviceReadings readings;
        for (int i = 0; i < CrashContent::recordCount(k); ++i) {
            readings.deviceTemperature[i] = CrashContent::temperatureWhole(k, i) + 0.5f;
            readings.deviceCurrent[i] = CrashContent::currentWhole(i) + 0.25f;
            readings.deviceStatusText[i] = QStringLiteral("在线");
        }
        // A step whose line the disk refused is tried again, so a line a kill cuts short is
        // always the step the harness expects next.
        while (!store.recordHistoryMinute(readings, CrashContent::minute(k)).lineWritten) {
        }
    }
}
