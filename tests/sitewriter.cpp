// A station with its site link on, journalling a raised and a recovered alarm every 10 ms
// until killed.
// Usage: sitewriter DATA_DIRECTORY BROKER_PORT

#include "site/sitelink.h"
#include "storage/alarmjournal.h"

#include <QCoreApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    StationDatabase database(QString::fromLocal8Bit(argv[1]));
    AlarmJournal journal(database);
    SiteLink link(&journal);
    SiteSettings settings;
    settings.enabled = true;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = QByteArray(argv[2]).toInt();
    settings.station = QStringLiteral("s1");
    link.configure(settings, QString());

    int tick = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const qint64 epochMs = 1772409600000 + tick * 1000LL;
        const int device = tick % 200 + 1;
        const QString text = QString::number(device) + QStringLiteral("温度异常");
        journal.append({{device, 1, "alarm", "", epochMs, 85.0, 80.0, text, epochMs},
                        {device, 1, "recovery", "", epochMs, 79.5, 80.0, text, 0}});
        ++tick;
    });
    timer.start(10);
    return app.exec();
}
