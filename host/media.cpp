// Start-up of the file table and the clip table, and their part of
// `reelhost info`: the registered media files and the clips cut from them.
#include <cstdio>

#include "host.h"
#include "media/file_table_internal.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"

namespace {

void typeText(OSType t, char out[5]) {
    for (int i = 0; i < 4; ++i) {
        char c = char((t >> (24 - 8 * i)) & 0xFF);
        out[i] = (c >= 32 && c < 127) ? c : '.';
    }
    out[4] = '\0';
}

host::Registrar fileTable(host::Step{300, "file table",
                                     [](const host::Options&) {
                                         InitFileQueue();
                                         return rc::media::fileTable() != nullptr;
                                     },
                                     [] { rc::media::disposeFileTable(); }});

void printFiles(FILE* out) {
    FmFileTable* t = rc::media::fileTable();
    if (!t) return;
    int files = 0;
    for (int32_t id = 1; id <= t->count; ++id)
        if (FindFile(int16_t(id))) ++files;
    std::fprintf(out, "file table: %d files (FileIDs up to %d, %d slots)\n", files, t->count,
                 t->capacity);
    for (int32_t id = 1; id <= t->count; ++id) {
        FmFileRecord* r = rc::media::findFileRec(int16_t(id));
        if (!r) continue;
        char type[5], handler[5];
        typeText(r->type, type);
        typeText(r->handler, handler);
        std::fprintf(out, "  file %d: %s [type %s, handler %s, %d subscriptions%s%s]\n", id,
                     r->spec.name, type, handler, r->subscriptions, r->offline ? ", offline" : "",
                     r->dataState > 1 ? ", open" : "");
    }
}

host::Registrar info(host::InfoSection{300, printFiles});

}  // namespace
