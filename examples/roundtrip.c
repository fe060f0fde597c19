/* Writes a small checkpoint file, then reads it back and prints each record.
 * Usage: ckp_example_roundtrip FILE */
#include <stdio.h>

#include <ckp/ckp.h>

static int writeFile(const char* path) {
    ckpInfo* out = ckpOpen(path, "W");
    if (out == NULL) {
        fprintf(stderr, "open for writing: %s\n", ckpGetError());
        return 0;
    }
    int ok = ckpCreateHdr(out) && ckpPuts(out);
    ok = ok && ckpRecord(out, " cells of the example library", 1) && ckpPuts(out);
    ok = ok && ckpCreateObj(out, "lib/cell_a") && ckpPutProp(out, "owner", "alice") &&
         ckpPutProp(out, "note", "uses ; and \"quotes\"") && ckpPutProp(out, "frozen", NULL) &&
         ckpPuts(out);
    ok = ok && ckpCreateObj(out, "lib/cell b") && ckpPutProp(out, "owner", "bob") && ckpPuts(out);
    if (ckpClose(out) != 0 || !ok) {
        fprintf(stderr, "writing failed: %s\n", ckpGetError());
        return 0;
    }
    return 1;
}

static int readFile(const char* path) {
    ckpInfo* in = ckpOpen(path, "R");
    if (in == NULL) {
        fprintf(stderr, "open for reading: %s\n", ckpGetError());
        return 0;
    }
    int clean = 1;
    while (ckpGets(in) && ckpGetType(in) != ckpTypeEnd) {
        int type = ckpGetType(in);
        if (type == ckpTypeSyntax) {
            ckpSyntax(in);
            clean = 0;
            continue;
        }
        if (type == ckpTypeError) {
            fprintf(stderr, "read error: %s\n", ckpGetError());
            clean = 0;
            break;
        }
        if (type != ckpTypeObject) {
            continue;
        }
        printf("%s\n", ckpGetObjPath(in));
        int id = 0;
        char* name;
        char* value;
        while (ckpGenProp(in, &id, &name, &value)) {
            printf("  %s = %s\n", name, value != NULL ? value : "(flag)");
        }
    }
    ckpClose(in);
    return clean;
}

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "example.ckpt";
    if (!writeFile(path) || !readFile(path)) {
        return 1;
    }
    return 0;
}
