// The input buffer of a read stream. A stream the library opened is read in
// whole blocks; a standard stream, which its owner may read on after the
// library, is taken one line at a time, so that the library never holds
// input beyond the line it is reading.
#include "reader/input.hpp"

#include <cerrno>
#include <cstring>

#include "core/handle.hpp"
#include "core/lookup.hpp"
#include "support/platform.hpp"

namespace {
std::size_t available(const ckpFile* file) {
    return file->inEnd - file->inPos;
}

// Up to the next LF, one character at a time.
std::size_t takeLine(std::FILE* stream, char* to, std::size_t room) {
    std::size_t n = 0;
    while (n < room) {
        int c = platform::getcUnlocked(stream);
        if (c == EOF) {
            break;
        }
        to[n++] = static_cast<char>(c);
        if (c == '\n') {
            break;
        }
    }
    return n;
}

// Makes at least `want` bytes available unless the stream ends or fails
// first; false when not one more byte could be taken.
bool fill(ckpFile* file, std::size_t want) {
    while (available(file) < want) {
        if (file->inPos > 0) {
            std::memmove(file->inBuffer, file->inBuffer + file->inPos, available(file));
            file->inEnd -= file->inPos;
            file->inPos = 0;
        }
        char* to = file->inBuffer + file->inEnd;
        std::size_t room = ckpInputSize - file->inEnd;
        std::size_t n = tiIsStdStream(file->stream)
                            ? takeLine(file->stream, to, room)
                            : platform::freadUnlocked(to, room, file->stream);
        if (n == 0) {
            return false;
        }
        file->inEnd += n;
    }
    return true;
}

// After a piece of exactly 510 characters the line end that follows belongs
// to it, so that such a line reads as one line and not as a line and an
// empty one. A CR LF after the piece counts the same (the CR is dropped, as
// for every CR before the final LF), and *crDropped tells so: that was the
// line's one CR before its LF, and a CR that ends the piece stays. A CR
// followed by anything else stays for the next piece.
bool takeLineEnd(ckpFile* file, char* text, int* length, bool* crDropped) {
    if (!fill(file, 1)) {
        return false;
    }
    const char* at = file->inBuffer + file->inPos;
    std::size_t end = 0;
    if (at[0] == '\n') {
        end = 1;
    } else if (at[0] == '\r' && fill(file, 2) && file->inBuffer[file->inPos + 1] == '\n') {
        end = 2;
    }
    if (end == 0) {
        return false;
    }
    file->inPos += end;
    *crDropped = end == 2;
    text[(*length)++] = '\n';
    return true;
}

// What an empty read means: the end of the stream, or its failure.
tiPiece nothingRead(std::FILE* stream, int* errnumOut) {
    *errnumOut = errno;
    if (std::ferror(stream)) {
        return tiPiece::Error;
    }
    return std::feof(stream) ? tiPiece::End : tiPiece::Error;
}
} // namespace

tiPiece tiReadPiece(ckpFile* file, char* text, int* errnumOut, int* nulOut) {
    std::FILE* stream = file->stream;
    *nulOut = 0;
    if (file->inBuffer == nullptr) {
        *errnumOut = 0; // a stream that was not opened for reading
        return tiPiece::Error;
    }
    // The error flag is sticky: cleared first, it tells of this read only.
    if (std::ferror(stream)) {
        std::clearerr(stream);
    }
    errno = 0;
    int length = 0;
    bool lineEnd = false;
    bool crDropped = false;
    while (!lineEnd && length < ckpLinePiece && fill(file, 1)) {
        const char* from = file->inBuffer + file->inPos;
        std::size_t take = available(file);
        if (take > static_cast<std::size_t>(ckpLinePiece - length)) {
            take = static_cast<std::size_t>(ckpLinePiece - length);
        }
        const void* lf = std::memchr(from, '\n', take);
        if (lf != nullptr) {
            take = static_cast<std::size_t>(static_cast<const char*>(lf) - from) + 1;
            lineEnd = true;
        }
        std::memcpy(text + length, from, take);
        file->inPos += take;
        length += static_cast<int>(take);
    }
    if (!lineEnd && length == ckpLinePiece) {
        lineEnd = takeLineEnd(file, text, &length, &crDropped);
    }
    if (length == 0) {
        return nothingRead(stream, errnumOut);
    }
    // A NUL byte is malformed input: the text ends there and the rest of
    // the piece is dropped, so that the line becomes a syntax error instead
    // of hiding text behind a terminator.
    const void* nul = std::memchr(text, '\0', static_cast<std::size_t>(length));
    if (nul != nullptr) {
        *nulOut = 1;
        return tiPiece::Read;
    }
    // CR LF reads as LF; any other CR stays.
    if (lineEnd && !crDropped && length >= 2 && text[length - 2] == '\r') {
        text[length - 2] = '\n';
        --length;
    }
    text[length] = '\0';
    return tiPiece::Read;
}

void tiDropInput(ckpFile* file) {
    file->inPos = 0;
    file->inEnd = 0;
}
