#include "ui/ScrollModel.h"

#include <algorithm>

namespace quorvel {

void ScrollModel::Initialize(int width, int height) {
    m_nVertPos = 0;
    m_nHorzPos = 0;
    m_initialWidth = width;
    m_initialHeight = height;
    m_bInitialized = 1;
}

void ScrollModel::Resize(int width, int height, bool maximized) {
    if (m_bInitialized == 0) {
        return;
    }
    m_nHorzPos = 0;
    m_nVertPos = 0;
    // Integer division truncates toward zero: a remainder of up to 7 pixels
    // across or 3 down is never scrolled into view.
    m_nHorzRange = (m_initialWidth - width) / kColumn;
    m_nVertRange = (m_initialHeight - height) / kRow;
    m_bGripVisible = !(m_nHorzRange > 0 || m_nVertRange > 0 || maximized);
    m_nHorzMax = std::max(m_nHorzRange, 0);
    m_nHorzPos = std::min(m_nHorzPos, m_nHorzMax);
    m_nVertMax = std::max(m_nVertRange, 0);
    m_nVertPos = std::min(m_nVertPos, m_nVertMax);
}

int ScrollModel::Clamp(int step, int position, int maximum) {
    return std::clamp(step, -position, maximum - position);
}

int ScrollModel::Step(int request, int thumb, int& position, int maximum, int page) {
    int step = 0;
    switch (request) {
        case kLineBack:
            step = -1;
            break;
        case kLineForward:
            step = 1;
            break;
        case kPageBack:
            step = -page;
            break;
        case kPageForward:
            step = page;
            break;
        case kThumbTrack:
            step = thumb - position;
            break;
        case kToStart:
            step = -position;
            break;
        case kToEnd:
            step = maximum - position;
            break;
        default:
            break;  // the final thumb position and the end of scrolling add nothing
    }
    step = Clamp(step, position, maximum);
    position += step;
    return step;
}

int ScrollModel::ScrollHorizontally(int request, int thumb) {
    return Step(request, thumb, m_nHorzPos, m_nHorzMax, kHorizontalPage);
}

int ScrollModel::ScrollVertically(int request, int thumb) {
    // A vertical page is the whole range, so one page reaches the top or bottom.
    return Step(request, thumb, m_nVertPos, m_nVertMax, m_nVertRange >= 1 ? m_nVertRange : 1);
}

}  // namespace quorvel
