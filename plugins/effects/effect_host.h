// Shared pieces of the filter and transition host: the services offered to
// modules, calling an entry point by name, the calls into the XE filter host
// (answering as a module without filter info until that host installs its
// table), and the Imagist modules' persistent data words.
#pragma once

#include <cstdint>

#include "reelcore/effects.h"
#include "reelcore/types.h"

namespace rc::effects {

constexpr OSType kKindVideo = 0x56466C74;    // 'VFlt'
constexpr OSType kKindAudio = 0x41466C74;    // 'AFlt'
constexpr OSType kKindEffect = 0x53504658;   // 'SPFX'
constexpr OSType kKindImagist = 0x5137464D;  // 'Q7FM'
constexpr OSType kKindXE = 0x65464B54;       // 'eFKT'

const RcHostServices& hostServices();

// Result of calling an entry that cannot be reached.
constexpr int16_t kNoModule = 1;

// Calls entryName of the module as (selector, arg) with slot 333 naming the
// module and the current resource file restored afterwards; kNoModule when
// the module cannot be opened or lacks the entry. A module called once keeps
// its code loaded until releaseKeptModules.
int16_t callEntry(int16_t fileID, const char* entryName, int16_t selector, void* arg);
void releaseKeptModules();

// The record's picture or settings word as a Handle.
inline Handle handleOf(uint32_t word) {
    return WordToHandle(word);
}

// Calls a 'VFlt' or 'AFlt' module's "xFilter", or an 'SPFX' module's
// "xEffect", by the module's version: 3 gets the record, 2 an older one
// built from it (settings and private data copied back), anything else
// kNoModule without calling.
int16_t callVersioned(int16_t fileID, OSType kind, int16_t selector, Handle record);

// Calls a filter module by its kind (no settings or pixel aspect handling).
int16_t callFilterKind(int16_t fileID, OSType kind, int16_t selector, Handle record,
                       RcFilterListEntry* entry);

// A video filter call at selector 0 or 1 with the square-pixel handling
// around it.
int16_t callVideoWithAspect(int16_t fileID, OSType kind, int16_t selector, bool aspectAllowed,
                            Handle record, RcFilterListEntry* entry);

// The Imagist path of Filter: entry point, modes and data word, then
// PhotoFilter. hostSelector 0 process, 1 setup, 2 about.
int16_t callImagist(int16_t fileID, int16_t hostSelector, Handle record);

// The module's persistent data word (slot 5, by the module's place in the
// video filter list of slot 4); a module outside the list gets a word of
// the host's own.
intptr_t* imagistDataWord(int16_t fileID);

// ---- The XE filter host's calls ----
struct XeFilterHooks {
    // Renders (selector 0) or runs setup (selector 1).
    int16_t (*doFilter)(int16_t fileID, int16_t selector, Handle record, intptr_t hinstance,
                        RcFilterListEntry* entry);
    // The module's filter info flags; 0 without filter info.
    uint32_t (*infoFlags)(int16_t fileID);
    // A sequence-data command (6 unflatten, 7 flatten, 8 dispose) on data;
    // the new Handle (may be the same or null) in *out.
    int16_t (*command)(int16_t fileID, int32_t command, Handle data, Handle* out);
    // Releases the module's global state and filter info.
    void (*cleanup)(int16_t fileID);
};
constexpr uint32_t kXeInfoSequenceData = 0x10;
enum { kXeUnflattenSequence = 6, kXeFlattenSequence = 7, kXeDisposeSequence = 8 };

// Installs the table (copied; missing entries keep their defaults); null
// restores the defaults.
void setXeFilterHooks(const XeFilterHooks* hooks);
const XeFilterHooks& xeFilterHooks();

}  // namespace rc::effects
