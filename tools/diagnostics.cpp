#include "diagnostics.hpp"

#include <string>

namespace ckptool {

void printSyntaxError(std::FILE* out, const ckp::SyntaxError& error) {
    std::fprintf(out, "%s:%lld:%d: error: %s\n", error.file.c_str(), error.line, error.column,
                 error.message.c_str());
    std::fprintf(out, "%s\n", error.text.c_str());
    if (error.column > 0) {
        std::string caret(static_cast<std::size_t>(error.column - 1), ' ');
        caret += '^';
        std::fprintf(out, "%s\n", caret.c_str());
    }
}

} // namespace ckptool
