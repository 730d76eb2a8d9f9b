// Writing an exported file (picture or PDF) so that a failure never costs the old one.
#pragma once

#include <QString>
#include <functional>

class QIODevice;

namespace orvane {

// Lets write produce the file's bytes on a device in memory, then writes them atomically
// (engine/atomic_file.h): the old file is replaced only by a complete new one, and a target
// that is not a regular file (a FIFO would block the program) or a link to nothing is refused.
// Returns an empty text on success, else "Cannot write <what> "<path>": <reason>".
QString writeExportFile(const QString& path, const char* what,
                        const std::function<bool(QIODevice& device)>& write);

}  // namespace orvane
