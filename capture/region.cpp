#include "capture/region.h"

#include <algorithm>
#include <utility>

void OrderRect(RECT& r)
{
    if (r.left > r.right)
        std::swap(r.left, r.right);
    if (r.top > r.bottom)
        std::swap(r.top, r.bottom);
}

bool CutToScreen(RECT& r, const RECT& screen)
{
    const bool hadArea = r.left < r.right && r.top < r.bottom;
    r.left = std::clamp(r.left, screen.left, screen.right);
    r.right = std::clamp(r.right, screen.left, screen.right);
    r.top = std::clamp(r.top, screen.top, screen.bottom);
    r.bottom = std::clamp(r.bottom, screen.top, screen.bottom);
    return !hadArea || (r.left < r.right && r.top < r.bottom);
}

namespace {

bool Holds(const RECT& r, LONG x, LONG y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

bool OnAnyMonitor(const std::vector<RECT>& monitors, LONG x, LONG y)
{
    return std::any_of(monitors.begin(), monitors.end(),
                       [&](const RECT& m) { return Holds(m, x, y); });
}

// Whether the parts in cover leave no pixel of box bare: each cell between their edges is
// tested by one of its pixels.
bool Covers(const std::vector<RECT>& cover, const RECT& box)
{
    std::vector<LONG> xs = {box.left, box.right};
    std::vector<LONG> ys = {box.top, box.bottom};
    for (const RECT& c : cover) {
        xs.insert(xs.end(), {c.left, c.right});
        ys.insert(ys.end(), {c.top, c.bottom});
    }
    std::sort(xs.begin(), xs.end());
    std::sort(ys.begin(), ys.end());
    for (size_t i = 0; i + 1 < xs.size(); ++i)
        for (size_t j = 0; j + 1 < ys.size(); ++j)
            if (xs[i] < xs[i + 1] && ys[j] < ys[j + 1] && Holds(box, xs[i], ys[j]) &&
                !OnAnyMonitor(cover, xs[i], ys[j]))
                return false;
    return true;
}

}  // namespace

Shown CutToMonitors(RECT& r, const std::vector<RECT>& monitors)
{
    std::vector<RECT> shown;
    RECT box = {0, 0, 0, 0};
    for (const RECT& m : monitors) {
        RECT part = {};
        if (!IntersectRect(&part, &r, &m))
            continue;
        shown.push_back(part);
        UnionRect(&box, &box, &part);
    }
    if (shown.empty())
        return Shown::Nothing;
    const bool whole = EqualRect(&box, &r) && Covers(shown, box);
    r = box;
    return whole ? Shown::Whole : Shown::Part;
}

void ReachEdges(RECT& r, const std::vector<RECT>& monitors)
{
    // Judged at the corner pixel the pointer stopped on, before either edge moves.
    const LONG x = r.right;
    const LONG y = r.bottom;
    const bool lastColumn = std::any_of(monitors.begin(), monitors.end(), [&](const RECT& m) {
        return x == m.right - 1 && Holds(m, x, y) && !OnAnyMonitor(monitors, m.right, y);
    });
    const bool lastRow = std::any_of(monitors.begin(), monitors.end(), [&](const RECT& m) {
        return y == m.bottom - 1 && Holds(m, x, y) && !OnAnyMonitor(monitors, x, m.bottom);
    });
    if (lastColumn && r.left < r.right)
        ++r.right;
    if (lastRow && r.top < r.bottom)
        ++r.bottom;
}

int AddSnapWindow(SnapList& list, const WindowFacts& facts, int parent)
{
    if (!facts.visible || facts.minimized || facts.cloaked || facts.ours || facts.shellDesktop ||
        facts.clickThrough || facts.invisibleLayer)
        return -1;
    RECT r = facts.rect;
    if (parent >= 0 && !IntersectRect(&r, &r, &list[static_cast<size_t>(parent)].rect))
        return -1;
    if (IsRectEmpty(&r))
        return -1;
    list.push_back({r, parent});
    return static_cast<int>(list.size()) - 1;
}

int SnapWindowAt(const SnapList& list, POINT pt)
{
    int found = -1;
    // Children follow their parent, the topmost first: the first holder at each level wins.
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i].parent == found && PtInRect(&list[i].rect, pt))
            found = static_cast<int>(i);
        else if (found >= 0 && list[i].parent == -1)
            break;  // past the chosen top-level window's children
    }
    return found;
}

int SnapDepth(const SnapList& list, int index)
{
    int depth = 0;
    for (int i = index; i >= 0 && list[static_cast<size_t>(i)].parent >= 0;
         i = list[static_cast<size_t>(i)].parent)
        ++depth;
    return depth;
}

RECT SnapRect(const SnapList& list, const std::vector<RECT>& monitors, POINT pt, int wider,
              const RECT& screen)
{
    RECT r = {pt.x, pt.y, pt.x, pt.y};
    int index = SnapWindowAt(list, pt);
    for (; index >= 0 && wider > 0 && list[static_cast<size_t>(index)].parent >= 0; --wider)
        index = list[static_cast<size_t>(index)].parent;
    if (index >= 0) {
        r = list[static_cast<size_t>(index)].rect;
    } else {
        const auto monitor = std::find_if(monitors.begin(), monitors.end(),
                                          [&](const RECT& m) { return Holds(m, pt.x, pt.y); });
        if (monitor != monitors.end())
            r = *monitor;
    }
    CutToScreen(r, screen);
    return r;
}
