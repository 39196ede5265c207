#include "monitor/alarmsound.h"

#include "config/stationsettings.h"
#include "core/servicelog.h"

#include <QApplication>
#include <QAudioDeviceInfo>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>

// The tone is made at build time into a bundle of its own inside the static station library;
// referencing it keeps the linker from dropping it.
static void initialiseToneResource()
{
    Q_INIT_RESOURCE(alarmtone);
}

namespace {

const QString settingKey = QStringLiteral("alarm/sound");
// Often enough to be noticed, seldom enough that the beeps stay separate on every platform.
const int beepPeriodMs = 1000;
// The tone lasts one second; each loop is handed to the output within about 1.05 s of the
// last, so a longer pause means the output stopped taking it.
const int loopDueMs = 1500;
// A new stream first uploads its sample and starts the output.
const int firstLoopDueMs = 3000;
// How often a lost output is tried again while the beep stands in.
const int retryPeriodMs = 5000;
// Only a finite count is counted down as it plays, which is what the watchdog watches; this
// one lasts about a day, and the tone is then started again.
const int loopsPerPlay = 100000;

} // namespace

AlarmSound::AlarmSound(QObject *parent)
    : QObject(parent),
      enabled(StationSettings::open()->value(settingKey, true).toBool()),
      watchdog(new QTimer(this)),
      beepTimer(new QTimer(this)),
      retryTimer(new QTimer(this))
{
    initialiseToneResource();
    watchdog->setSingleShot(true);
    connect(watchdog, &QTimer::timeout, this, &AlarmSound::toneStalled);
    beepTimer->setObjectName(QStringLiteral("beepTimer"));
    beepTimer->setInterval(beepPeriodMs);
    connect(beepTimer, &QTimer::timeout, this, [] { QApplication::beep(); });
    retryTimer->setInterval(retryPeriodMs);
    connect(retryTimer, &QTimer::timeout, this, [this] {
        if (!effect)
            playTone();
    });
}

void AlarmSound::setEnabled(bool on)
{
    // In force even when it cannot be stored: the station says so, and it is stored with the
    // next write that succeeds.
    const auto settings = StationSettings::open();
    settings->setValue(settingKey, on);
    StationSettings::save(*settings);
    enabled = on;
    apply();
}

bool AlarmSound::isEnabled() const
{
    return enabled;
}

void AlarmSound::setSounding(bool on)
{
    sounding = on;
    apply();
}

bool AlarmSound::isSounding() const
{
    return enabled && sounding;
}

bool AlarmSound::usesSystemBeep() const
{
    return !toneWorks;
}

void AlarmSound::apply()
{
    const bool on = isSounding();
    if (on && !outputListed) {
        outputListed = true;
        // Asked once, on the first sound: the answer is quick, but not free on every platform.
        if (QAudioDeviceInfo::defaultOutputDevice().isNull()) {
            trustTone(false);
            static bool logged = false;
            if (!logged)
                ServiceLog::write("alarm", QStringLiteral("no audio output, using the system beep"));
            logged = true;
        }
    }
    if (!on) {
        dropTone();
        beepTimer->stop();
        retryTimer->stop();
    } else if (toneWorks) {
        beepTimer->stop();
        retryTimer->stop();
        if (!effect)
            playTone();
    } else {
        if (!beepTimer->isActive()) {
            QApplication::beep();
            beepTimer->start();
        }
        if (!retryTimer->isActive())
            retryTimer->start();
    }
}

void AlarmSound::playTone()
{
    effect = new QSoundEffect(this);
    effect->setLoopCount(loopsPerPlay);
    loopsLeft = loopsPerPlay;
    connect(effect, &QSoundEffect::loopsRemainingChanged, this, &AlarmSound::loopPlayed);
    // A device can refuse the stream outright; a server that dies says nothing here.
    connect(effect, &QSoundEffect::statusChanged, this, [this] {
        if (effect->status() == QSoundEffect::Error)
            toneStalled();
    });
    connect(effect, &QSoundEffect::playingChanged, this, [this] {
        if (!effect->isPlaying() && effect->status() != QSoundEffect::Error) {
            loopsLeft = loopsPerPlay;
            effect->play();
        }
    });
    effect->setSource(QUrl(QStringLiteral("qrc:/sound/alarm.wav")));
    effect->play();
    watchdog->start(firstLoopDueMs);
}

void AlarmSound::dropTone()
{
    watchdog->stop();
    if (!effect)
        return;
    disconnect(effect, nullptr, this, nullptr);
    effect->stop();
    effect->deleteLater();
    effect = nullptr;
}

void AlarmSound::loopPlayed()
{
    // The count is also set when a play starts; only a loop played out lowers it.
    const int left = effect->loopsRemaining();
    if (left >= loopsLeft)
        return;
    loopsLeft = left;
    watchdog->start(loopDueMs);
    if (!toneWorks) {
        trustTone(true);
        ServiceLog::write("alarm", QStringLiteral("audio output back, using the alarm tone"));
        apply();
    }
}

void AlarmSound::toneStalled()
{
    dropTone();
    if (toneWorks) {
        trustTone(false);
        ServiceLog::write("alarm", QStringLiteral("audio output lost, using the system beep"));
    }
    apply();
}

void AlarmSound::trustTone(bool works)
{
    toneWorks = works;
    emit outputChanged();
}
