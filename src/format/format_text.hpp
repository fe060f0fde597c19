// The canonical form of a checkpoint file in memory, comments kept.
#pragma once

#include <functional>
#include <string>

#include "ckp/ckp.hpp"
#include "source_lines.hpp"

namespace ckptool {

struct Formatted {
    SourceFile source; // the file as read
    std::string text;  // its canonical form, not to be used when errors > 0
    long errors = 0;
};

using SyntaxErrorSink = std::function<void(const ckp::SyntaxError&)>;

// Reads `file` ("-" standard input) and writes it again in canonical form:
// every record transferred, a header given to a file without one, the
// records of included files left in their own files, every comment kept.
// Each syntax error goes to onError and is counted. Without followIncludes
// an included file is not opened; with rootsOk paths that start at a root are
// accepted (as in setups). Throws ckp::Error or ToolError.
Formatted formatText(const std::string& file, const SyntaxErrorSink& onError,
                     bool followIncludes = true, bool rootsOk = false);

// The same for bytes in memory that stand for the file `name` (an edit
// reads them from the descriptor that it replaces).
Formatted formatBytes(const std::string& name, std::string bytes, const SyntaxErrorSink& onError,
                      bool followIncludes = true, bool rootsOk = false);

} // namespace ckptool
