#pragma once

namespace quorvel {

// Scroll-bar requests, with the Win32 SB_* codes.
enum ScrollRequest {
    kLineBack = 0,       // SB_LINELEFT / SB_LINEUP
    kLineForward = 1,    // SB_LINERIGHT / SB_LINEDOWN
    kPageBack = 2,       // SB_PAGELEFT / SB_PAGEUP
    kPageForward = 3,    // SB_PAGERIGHT / SB_PAGEDOWN
    kThumbPosition = 4,  // SB_THUMBPOSITION
    kThumbTrack = 5,     // SB_THUMBTRACK
    kToStart = 6,        // SB_LEFT / SB_TOP
    kToEnd = 7,          // SB_RIGHT / SB_BOTTOM
    kEndScroll = 8,      // SB_ENDSCROLL
};

// The arithmetic of a dialog that may be smaller than its template: the whole
// content scrolls in columns of 8 pixels and rows of 4, a horizontal page is
// 8 columns and a vertical page the whole vertical range, every resize returns
// the view to the origin, and the size grip shows only while nothing needs
// scrolling (and the window is not maximised).
class ScrollModel {
  public:
    static constexpr int kColumn = 8;
    static constexpr int kRow = 4;
    static constexpr int kHorizontalPage = 8;

    // Records the client size the template produced.
    void Initialize(int width, int height);
    // A resize to a client of width x height: back to the origin, new ranges.
    // Ignored before Initialize.
    void Resize(int width, int height, bool maximized);
    // Applies a request; returns the step taken (columns or rows).
    int ScrollHorizontally(int request, int thumb = 0);
    int ScrollVertically(int request, int thumb = 0);

    // The content's offset in pixels (zero or negative).
    int OffsetX() const { return -m_nHorzPos * kColumn; }
    int OffsetY() const { return -m_nVertPos * kRow; }
    bool GripVisible() const { return m_bGripVisible; }

    int m_nHorzRange = 0;
    int m_nVertRange = 0;
    int m_nVertMax = 0;
    int m_nHorzMax = 0;
    int m_nVertPos = 0;
    int m_nHorzPos = 0;
    int m_initialWidth = 0;
    int m_initialHeight = 0;
    int m_bInitialized = 0;

  private:
    static int Clamp(int step, int position, int maximum);
    static int Step(int request, int thumb, int& position, int maximum, int page);
    bool m_bGripVisible = true;
};

}  // namespace quorvel
