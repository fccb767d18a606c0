#include "ui/tab_order.h"

namespace {

bool IsStop(const std::vector<bool>& isTabStop, int i) {
    return i >= 0 && i < static_cast<int>(isTabStop.size()) && isTabStop[i];
}

int FirstStop(const std::vector<bool>& isTabStop) {
    for (int i = 0; i < static_cast<int>(isTabStop.size()); ++i)
        if (isTabStop[i])
            return i;
    return -1;
}

int LastStop(const std::vector<bool>& isTabStop) {
    for (int i = static_cast<int>(isTabStop.size()) - 1; i >= 0; --i)
        if (isTabStop[i])
            return i;
    return -1;
}

} // namespace

int NextTabStop(const std::vector<bool>& isTabStop, int focus) {
    if (focus < 0)
        return FirstStop(isTabStop);
    if (!IsStop(isTabStop, focus))
        return -1;
    for (int i = focus + 1; i < static_cast<int>(isTabStop.size()); ++i)
        if (isTabStop[i])
            return i;
    return FirstStop(isTabStop);
}

int PreviousTabStop(const std::vector<bool>& isTabStop, int focus) {
    if (IsStop(isTabStop, focus))
        for (int i = focus - 1; i >= 0; --i)
            if (isTabStop[i])
                return i;
    return LastStop(isTabStop);
}
