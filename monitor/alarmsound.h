#pragma once

#include <QObject>

class QSoundEffect;
class QTimer;

// The repeating alarm tone. Nothing of the audio machinery is made until the first alarm
// sounds, so start-up does not pay for it. The tone is trusted only while its loops are seen
// to be played out: an audio output that is missing, or that stops taking the tone (its server
// died), gives the repeating system beep instead, and the tone is tried again until it plays.
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
    // The tone cannot be played: the system beep repeats instead.
    bool usesSystemBeep() const;

signals:
    void outputChanged(); // usesSystemBeep() changed

private:
    void apply();
    void playTone();
    void dropTone();
    void loopPlayed();
    void toneStalled();
    void trustTone(bool works);

    bool enabled;
    bool sounding = false;
    bool outputListed = false;
    bool toneWorks = true;
    QSoundEffect *effect = nullptr;
    int loopsLeft = 0;
    QTimer *watchdog = nullptr;
    QTimer *beepTimer = nullptr;
    QTimer *retryTimer = nullptr;
};
