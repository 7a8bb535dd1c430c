#include "app/framework/MDILayout.h"

#include <algorithm>
#include <cmath>

namespace {

// A window's rectangle: its place, at least its minimum size.
QRect Place(int x, int y, int cx, int cy, QSize minimum) {
    return QRect(x, y, std::max(cx, minimum.width()), std::max(cy, minimum.height()));
}

} // namespace

std::vector<QRect> CMDILayout::Cascade(QSize client, const std::vector<QSize>& minimums,
                                       int nStep) {
    std::vector<QRect> rects;
    const int step = std::max(nStep, 1);
    const int width = std::max(client.width(), 1);
    const int height = std::max(client.height(), 1);
    // The steps take at most a third of the height, so the common size stays usable however
    // many windows there are.
    const int staggers = height / (3 * step);
    const int cx = std::max(width - staggers * step, 1);
    const int cy = std::max(height - staggers * step, 1);
    for (std::size_t i = 0; i < minimums.size(); ++i) {
        const int offset = static_cast<int>(i % static_cast<std::size_t>(staggers + 1)) * step;
        rects.push_back(Place(offset, offset, cx, cy, minimums[i]));
    }
    return rects;
}

std::vector<QRect> CMDILayout::Tile(QSize client, const std::vector<QSize>& minimums,
                                    bool bHorizontal) {
    std::vector<QRect> rects;
    const int n = static_cast<int>(minimums.size());
    if (n == 0) {
        return rects;
    }
    const int width = std::max(client.width(), 1);
    const int height = std::max(client.height(), 1);
    // Horizontally the lines are columns of windows stacked downwards; vertically rows of
    // windows side by side. Both are worked out as lines across the "across" length.
    const int lines = std::max(static_cast<int>(std::sqrt(static_cast<double>(n))), 1);
    const int across = bHorizontal ? width : height;
    const int along = bHorizontal ? height : width;
    int index = 0;
    for (int line = 0; line < lines; ++line) {
        // The later lines take the windows that do not divide evenly.
        const int count = n / lines + (line >= lines - n % lines ? 1 : 0);
        const int from = across * line / lines;
        const int to = across * (line + 1) / lines;
        for (int k = 0; k < count; ++k, ++index) {
            const int start = along * k / count;
            const int end = along * (k + 1) / count;
            const QSize minimum = minimums[static_cast<std::size_t>(index)];
            rects.push_back(bHorizontal ? Place(from, start, to - from, end - start, minimum)
                                        : Place(start, from, end - start, to - from, minimum));
        }
    }
    return rects;
}
