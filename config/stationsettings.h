#pragma once

#include <QObject>
#include <QSettings>
#include <QPair>
#include <QString>
#include <QVariant>
#include <QVector>

#include <memory>

// The station's per-user settings (organisation "Kestro", application "station"; on Linux
// ~/.config/Kestro/station.conf, INI text as before). Qt's own writer reports success after a
// write the disk refused and renames an empty file over the old one; here a write is whole and
// synced or not made at all, the old file staying byte for byte, and every outcome is told.
class StationSettings : public QObject
{
    Q_OBJECT

public:
    // Every QSettings on the station's file comes from here: one in Qt's own format would
    // share its pending changes and write them unchecked.
    static std::unique_ptr<QSettings> open();
    // A format of its own with the native one's path and text; on Windows and macOS the
    // registry or property list as before, checked by its status.
    static QSettings::Format format();
    // Writes what was set on `settings` now. False, with the operator's text in *problem, when
    // it could not be: the file is as it was, and the changes stay in memory and go out with
    // the next write that succeeds.
    static bool save(QSettings &settings, QString *problem = nullptr);
    // These keys of one group set and written; when the write fails they are put back as they
    // were, so what is not in force does not go out with some later setting either.
    static bool saveGroup(const char *group, const QVector<QPair<const char *, QVariant>> &values,
                          QString *problem = nullptr);

    // Tells of every save; lives as long as the program.
    static StationSettings *notifier();
    // The last save's problem, empty when it was written.
    QString problem() const { return lastProblem; }

signals:
    void saved(const QString &problem);

private:
    StationSettings() = default;

    QString lastProblem;
};
