// Reading the JSON that `ckp json` writes back into values. Strings keep the
// bytes they stand for: the escapes \udc80 to \udcff are the bytes 0x80 to
// 0xFF of a file that were no UTF-8 (the way Python's surrogateescape reads
// them), which a strict JSON library refuses.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace ckptool {

// The values of a text of JSON values one after the other (JSON Lines), or
// the elements of one array. Throws ToolError naming `name` and the line of
// a fault.
std::vector<nlohmann::json> readJsonValues(std::string_view text, const std::string& name);

} // namespace ckptool
