#pragma once

#include <QMap>
#include <QObject>
#include <QString>

// Faults the operator must see that have no place of their own (an unwritable settings file,
// a database set aside, settings that could not be read): one red text in the status bar, and
// one line on standard error when each begins and when it ends.
class StationFaults : public QObject
{
    Q_OBJECT

public:
    explicit StationFaults(QObject *parent = nullptr);

    // `text` for the fault from `source` ("settings", "database", ...); an empty text clears it.
    void set(const char *source, const QString &text);
    // As set(), for a source that writes its own lines to the log.
    void show(const char *source, const QString &text);
    // Every present fault, in the order of their sources' names, joined by " │ ".
    QString text() const;

signals:
    void changed(const QString &text);

private:
    bool put(const char *source, const QString &text);

    QMap<QString, QString> faults;
};
