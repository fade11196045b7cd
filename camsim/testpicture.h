#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace camsim {

/// The picture a stream shows, drawn straight into a YUV 4:2:0 frame. Layout, in fractions of
/// the picture so that a scaled screenshot can find it (camsim/README.md, "Test picture"):
/// - a text block at the top left (white on black): camera name, address, "FRAME <n>",
///   "MS <capture time in ms>", within x < 0.5, y < 0.35;
/// - a white square that moves from left to right in the band 0.40 <= y < 0.525 (one crossing
///   in four seconds);
/// - a solid magenta area (RGB 255, 0, 255) at 0.70 <= x < 0.95, 0.55 <= y < 0.90;
/// - a grey ramp everywhere else.
class TestPicture
{
public:
    /// Fractions of the picture, for the screenshot test.
    static constexpr double kColourLeft = 0.70, kColourRight = 0.95, kColourTop = 0.55, kColourBottom = 0.90;
    static constexpr double kTextRight = 0.50, kTextBottom = 0.35;
    static constexpr double kBandTop = 0.40, kBandBottom = 0.525;

    TestPicture(int width, int height, int frameRate, std::string name, std::string address);

    /// Draws frame `number` taken at `timestampMs` into the three planes.
    void draw(std::uint32_t number, std::uint64_t timestampMs, std::uint8_t* y, int yStride, std::uint8_t* u,
              int uStride, std::uint8_t* v, int vStride) const;

private:
    void text(std::uint8_t* y, int yStride, int left, int top, const std::string& line) const;
    void fill(std::uint8_t* y, int yStride, std::uint8_t* u, int uStride, std::uint8_t* v, int vStride, int x0, int y0,
              int x1, int y1, std::uint8_t luma, std::uint8_t cb, std::uint8_t cr) const;

    int width_;
    int height_;
    int frameRate_;
    int scale_; ///< pixels per font dot
    std::string name_;
    std::string address_;
    std::vector<std::uint8_t> ramp_; ///< one row of the background's luma
};

} // namespace camsim
