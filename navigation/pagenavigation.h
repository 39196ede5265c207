#pragma once

// Where next/previous lead from a device page. Pages 0..13 hold the devices;
// stepping past either end keeps the page shown and pins the index at that end.
struct PageMove
{
    int currentPage;
    bool showPage; // false: leave the shown page as it is

    static constexpr int kFirstPage = 0;
    static constexpr int kLastPage = 13;

    static PageMove next(int currentPage);
    static PageMove previous(int currentPage);
};
