#include "monitor/alarmsound.h"

#include "app/servicelog.h"
#include "config/stationsettings.h"

#include <QApplication>
#include <QAudioDeviceInfo>
#include <QDateTime>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>
#include <cstdio>

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

} // namespace

AlarmSound::AlarmSound(QObject *parent)
    : QObject(parent),
      enabled(StationSettings::open()->value(settingKey, true).toBool())
{
    initialiseToneResource();
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
    return beepTimer != nullptr;
}

void AlarmSound::apply()
{
    const bool on = isSounding();
    if (on && !effect && !beepTimer) {
        // Asked once, on the first sound: the answer is quick, but not free on every platform.
        if (QAudioDeviceInfo::defaultOutputDevice().isNull())
            fallBackToBeep();
        else
            makeEffect();
    }
    if (beepTimer) {
        if (!on)
            beepTimer->stop();
        else if (!beepTimer->isActive()) {
            QApplication::beep();
            beepTimer->start();
        }
    } else if (on) {
        if (!effect->isPlaying())
            effect->play();
    } else if (effect) {
        effect->stop();
    }
}

void AlarmSound::makeEffect()
{
    effect = new QSoundEffect(this);
    effect->setLoopCount(QSoundEffect::Infinite);
    // A device can still refuse the stream after it was listed; that shows only here.
    connect(effect, &QSoundEffect::statusChanged, this, [this] {
        if (effect && effect->status() == QSoundEffect::Error) {
            fallBackToBeep();
            apply();
        }
    });
    effect->setSource(QUrl(QStringLiteral("qrc:/sound/alarm.wav")));
}

void AlarmSound::fallBackToBeep()
{
    if (effect) {
        effect->stop();
        effect->deleteLater();
        effect = nullptr;
    }
    beepTimer = new QTimer(this);
    beepTimer->setInterval(beepPeriodMs);
    connect(beepTimer, &QTimer::timeout, this, [] { QApplication::beep(); });

    static bool logged = false;
    if (logged)
        return;
    logged = true;
    ServiceLog::write("alarm", QStringLiteral("no audio output, using the system beep"));
}
