#pragma once
// The Graphic view's picture: 5000 x 69 pixels, the newest column at x = 4999, each new
// column pushing the others one pixel to the left. A fast replay draws hundreds of thousands
// of columns a second, so the picture is not shifted: it is a ring of columns whose oldest
// one is overwritten by the newest, and every read goes through the ring's start. Read back
// with Pixel() or Render() it is, pixel for pixel, the shifted picture.

#include <QImage>
#include <QRect>
#include <QRgb>
#include <array>
#include <cstdint>
#include <vector>

namespace velkor::ui {

class RollingPicture {
 public:
  static constexpr int kWidth = 5000;
  static constexpr int kHeight = 69;
  // Columns move and are cleared on rows 0 to 67 only: the last row never changes.
  static constexpr int kDrawnRows = 68;
  static constexpr int kBandHeight = 16;
  static constexpr int kHighLine = 6;
  static constexpr int kLowLine = 14;

  RollingPicture();

  // Rows 0 to 67 black over the whole width.
  void Clear();
  // Every column moves one pixel to the left and the newest one is drawn from the masks
  // (bit k for channel k), channel k in colours[k]:
  //   trace only: a dot on the low line; event only: a dot on the high line;
  //   both: a bar from the high line to the low line.
  void DrawColumn(std::uint32_t traceMask, std::uint32_t eventMask, const std::array<QRgb, 4>& colours);

  QRgb Pixel(int x, int y) const;
  // Copies `area` (picture coordinates, clipped to the picture) into `target` (32-bit RGB)
  // with the area's top left corner at `at`.
  void Render(QImage& target, QRect area, QPoint at) const;
  QImage ToImage() const;

  // Counts drawn columns and clears, so a viewer knows when it has something new to show.
  std::uint64_t Generation() const { return generation_; }

 private:
  const QRgb* Column(int x) const {
    int slot = oldest_ + x;
    if (slot >= kWidth) slot -= kWidth;
    return &columns_[static_cast<std::size_t>(slot) * kDrawnRows];
  }

  // kWidth columns of kDrawnRows pixels, each column contiguous; the column at oldest_ is
  // the picture's x = 0.
  std::vector<QRgb> columns_;
  int oldest_ = 0;
  // The last row stays where it is while the columns above it move.
  std::array<QRgb, kWidth> lastRow_;
  std::uint64_t generation_ = 0;
};

}  // namespace velkor::ui
