#pragma once

#include <QObject>

class QSoundEffect;
class QTimer;

// The repeating alarm tone. Nothing of the audio machinery is made until the first alarm
// sounds, so start-up does not pay for it; without an audio output the system beep repeats
// instead.
class AlarmSound : public QObject
{
    Q_OBJECT

public:
    explicit AlarmSound(QObject *parent = nullptr);

    // The per-user setting "alarm/sound" (QSettings "Kestro"/"station"), default true;
    // setEnabled stores it.
    void setEnabled(bool enabled);
    bool isEnabled() const;
    // True while some alarm is unacknowledged and not silenced; the owner says so on every
    // change.
    void setSounding(bool sounding);
    // Making sound now (enabled and sounding).
    bool isSounding() const;
    // No audio output was found: the system beep repeats instead.
    bool usesSystemBeep() const;

private:
    void apply();
    void makeEffect();
    void fallBackToBeep();

    bool enabled;
    bool sounding = false;
    QSoundEffect *effect = nullptr;
    QTimer *beepTimer = nullptr;
};
