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

int ScrollModel::ScrollHorizontally(int request, int thumb) {
    int step = 0;
    switch (request) {
        case kLineBack:
            step = -1;
            break;
        case kLineForward:
            step = 1;
            break;
        case kPageBack:
            step = -kHorizontalPage;
            break;
        case kPageForward:
            step = kHorizontalPage;
            break;
        case kThumbTrack:
            step = thumb - m_nHorzPos;
            break;
        case kToStart:
            step = -m_nHorzPos;
            break;
        case kToEnd:
            step = m_nHorzMax - m_nHorzPos;
            break;
        default:
            break;
    }
    step = Clamp(step, m_nHorzPos, m_nHorzMax);
    m_nHorzPos += step;
    return step;
}

int ScrollModel::ScrollVertically(int request, int thumb) {
    const int page = m_nVertRange >= 1 ? m_nVertRange : 1;
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
            step = thumb - m_nVertPos;
            break;
        case kToStart:
            step = -m_nVertPos;
            break;
        case kToEnd:
            step = m_nVertMax - m_nVertPos;
            break;
        default:
            break;
    }
    step = Clamp(step, m_nVertPos, m_nVertMax);
    m_nVertPos += step;
    return step;
}

}  // namespace quorvel
