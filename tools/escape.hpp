// Text from a file shown to a person: a value, a path or a line may hold
// control characters that would drive the terminal (an ESC sequence can
// move the cursor, retitle the window or hide what follows). Every text
// from a file that reaches a human-readable output passes through here.
#pragma once

#include <string>
#include <string_view>

namespace ckptool {

// The text with every control character shown as \xHH: C0 controls but
// the tab, DEL, and C1 controls, whether written as UTF-8 (U+0080 to
// U+009F, each of their two bytes shown) or as single bytes outside any
// UTF-8 sequence. Everything else is kept, backslashes included.
std::string escapeControls(std::string_view text);

} // namespace ckptool
