// Transferring a record from one handle into a write handle.
#include "core/error.hpp"
#include "core/record.hpp"
#include "writer/writer.hpp"

extern "C" {

// The copy keeps every line of the source record with its line break; the
// lines' texts are cut to their heads (tiCopy), so that ckpPuts writes each
// property once, from the property lists, on the line it was read from.
int ckpXfer(ckpInfo* source, ckpInfo* destination) {
    if (source == nullptr) {
        tiSetError("no source to ckpXfer");
        return 0;
    }
    if (!tiCheckWrite(destination, "ckpXfer", 1, 1)) {
        return 0;
    }
    return tiCopy(source, destination);
}
}
