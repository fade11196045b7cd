#pragma once

// Where a live stream's pictures go: the native window whose handle the caller gave. One small
// interface per platform (X11 through xcb in draw_xcb.cpp; a GDI version for Windows implements
// the same four calls with GetClientRect, a DIB section and BitBlt), chosen at build time.
// A target is used by one thread at a time.

#include <cstdint>
#include <memory>

namespace netsdk {

class DrawTarget
{
public:
    virtual ~DrawTarget() = default;

    /// The window's size in pixels now; false once the window is gone (drawing stops for good).
    /// Also waits until the previous picture has left the image returned by image().
    virtual bool size(int& width, int& height) = 0;
    /// Room for a width x height picture, 32 bits a pixel in memory order B, G, R, unused;
    /// `stride` receives the bytes per row. Valid until present(); null when there is no room.
    virtual std::uint8_t* image(int width, int height, int& stride) = 0;
    /// Shows what was written into image() in the window's top left corner.
    virtual bool present() = 0;
    /// Paints the whole window black.
    virtual void clear() = 0;
};

/// A target for the native window `window` (X11: the window id), or null when this build or the
/// display cannot draw there (no display, an unknown window, a pixel format it does not handle).
std::unique_ptr<DrawTarget> openDrawTarget(void* window);

} // namespace netsdk
