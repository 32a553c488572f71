#pragma once

#include <filesystem>
#include <istream>
#include <string>

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

enum class ConfigReadResult {
    Complete,    // all eight ports were read (some perhaps only in part)
    EndedEarly,  // the text ended before a port's label; later ports untouched
};

// The file's text for `records`, with "\n" line ends.
std::string FormatConfiguration(const PortRecords& records);

// Reads ports 0 to 7 from `in` into `records`, each value going into its field
// as soon as it is read. Blanks and line breaks are all alike to the reader, so
// joined or split lines read the same. A token that is not an integer ends its
// port's line there and becomes the next port's label. A value outside the
// range of its field is skipped and the field keeps its value. Once port 0 has
// been read, ports 1 to 7 are put on port 0's COM number plus their index, even
// those a short text never reached.
ConfigReadResult ReadConfiguration(std::istream& in, PortRecords& records);

enum class ConfigFileResult { Ok, OpenFailed, ReadFailed, WriteFailed };

// Config > Save: writes the file for `records` to `path`. The new text goes to
// a temporary file beside `path`, which then replaces it, so `path` is always
// either the old file or the complete new one. A symbolic link stays a link:
// the file behind it is the one replaced. In a folder that takes no new file,
// a file that is there is written where it stands. Failures are shown as
// messages.
ConfigFileResult SaveConfigurationFile(const std::filesystem::path& path,
                                       const PortRecords& records);

// Config > Load: reads `path` into `records` (see ReadConfiguration). Only a
// regular file is read, and only its first kMaxConfigurationBytes. Failures
// are shown as messages; ports read before a failure keep what was read.
ConfigFileResult LoadConfigurationFile(const std::filesystem::path& path, PortRecords& records);
inline constexpr std::size_t kMaxConfigurationBytes = 64 * 1024;

}  // namespace quorvel
