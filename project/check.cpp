// Listing and checking the sections of a project or settings file.
#include <vector>

#include "project/codec_internal.h"
#include "project/schemas.h"

using namespace rc::project;

namespace {

struct Section {
    OSType tag;
    int32_t position;
    int32_t line;
    int32_t valueLines;
};

struct Fault {
    int32_t line = 0;  // 0: none
    OSType tag = 0;
    const char* reason = nullptr;
};

// Consumes one line end: CR LF, LF CR, or a lone CR or LF.
bool stepLineEnd(StreamRec* s) {
    int c = peekAt(s, 0);
    if (c != '\r' && c != '\n') return false;
    consumeEOL(s);
    return true;
}

// One pass over every line: the sections with their line numbers, and the
// first line that cannot belong to a well-formed file (text before the first
// section, or a line starting with "[" that is not a tag line).
std::vector<Section> scanSections(ProjBufHand stream, Fault& fault) {
    std::vector<Section> sections;
    StreamRec* s = rec(stream);
    ResetFile(stream);
    int32_t line = 1;
    while (!atEndOfData(s)) {
        int32_t at = position(s);
        OSType tag = 0;
        bool isTag = tagAtCursor(s, &tag);
        int32_t span = lineSpan(s, false);
        if (isTag) {
            sections.push_back(Section{tag, at, line, 0});
        } else if (span > 0) {
            if (peekAt(s, 0) == '[' && !fault.line) {
                fault = Fault{line, sections.empty() ? 0 : sections.back().tag,
                              "line starts with \"[\" but is not a tag line"};
            } else if (sections.empty() && !fault.line) {
                fault = Fault{line, 0, "text before the first section"};
            }
            if (!sections.empty()) ++sections.back().valueLines;
        }
        s->pub.cursor += span;
        if (stepLineEnd(s)) ++line;
    }
    return sections;
}

int32_t lineAt(ProjBufHand stream, int32_t position) {
    StreamRec* s = rec(stream);
    ResetFile(stream);
    int32_t line = 1;
    while (!atEndOfData(s) && rc::project::position(s) < position) {
        int32_t span = lineSpan(s, false);
        int32_t left = position - rc::project::position(s);
        if (span >= left) break;
        s->pub.cursor += span;
        if (stepLineEnd(s)) ++line;
    }
    return line;
}

constexpr OSType kHeaderTag = 0x48454144;  // 'HEAD'

#pragma pack(push, 1)
struct ProjHeaderText {
    OSType signature;
    int32_t version;
    int32_t dirOffset;
    OSType platform;
};
#pragma pack(pop)

// Value lines a layout takes (six per N element).
int32_t valueLinesOf(const char* type) {
    int32_t lines = 0;
    for (const char* t = type; *t;) {
        char c = *t++;
        if (c == '{' || c == '}') continue;
        int32_t fields = 1, count = 1;
        if (*t >= '0' && *t <= '9') {
            fields = 0;
            while (*t >= '0' && *t <= '9') fields = fields * 10 + (*t++ - '0');
        } else if (*t == '[') {
            count = 0;
            for (++t; *t >= '0' && *t <= '9'; ++t) count = count * 10 + (*t - '0');
            while (*t && *t != ']') ++t;
            if (*t) ++t;
        }
        lines += fields * (c == 'N' ? 6 * count : 1);
    }
    return lines;
}

// Reads a section strictly with one layout; 0 when it decodes cleanly.
OSErr checkWith(ProjBufHand stream, const Section& sec, const char* type, ReadCtx& ctx) {
    std::vector<int32_t> packing = naturalPacking(type);
    std::vector<uint8_t> record(size_t(CheckPackingSize(packing.data())) + 16, 0);
    seekTo(rec(stream), sec.position);
    ctx = ReadCtx{};
    ctx.strict = true;
    OSErr err = readStructWith(stream, sec.tag, type, packing.data(), record.data(), &ctx);
    freeRecordHandles(type, packing.data(), record.data());
    // A record shorter than the layout is how older files look: not a fault.
    return err == kStructShort ? OSErr(noErr) : err;
}

}  // namespace

RC_API int32_t ProjListSections(ProjBufHand stream, ProjSectionProc proc, void* context) {
    StreamRec* s = rec(stream);
    if (!s || s->pub.mode != kProjModeRead) return kProjParamErr;
    Fault fault;
    std::vector<Section> sections = scanSections(stream, fault);
    if (s->readError) return s->readError;
    if (proc)
        for (const Section& sec : sections) proc(context, sec.tag, sec.line, sec.valueLines);
    return int32_t(sections.size());
}

RC_API OSErr ProjCheckSections(ProjBufHand stream, OSType* tag, int32_t* line,
                               const char** reason) {
    StreamRec* s = rec(stream);
    if (!s || s->pub.mode != kProjModeRead) return kProjParamErr;
    Fault fault;
    std::vector<Section> sections = scanSections(stream, fault);
    if (s->readError) return s->readError;
    // The project header's version chooses between the layouts of older and
    // newer files; without a header both are tried.
    int32_t version = -1;
    for (const Section& sec : sections) {
        if (sec.tag != kHeaderTag) continue;
        ProjHeaderText header;
        std::vector<int32_t> packing = naturalPacking("TLLT");
        seekTo(s, sec.position);
        ReadCtx ctx;
        ctx.strict = true;
        if (readStructWith(stream, sec.tag, "TLLT", packing.data(), &header, &ctx) == noErr)
            version = header.version;
        break;
    }
    for (const Section& sec : sections) {
        if (fault.line && sec.line > fault.line) break;
        const KnownSchema* schema = findSchema(sec.tag);
        if (!schema) continue;
        bool older = schema->olderType && version >= 0 && version < 7;
        ReadCtx ctx;
        OSErr err = checkWith(stream, sec, older ? schema->olderType : schema->type, ctx);
        if (err && schema->olderType && version < 0 &&
            sec.valueLines <= valueLinesOf(schema->olderType)) {
            ReadCtx other;
            if (checkWith(stream, sec, schema->olderType, other) == noErr) err = noErr;
        }
        if (err) {
            int32_t at = ctx.badPos >= 0 ? lineAt(stream, ctx.badPos) : sec.line;
            if (!fault.line || at < fault.line)
                fault = Fault{at, sec.tag, ctx.reason ? ctx.reason : "section cannot be read"};
            break;
        }
    }
    if (tag) *tag = fault.tag;
    if (line) *line = fault.line;
    if (reason) *reason = fault.reason;
    return fault.line ? 1 : noErr;
}
