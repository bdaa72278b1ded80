#include "ui/views/RollingPicture.h"

#include <algorithm>
#include <cassert>

namespace velkor::ui {

namespace {
constexpr QRgb kBlack = 0xFF000000u;
}

RollingPicture::RollingPicture() : columns_(static_cast<std::size_t>(kWidth) * kDrawnRows, kBlack) {
  lastRow_.fill(kBlack);
}

void RollingPicture::Clear() {
  std::fill(columns_.begin(), columns_.end(), kBlack);
  ++generation_;
}

void RollingPicture::DrawColumn(std::uint32_t traceMask, std::uint32_t eventMask,
                                const std::array<QRgb, 4>& colours) {
  // The oldest column falls off the left edge and its slot becomes the newest.
  QRgb* column = &columns_[static_cast<std::size_t>(oldest_) * kDrawnRows];
  if (++oldest_ == kWidth) oldest_ = 0;
  std::fill(column, column + kDrawnRows, kBlack);
  for (int k = 0; k < 4; ++k) {
    const bool trace = (traceMask >> k) & 1u;
    const bool event = (eventMask >> k) & 1u;
    QRgb* band = column + k * kBandHeight;
    if (trace && event) {
      std::fill(band + kHighLine, band + kLowLine + 1, colours[k]);
    } else if (trace) {
      band[kLowLine] = colours[k];
    } else if (event) {
      band[kHighLine] = colours[k];
    }
  }
  ++generation_;
}

QRgb RollingPicture::Pixel(int x, int y) const {
  assert(x >= 0 && x < kWidth && y >= 0 && y < kHeight);
  return y < kDrawnRows ? Column(x)[y] : lastRow_[x];
}

void RollingPicture::Render(QImage& target, QRect area, QPoint at) const {
  const QRect picture(0, 0, kWidth, kHeight);
  const QRect clipped = area & picture;
  if (clipped.isEmpty()) return;
  const QPoint offset = at - area.topLeft();
  const QRect into = (clipped.translated(offset) & target.rect()).translated(-offset);
  if (into.isEmpty()) return;
  assert(target.depth() == 32);
  const int bytesPerLine = static_cast<int>(target.bytesPerLine());
  uchar* bits = target.bits();
  auto row = [&](int y) { return reinterpret_cast<QRgb*>(bits + (y + offset.y()) * bytesPerLine) + offset.x(); };
  const int drawnBottom = std::min(into.bottom(), kDrawnRows - 1);
  // Column by column: each column is contiguous in the ring.
  for (int x = into.left(); x <= into.right(); ++x) {
    const QRgb* column = Column(x);
    for (int y = into.top(); y <= drawnBottom; ++y) row(y)[x] = column[y];
  }
  if (into.bottom() >= kDrawnRows) {
    QRgb* out = row(kDrawnRows);
    std::copy(lastRow_.begin() + into.left(), lastRow_.begin() + into.right() + 1, out + into.left());
  }
}

QImage RollingPicture::ToImage() const {
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  Render(image, image.rect(), QPoint(0, 0));
  return image;
}

}  // namespace velkor::ui
