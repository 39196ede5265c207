#pragma once

// How fast the concentrator is polled. The standard pace gives every request its whole second;
// fast polling sends the next request as soon as the answer is in or its window has closed,
// after a short gap that a slow concentrator may need. Kept in the per-user settings.
struct PollingPace
{
    static constexpr int kDefaultGapMs = 50;
    static constexpr int kLongestGapMs = 5000;

    bool fast = false;
    int minGapMs = kDefaultGapMs;

    // A gap that is not a number in 0..kLongestGapMs counts as the default.
    static PollingPace load();
    // Written at once; a failure is shown by the station, and the pace is in force all the same.
    void save() const;
};
