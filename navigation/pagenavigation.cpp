#include "navigation/pagenavigation.h"

PageMove PageMove::next(int currentPage)
{
    const int candidate = currentPage + 1;
    if (candidate >= kFirstPage + 1 && candidate <= kLastPage)
        return {candidate, true};
    return {kLastPage, false};
}

PageMove PageMove::previous(int currentPage)
{
    const int candidate = currentPage - 1;
    if (candidate >= kFirstPage && candidate <= kLastPage)
        return {candidate, true};
    return {kFirstPage, false};
}
