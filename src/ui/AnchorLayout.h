#pragma once
// Rectangle arithmetic of the resizable dialog: anchored controls follow changes of the window
// size. The window glue only reads rectangles and hands the results to DeferWindowPos.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pg {

struct Rect
{
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    std::int32_t Width() const { return right - left; }
    std::int32_t Height() const { return bottom - top; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// Anchor modes; the same numbers serve both directions. Any other number acts like ANCHOR_FIXED.
constexpr std::int32_t ANCHOR_FIXED = 0;
constexpr std::int32_t ANCHOR_STRETCH = 1;      // far side follows the window edge
constexpr std::int32_t ANCHOR_MOVE = 2;         // both sides follow the window edge
constexpr std::int32_t ANCHOR_PROPORTIONAL = 3; // near side keeps its fraction of the window size

constexpr std::int32_t GRIP_CONTROL_ID = 17733;

struct Anchor
{
    std::int32_t id = 0;
    std::int32_t hMode = ANCHOR_FIXED;
    std::int32_t vMode = ANCHOR_FIXED;
    Rect rect; // client coordinates, as of the last layout
    bool excludeFromErase = false;
    double xRatio = 0.0; // horizontal mode 3 only
    double yRatio = 0.0; // vertical mode 3 only
};

// The record for a control registered while the dialog's window rectangle is `window`.
Anchor MakeAnchor(std::int32_t id, std::int32_t hMode, std::int32_t vMode, const Rect& controlRect,
                  bool excludeFromErase, const Rect& window);

// Where the anchor's control goes when the window changes from `oldWindow` to the new size.
Rect AnchoredRect(const Anchor& anchor, const Rect& oldWindow, std::int32_t newWidth, std::int32_t newHeight);

struct AnchorMove
{
    std::size_t index; // position in the anchor table
    std::int32_t id;
    Rect rect;
};

// Lays out every anchor for the change from `oldWindow` to `newWindow`, stores the new rectangles
// and returns the controls that have to move, in table order; unchanged ones are left out.
std::vector<AnchorMove> LayoutAnchors(std::vector<Anchor>& anchors, const Rect& oldWindow,
                                      const Rect& newWindow);

// Where the size grip goes so that its right and bottom edges meet the client area's, size kept.
Rect PlaceGrip(const Rect& client, const Rect& grip);

// The window's tracking limits, shaped like the system's MINMAXINFO.
struct Point32
{
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const Point32&, const Point32&) = default;
};

struct TrackLimits
{
    Point32 reserved;
    Point32 maxSize;
    Point32 maxPosition;
    Point32 minTrackSize;
    Point32 maxTrackSize;
};

struct SizeLimits
{
    bool initDone = false;
    std::int32_t initWidth = 0;
    std::int32_t initHeight = 0;
    std::int32_t allowWidth = 1;
    std::int32_t allowHeight = 1;
};

// Never smaller than the opening size, and a direction that is not allowed is held at it.
// Before the dialog has finished its initialisation the system's values stay untouched.
void ApplySizeLimits(TrackLimits& limits, const SizeLimits& size);

} // namespace pg
