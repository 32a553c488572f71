#pragma once

#include <string>
#include <vector>

#include "engine/PortLines.h"

namespace quorvel {

// The line figures of a port's statistics, in the order the statistics window
// and the CSV give them: the UART's line errors by kind, then the changes of
// each input line.
const std::vector<std::string>& LineFigureTitles();

// A port's line figures as text, one a title; `notAvailable` for each where
// its device has no modem lines.
std::vector<std::string> LineFigureCells(const PortLineFigures& figures,
                                         const std::string& notAvailable);

// "3 framing errors, 1 break", or "none"; "n/a" for a device without lines.
std::string LineErrorsText(const PortLineFigures& figures);
// What a table shows: the number of line errors, or "n/a".
std::string LineErrorCount(const PortLineFigures& figures);

}  // namespace quorvel
