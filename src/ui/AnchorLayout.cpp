#include "ui/AnchorLayout.h"

#include <cmath>
#include <limits>

namespace pg {

namespace {

// The x87 unit keeps intermediates in extended precision; every step of the proportional layout
// must be rounded to double, or a left of 100 in a 400-wide window would come back as 100
// instead of 99.
double RoundedToDouble(double value)
{
    volatile double stored = value;
    return stored;
}

// Truncation toward zero that stays defined for every double: a ratio taken at a degenerate
// registration (control at the window's far edge, or an empty window) yields no finite number,
// and the side then stays where it is.
std::int32_t TruncatedOr(double value, std::int32_t fallback)
{
    if (!std::isfinite(value))
        return fallback;
    if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (value <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

double RegistrationRatio(std::int32_t nearSide, std::int32_t windowSize)
{
    const double remaining = RoundedToDouble(static_cast<double>(windowSize) - static_cast<double>(nearSide));
    return RoundedToDouble(static_cast<double>(nearSide) / remaining);
}

std::int32_t ProportionalNearSide(std::int32_t newSize, double ratio, std::int32_t current)
{
    const double scaled = RoundedToDouble(static_cast<double>(newSize) * ratio);
    const double divisor = RoundedToDouble(ratio + 1.0);
    return TruncatedOr(RoundedToDouble(scaled / divisor), current);
}

// One direction of the layout: near/far are left/right or top/bottom.
void MoveSides(std::int32_t mode, std::int32_t delta, std::int32_t newSize, double ratio,
               std::int32_t& nearSide, std::int32_t& farSide)
{
    switch (mode) {
    case ANCHOR_STRETCH:
        farSide += delta;
        break;
    case ANCHOR_MOVE:
        nearSide += delta;
        farSide += delta;
        break;
    case ANCHOR_PROPORTIONAL: {
        const std::int32_t size = farSide - nearSide;
        nearSide = ProportionalNearSide(newSize, ratio, nearSide);
        farSide = nearSide + size;
        break;
    }
    default:
        break;
    }
}

} // namespace

Anchor MakeAnchor(std::int32_t id, std::int32_t hMode, std::int32_t vMode, const Rect& controlRect,
                  bool excludeFromErase, const Rect& window)
{
    Anchor anchor;
    anchor.id = id;
    anchor.hMode = hMode;
    anchor.vMode = vMode;
    anchor.rect = controlRect;
    anchor.excludeFromErase = excludeFromErase;
    if (hMode == ANCHOR_PROPORTIONAL)
        anchor.xRatio = RegistrationRatio(controlRect.left, window.Width());
    if (vMode == ANCHOR_PROPORTIONAL)
        anchor.yRatio = RegistrationRatio(controlRect.top, window.Height());
    return anchor;
}

Rect AnchoredRect(const Anchor& anchor, const Rect& oldWindow, std::int32_t newWidth, std::int32_t newHeight)
{
    Rect result = anchor.rect;
    MoveSides(anchor.hMode, newWidth - oldWindow.Width(), newWidth, anchor.xRatio, result.left, result.right);
    MoveSides(anchor.vMode, newHeight - oldWindow.Height(), newHeight, anchor.yRatio, result.top,
              result.bottom);
    return result;
}

std::vector<AnchorMove> LayoutAnchors(std::vector<Anchor>& anchors, const Rect& oldWindow,
                                      const Rect& newWindow)
{
    std::vector<AnchorMove> moves;
    for (std::size_t i = 0; i < anchors.size(); ++i) {
        const Rect rect = AnchoredRect(anchors[i], oldWindow, newWindow.Width(), newWindow.Height());
        if (rect == anchors[i].rect)
            continue;
        anchors[i].rect = rect;
        moves.push_back({i, anchors[i].id, rect});
    }
    return moves;
}

Rect PlaceGrip(const Rect& client, const Rect& grip)
{
    const std::int32_t left = client.right + grip.left - grip.right;
    const std::int32_t top = client.bottom + grip.top - grip.bottom;
    return {left, top, left + grip.Width(), top + grip.Height()};
}

void ApplySizeLimits(TrackLimits& limits, const SizeLimits& size)
{
    if (!size.initDone)
        return;
    limits.minTrackSize = {size.initWidth, size.initHeight};
    if (size.allowWidth == 0) {
        limits.maxSize.x = size.initWidth;
        limits.maxTrackSize.x = size.initWidth;
    }
    if (size.allowHeight == 0) {
        limits.maxSize.y = size.initHeight;
        limits.maxTrackSize.y = size.initHeight;
    }
}

} // namespace pg
