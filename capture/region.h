// The choice of the rectangle a capture takes: ordering, cutting to the screen and the
// monitors, and snapping to the window under a point. Pure arithmetic, no drawing and no
// system calls.
#pragma once
#include <windows.h>

#include <vector>

// Swaps the edges of r where needed so that left <= right and top <= bottom.
void OrderRect(RECT& r);

// Cuts r (ordered, on the virtual screen) to screen; false when r had an area and nothing of
// it is left. A region without area stays one, at the nearest edge.
bool CutToScreen(RECT& r, const RECT& screen);

// How much of a region the monitors show.
enum class Shown { Whole, Part, Nothing };
// Cuts r (ordered, with an area) to the bounding box of what the monitors show of it. Part
// when something was cut away or the box still holds pixels no monitor shows (they come out
// black); Nothing, and r unchanged, when no monitor shows any of it.
Shown CutToMonitors(RECT& r, const std::vector<RECT>& monitors);

// The pointer stops on a monitor's last column and row, while a selection's right and bottom
// edges are exclusive: a selection (ordered) that has width or height and whose bottom-right
// corner lies on a monitor's last column or row, with no monitor beyond, takes it in. A click
// without movement stays empty.
void ReachEdges(RECT& r, const std::vector<RECT>& monitors);

// What the system says of a window, for the snap list.
struct WindowFacts {
    RECT rect;          // extended frame bounds where the system gives them, else the window's
    bool visible;       // shown, with every ancestor
    bool minimized;
    bool cloaked;       // on another virtual desktop, or a suspended app
    bool ours;          // one of this program's windows
    bool shellDesktop;  // the shell's desktop windows, which stand for no window
    bool clickThrough;  // WS_EX_TRANSPARENT
    bool invisibleLayer;  // layered and fully transparent
};

// A window the pointer can snap to: its rectangle on the virtual screen, cut to the window that
// holds it, and that window's index in the list (-1 for a top-level window).
struct SnapWindow {
    RECT rect;
    int parent;
};
// Top-level windows from the top of the z-order down, each followed by its children, in turn
// from the top down.
using SnapList = std::vector<SnapWindow>;

// Adds the window to the list unless it is one to leave out; its rectangle cut to its parent's.
// Returns its index, or -1 when it was left out (and so are its children).
int AddSnapWindow(SnapList& list, const WindowFacts& facts, int parent);

// The innermost window of the list under pt (the topmost top-level window holding it, then its
// topmost child holding it, and so on), or -1 over none.
int SnapWindowAt(const SnapList& list, POINT pt);

// How many windows hold the window at index (0 for a top-level one).
int SnapDepth(const SnapList& list, int index);

// The rectangle a click at pt takes: the innermost window under it widened by `wider` steps
// toward its top-level window, or, over no window, the monitor under pt; cut to screen.
RECT SnapRect(const SnapList& list, const std::vector<RECT>& monitors, POINT pt, int wider,
              const RECT& screen);
