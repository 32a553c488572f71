#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "config/PortRegistry.h"

namespace quorvel {

// A configuration file holds the line settings of the eight ports, one line a
// port: a label ("SERIAL0" ... "SERIAL7") and fifteen integers in the order
// nBaud nDataBits nParity nStopBits nFlowCtrl nComBase nRS485 nDTR nDTRHys nRTS
// nRTSHys nTxFIFO nTxTrig nRxFIFO nRxTrig. Whether a port is opened for a test,
// its test-run and its pattern settings are not in the file.

// The room the reader keeps for a label; a longer label token is read whole
// and cut to this length (nothing looks at the label).
inline constexpr std::size_t kMaxLabelLength = 8;

// The highest COM number minus one that port 0 can be given by a file: the
// "COM1" ... "COM40" list. The other ports follow it.
inline constexpr std::int32_t kMaxFirstComBase = 39;

// What reading a configuration text found. The text is read as formatted
// stream input reads it (see ReadConfiguration), and in addition:
// - a text holding a control byte other than a tab or a line end (NUL, the
//   bytes of a binary file) is refused whole;
// - a port's record with a value outside its field's range is refused whole:
//   none of its values is taken and the port keeps its settings;
// - a text in which not one port's record reads whole and in range is
//   refused whole.
// A refused text changes no record.
struct ConfigReadReport {
    bool refused = false;           // nothing was changed
    bool endedEarly = false;        // the text ended before a port's label
    int portsReached = 0;           // ports whose label the text reached
    std::vector<int> portsRefused;  // ports (0-7) whose record was refused
    // What is wrong, one entry a problem in the order met, each naming its
    // line ("line 3: ..."); the first names the first offending line.
    std::vector<std::string> problems;

    bool Complete() const { return !refused && !endedEarly && portsRefused.empty(); }
};

// The file's text for `records`, with "\n" line ends.
std::string FormatConfiguration(const PortRecords& records);

// Reads ports 0 to 7 from `text` into `records`. Blanks and line breaks are
// all alike to the reader, so joined or split lines read the same. A token
// that is not an integer ends its port's line there (the values before it are
// taken) and becomes the next port's label. Once the text is taken, ports 1
// to 7 are put on port 0's COM number plus their index, even those a short
// text never reached; the COM numbers a text gives ports 1 to 7 are ignored.
ConfigReadReport ReadConfiguration(std::string_view text, PortRecords& records);

enum class ConfigFileResult {
    Ok,
    OpenFailed,   // the file could not be opened (or is no regular file)
    ReadFailed,   // some ports were taken, others not (a short file, a value out of range)
    Refused,      // not a configuration text: nothing was taken
    WriteFailed,  // Save: the file could not be written whole
};

// Config > Save: writes the file for `records` to `path`. The new text goes to
// a temporary file beside `path`, which then replaces it, so `path` is always
// either the old file or the complete new one. A symbolic link stays a link:
// the file behind it is the one replaced. In a folder that takes no new file,
// a file that is there is written where it stands. Failures are shown as
// messages whose detail names the file and the system's reason.
ConfigFileResult SaveConfigurationFile(const std::filesystem::path& path,
                                       const PortRecords& records);

// Config > Load: reads `path` into `records` (see ReadConfiguration). Only a
// regular file is read, and only its first kMaxConfigurationBytes. Failures
// are shown as messages whose detail names the file and why (the system's
// reason, or the offending lines); the ports taken stay taken. `why`, when
// given, receives the reason without the file's name.
ConfigFileResult LoadConfigurationFile(const std::filesystem::path& path, PortRecords& records,
                                       std::string* why = nullptr);
inline constexpr std::size_t kMaxConfigurationBytes = 64 * 1024;

}  // namespace quorvel
