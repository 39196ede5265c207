#pragma once

#include "serial/linkcounters.h"
#include "serial/modbusframe.h"

#include <QByteArray>

// Decides which received bursts count as the answer to the request in flight.
// A frame says nothing about the request it answers, so only a burst that began
// and ended while the request's window was open can be its answer; anything else
// is dropped as late. Plain state, no timers: the link feeds it the events.
class AnswerWindow
{
public:
    enum class Burst {
        Decoded,   // the window's first valid answer; registers filled
        Rejected,  // damaged or malformed; counted
        Ambiguous, // a second valid answer: neither can be trusted
        Late,      // arrived while no window was open
    };

    // The request has been sent.
    void open();
    bool isOpen() const { return windowOpen; }

    // One whole burst, ended by a quiet line. Registers are written only for Decoded.
    Burst take(const QByteArray &bytes, ModbusFrame::Registers *registers);

    // Bytes that began outside the window and were cut off when it opened.
    void dropPartial() { ++counts.lateDropped; }

    // Closes the window; true when it holds exactly one valid answer and nothing is still
    // arriving. `gathering` says a burst is: it will be counted as late, not as no answer.
    bool close(bool gathering);

    // Closing the port ends the window without a reading and counts nothing.
    void abandon();

    // Consecutive closed windows without a reading.
    int windowsWithoutReading() const { return silentWindows; }

    const LinkCounters &counters() const { return counts; }
    void resetCounters();

private:
    bool windowOpen = false;
    int burstsInWindow = 0;
    int validInWindow = 0;
    int silentWindows = 0;
    LinkCounters counts;
};
