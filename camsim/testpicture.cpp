#include "testpicture.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace camsim {

namespace {

// A 5 x 7 dot font: seven rows of five bits (bit 4 leftmost) per character.
struct Glyph
{
    char c;
    std::uint8_t rows[7];
};
constexpr Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}}, {'_', {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F}},
    {'/', {0x01, 0x01, 0x02, 0x04, 0x08, 0x10, 0x10}},
};

const std::uint8_t* glyph(char c)
{
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const Glyph& g : kFont)
        if (g.c == upper)
            return g.rows;
    return nullptr; // drawn as a space
}

constexpr int kCellDots = 6;  // a 5-dot glyph and a dot of spacing
constexpr int kLineDots = 10; // 7-dot glyphs and three dots of spacing
constexpr int kMarginDots = 4;
constexpr int kLineChars = 20; // the text block is this wide at most

// BT.601 studio range: white, black, magenta (255, 0, 255), neutral chroma.
constexpr std::uint8_t kWhite = 235, kBlack = 16, kNeutral = 128;
constexpr std::uint8_t kMagentaY = 106, kMagentaCb = 202, kMagentaCr = 222;

} // namespace

TestPicture::TestPicture(int width, int height, int frameRate, std::string name, std::string address)
    : width_(width), height_(height), frameRate_(std::max(1, frameRate)), name_(std::move(name)),
      address_(std::move(address))
{
    // Four lines of text fill about 30 % of the height, and never more than half the width.
    scale_ = std::max(1, std::min(height_ * 30 / 100 / (kLineDots * 4 + kMarginDots * 2),
                                  width_ / 2 / (kCellDots * kLineChars + kMarginDots * 2)));
    ramp_.resize(static_cast<std::size_t>(width_));
    for (int x = 0; x < width_; ++x)
        ramp_[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(48 + 96 * x / std::max(1, width_ - 1));
}

void TestPicture::fill(std::uint8_t* y, int yStride, std::uint8_t* u, int uStride, std::uint8_t* v, int vStride, int x0,
                       int y0, int x1, int y1, std::uint8_t luma, std::uint8_t cb, std::uint8_t cr) const
{
    x0 = std::clamp(x0, 0, width_) & ~1;
    x1 = std::clamp(x1, 0, width_) & ~1;
    y0 = std::clamp(y0, 0, height_) & ~1;
    y1 = std::clamp(y1, 0, height_) & ~1;
    if (x1 <= x0 || y1 <= y0)
        return;
    for (int row = y0; row < y1; ++row)
        std::memset(y + static_cast<std::ptrdiff_t>(row) * yStride + x0, luma, static_cast<std::size_t>(x1 - x0));
    for (int row = y0 / 2; row < y1 / 2; ++row) {
        std::memset(u + static_cast<std::ptrdiff_t>(row) * uStride + x0 / 2, cb, static_cast<std::size_t>(x1 - x0) / 2);
        std::memset(v + static_cast<std::ptrdiff_t>(row) * vStride + x0 / 2, cr, static_cast<std::size_t>(x1 - x0) / 2);
    }
}

void TestPicture::text(std::uint8_t* y, int yStride, int left, int top, const std::string& line) const
{
    int x = left;
    for (std::size_t i = 0; i < line.size() && i < std::size_t(kLineChars); ++i, x += kCellDots * scale_) {
        const std::uint8_t* rows = glyph(line[i]);
        if (!rows)
            continue;
        for (int r = 0; r < 7; ++r) {
            for (int c = 0; c < 5; ++c) {
                if (!(rows[r] & (0x10 >> c)))
                    continue;
                const int px = x + c * scale_, py = top + r * scale_;
                if (px + scale_ > width_ || py + scale_ > height_)
                    continue;
                for (int dy = 0; dy < scale_; ++dy)
                    std::memset(y + static_cast<std::ptrdiff_t>(py + dy) * yStride + px, kWhite,
                                static_cast<std::size_t>(scale_));
            }
        }
    }
}

void TestPicture::draw(std::uint32_t number, std::uint64_t timestampMs, std::uint8_t* y, int yStride, std::uint8_t* u,
                       int uStride, std::uint8_t* v, int vStride) const
{
    for (int row = 0; row < height_; ++row)
        std::memcpy(y + static_cast<std::ptrdiff_t>(row) * yStride, ramp_.data(), ramp_.size());
    for (int row = 0; row < height_ / 2; ++row) {
        std::memset(u + static_cast<std::ptrdiff_t>(row) * uStride, kNeutral, static_cast<std::size_t>(width_ / 2));
        std::memset(v + static_cast<std::ptrdiff_t>(row) * vStride, kNeutral, static_cast<std::size_t>(width_ / 2));
    }

    fill(y, yStride, u, uStride, v, vStride, int(width_ * kColourLeft), int(height_ * kColourTop),
         int(width_ * kColourRight), int(height_ * kColourBottom), kMagentaY, kMagentaCb, kMagentaCr);

    const int side = std::max(2, int(height_ * (kBandBottom - kBandTop)));
    const int travel = std::max(1, width_ - side);
    const int step = std::max(1, travel / (4 * frameRate_));
    const int left = int((std::uint64_t(number) * std::uint64_t(step)) % std::uint64_t(travel));
    fill(y, yStride, u, uStride, v, vStride, left, int(height_ * kBandTop), left + side, int(height_ * kBandTop) + side,
         kWhite, kNeutral, kNeutral);

    const int margin = kMarginDots * scale_;
    const int lineHeight = kLineDots * scale_;
    fill(y, yStride, u, uStride, v, vStride, 0, 0, margin * 2 + kCellDots * kLineChars * scale_,
         margin * 2 + 4 * lineHeight, kBlack, kNeutral, kNeutral);
    const std::string lines[4] = {name_, address_, "FRAME " + std::to_string(number),
                                  "MS " + std::to_string(timestampMs)};
    for (int i = 0; i < 4; ++i)
        text(y, yStride, margin, margin + i * lineHeight, lines[i]);
}

} // namespace camsim
