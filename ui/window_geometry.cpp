#include "ui/window_geometry.h"

#include <algorithm>

namespace {

constexpr uint32_t kCentreOnScreen = 0x1;
constexpr uint32_t kCentreOnActive = 0x2;
constexpr uint32_t kCreateHidden = 0x10000000; // the position of WS_VISIBLE
constexpr uint32_t kCaption = 0x00C00000;      // WS_CAPTION

} // namespace

WindowFlags DecodeWindowFlags(uint32_t flags) {
    WindowFlags result{};
    if (flags & kCentreOnActive)
        result.centring = Centring::OnActiveWindow;
    else if (flags & kCentreOnScreen)
        result.centring = Centring::OnScreen;
    else
        result.centring = Centring::None;
    flags &= ~(kCentreOnScreen | kCentreOnActive);
    if (flags == 0 || flags == kCreateHidden)
        flags |= kCaption;
    // Present means hidden, absent means visible: flip the bit.
    result.style = flags ^ kCreateHidden;
    return result;
}

Point CentreOnScreen(int32_t outerWidth, int32_t outerHeight, int32_t screenWidth,
                     int32_t screenHeight) {
    return {screenWidth / 2 - std::min(outerWidth, screenWidth) / 2,
            screenHeight / 2 - std::min(outerHeight, screenHeight) / 2};
}

Point CentreOnRectangle(int32_t outerWidth, int32_t outerHeight, int32_t left, int32_t top,
                        int32_t right, int32_t bottom) {
    int32_t x = left - outerWidth / 2 + (right - left) / 2;
    int32_t y = top - outerHeight / 2 + (bottom - top) / 2;
    return {std::max(x, 0), std::max(y, 0)};
}
