#pragma once

#include <QRect>
#include <QSize>

#include <vector>

// Where Cascade and Tile put the child windows of the client area, apart from any window. Each
// window is given with its minimum size; no window is made smaller than that, even where it
// then overlaps its neighbours or reaches past the client area.
class CMDILayout {
public:
    // Cascade: one common size for every window, the client area less as many title-bar steps
    // as fit into a third of its height, so that a window keeps about two thirds of the area
    // whatever their number. Each window lies one step lower and further right than the one
    // before, starting again at the top left once the steps are used up. The windows are given
    // bottom first: the last one ends up in front.
    static std::vector<QRect> Cascade(QSize client, const std::vector<QSize>& minimums, int nStep);
    // Tile: a grid of about the square root of the number of windows; horizontally the
    // windows of a column lie one above the other (the later columns taking one window more
    // when the count does not divide), vertically the same with rows and columns swapped.
    // Two or three windows are strips across the whole width or height.
    static std::vector<QRect> Tile(QSize client, const std::vector<QSize>& minimums,
                                   bool bHorizontal);
};
