/* A caller of the installed library: writes a checkpoint file through the C
 * API, reads it back and compares every record with what was written.
 * Usage: consumer FILE. Exits 0 when the round trip is exact, 1 otherwise. */
#include <stdio.h>
#include <string.h>

#include <ckp/ckp.h>

struct prop {
    const char* name;
    const char* value; /* NULL: a flag */
};

struct object {
    const char* path;
    struct prop props[4];
    int count;
};

static const struct object objects[] = {
    {"lib/cell_a", {{"owner", "alice"}, {"note", "a ; b \"quoted\" \\ end"}, {"frozen", NULL}}, 3},
    {"lib/cell b", {{"owner", "bob"}, {"empty", ""}}, 2},
    {"lib/cell_c", {{"x", "1"}}, 1},
};
static const int objectCount = (int)(sizeof objects / sizeof objects[0]);

static int fail(const char* what) {
    fprintf(stderr, "consumer: %s (last error: %s)\n", what, ckpGetError());
    return 0;
}

static int writeAll(const char* path) {
    ckpInfo* out = ckpOpen(path, "W");
    if (out == NULL) {
        return fail("cannot open for writing");
    }
    int ok = ckpCreateHdr(out) && ckpPuts(out);
    for (int i = 0; ok && i < objectCount; ++i) {
        ok = ckpCreateObj(out, objects[i].path);
        for (int p = 0; ok && p < objects[i].count; ++p) {
            ok = ckpPutProp(out, objects[i].props[p].name, objects[i].props[p].value);
        }
        ok = ok && ckpPuts(out);
    }
    if (ckpClose(out) != 0) {
        return fail("closing the written file failed");
    }
    return ok ? 1 : fail("writing a record failed");
}

static int sameValue(const char* got, const char* want) {
    if (got == NULL || want == NULL) {
        return got == want;
    }
    return strcmp(got, want) == 0;
}

static int checkObject(ckpInfo* in, const struct object* want) {
    const char* path = ckpGetObjPath(in);
    if (path == NULL || strcmp(path, want->path) != 0) {
        fprintf(stderr, "consumer: path \"%s\", expected \"%s\"\n", path ? path : "(null)",
                want->path);
        return 0;
    }
    for (int p = 0; p < want->count; ++p) {
        char* value = (char*)"unset";
        if (!ckpGetProp(in, want->props[p].name, &value) ||
            !sameValue(value, want->props[p].value)) {
            fprintf(stderr, "consumer: %s: property %s is \"%s\", expected \"%s\"\n", want->path,
                    want->props[p].name, value ? value : "(flag)",
                    want->props[p].value ? want->props[p].value : "(flag)");
            return 0;
        }
    }
    int id = 0;
    int seen = 0;
    while (ckpGenProp(in, &id, NULL, NULL)) {
        ++seen;
    }
    if (seen != want->count) {
        fprintf(stderr, "consumer: %s has %d properties, expected %d\n", want->path, seen,
                want->count);
        return 0;
    }
    return 1;
}

static int readAll(const char* path) {
    int syntax = -1;
    if (!ckpGetSyntax(NULL, path, &syntax) || syntax != 1) {
        return fail("the written file is not of syntax version 1");
    }
    ckpInfo* in = ckpOpen(path, "R");
    if (in == NULL) {
        return fail("cannot open for reading");
    }
    int ok = ckpGets(in) && ckpGetType(in) == ckpTypeHeader;
    if (!ok) {
        fail("the first record is not the header");
    }
    int next = 0;
    while (ok && ckpGets(in)) {
        int type = ckpGetType(in);
        if (type == ckpTypeEnd) {
            break;
        }
        if (type == ckpTypeComment) {
            continue;
        }
        if (type != ckpTypeObject || next >= objectCount) {
            fprintf(stderr, "consumer: record of type %d where none was written\n", type);
            ok = 0;
            break;
        }
        ok = checkObject(in, &objects[next++]);
    }
    if (ok && next != objectCount) {
        fprintf(stderr, "consumer: read %d objects, wrote %d\n", next, objectCount);
        ok = 0;
    }
    ckpClose(in);
    return ok;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: consumer FILE\n");
        return 2;
    }
    if (!writeAll(argv[1]) || !readAll(argv[1])) {
        return 1;
    }
    printf("consumer: round trip of %d objects through %s passed\n", objectCount, argv[1]);
    return 0;
}
