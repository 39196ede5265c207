#pragma once

// What the link has seen since the port was opened by the operator.
struct LinkCounters
{
    int validAnswers = 0;
    int noAnswer = 0;    // a window closed with nothing received in it
    int badCrc = 0;      // right shape, damaged check sum
    int badFrame = 0;    // wrong length, function or byte count
    int lateDropped = 0; // arrived outside its window, or a second answer in one window

    bool operator==(const LinkCounters &other) const
    {
        return validAnswers == other.validAnswers && noAnswer == other.noAnswer &&
               badCrc == other.badCrc && badFrame == other.badFrame &&
               lateDropped == other.lateDropped;
    }
    bool operator!=(const LinkCounters &other) const { return !(*this == other); }
};
