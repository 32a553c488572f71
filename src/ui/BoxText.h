#pragma once

#include <QString>
#include <string_view>

namespace quorvel {

// Turns the bytes of a transmit or receive box into the text it shows: one
// character per byte (Latin-1, as a single-byte edit box shows them), so that
// bytes from mismatched line settings stay countable, and a line break for CR
// LF, a lone CR or a lone LF. A CR LF split between two appends is still one
// break: the decoder remembers a CR at the end of what it last decoded.
class BoxText {
  public:
    QString Decode(std::string_view bytes);
    // The box was emptied: nothing went before.
    void Reset() { m_afterCr = false; }

  private:
    bool m_afterCr = false;  // the last byte decoded was a CR
};

}  // namespace quorvel
