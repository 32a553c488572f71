#include "ui/BoxText.h"

namespace quorvel {

QString BoxText::Decode(std::string_view bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char byte : bytes) {
        if (byte == '\r') {
            text.append(QLatin1Char('\n'));
            m_afterCr = true;
            continue;
        }
        if (byte != '\n' || !m_afterCr) {
            text.append(QLatin1Char(byte));
        }
        m_afterCr = false;
    }
    return text;
}

}  // namespace quorvel
