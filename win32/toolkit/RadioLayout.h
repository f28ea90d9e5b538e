// Where a radio group puts its buttons: columns filled top to bottom, below the caption band.
#pragma once

#include <vector>

#include "ui/Toolkit.h"

namespace radiolayout {

// Left margin of the first column, and what the frame takes on the right.
constexpr int kLeftMargin = 8;
constexpr int kFrameAllowance = 10;
// Room under the last row, above the bottom edge of the frame.
constexpr int kBottomMargin = 4;

// Height of one text line for a font height in the toolkit's convention:
// a negative height is the character height, and a line is two pixels more.
inline int LineHeight(int fontHeight) { return fontHeight < 0 ? 2 - fontHeight : fontHeight; }

// Bounds of each of count buttons relative to the group's top-left corner.
// Items go down the first column, then the second, so a column holds
// ceil(count / columns) items; rows share the height left under the caption,
// and what does not divide evenly is split above and below the rows.
inline std::vector<ui::Bounds> ItemBounds(int count, int columns, int width, int height, int fontHeight) {
  std::vector<ui::Bounds> cells;
  if (count <= 0) return cells;
  if (columns < 1) columns = 1;
  const int perColumn = (count + columns - 1) / columns;
  const int columnWidth = width > kFrameAllowance ? (width - kFrameAllowance) / columns : 0;
  const int captionBand = LineHeight(fontHeight);
  const int usable = height - captionBand - kBottomMargin > 0 ? height - captionBand - kBottomMargin : 0;
  const int rowHeight = usable / perColumn;
  const int top = captionBand + (usable % perColumn) / 2;
  cells.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const int column = i / perColumn;
    const int row = i % perColumn;
    cells.push_back({kLeftMargin + column * columnWidth, top + row * rowHeight, columnWidth, rowHeight});
  }
  return cells;
}

}  // namespace radiolayout
