// Shared helpers of the settings family: reaching a block through its Handle,
// the defaults, and the section table used by every reader and writer.
#pragma once

#include <cstdint>

#include "reelcore/settings.h"
#include "settings/settings_block.h"

namespace rc::settings {

constexpr OSType fourCC(const char (&c)[5]) {
    return (OSType(uint8_t(c[0])) << 24) | (OSType(uint8_t(c[1])) << 16) |
           (OSType(uint8_t(c[2])) << 8) | OSType(uint8_t(c[3]));
}

constexpr OSType kAnyClass = fourCC("????");

// The record of a block Handle, or null for a null, empty or too small one.
ProjectSettings* blockOf(Handle settings);
// `settings`, or the global block when it is null.
ProjectSettings* resolve(Handle settings);
// A new zeroed block Handle.
Handle newBlock();

// True when string 13 of list 1009 names a 25-frame TV standard.
bool palStandard();
void setDefaults(ProjectSettings& s, bool pal);

// Deep copy of the owned pointers and the device Handle of `from` into
// `to` (whose own fields are overwritten, not freed); false when memory ran
// out, with every copy made so far freed and the fields of `to` cleared.
bool duplicateOwned(const ProjectSettings& from, ProjectSettings& to);
void freeOwned(ProjectSettings& s);
// Frees one owned block; returns null to store back into its field.
Ptr freePtr(Ptr p);

// One saved section: tag, type string, names, packing builder and offset.
struct Section {
    OSType tag;
    const char* type;
    const char* names;
    void (*packing)(int32_t*);
    size_t offset;
    bool shortAccepted;  // a record that ends early (code 10) is fine
};
// The nine sections PTYP..PCPI in file order.
const Section* sections(size_t* count);
// The device section's packing (32, 4, 4, 4, 4, 4).
const int32_t* devicePacking();

// Reads the nine sections (and, for settings files, PDEV) from `stream` into
// the zeroed block `s` by the reading rules; returns the first error that
// stops the read (0 on success).
OSErr readSections(ProjBufHand stream, ProjectSettings& s, bool settingsFile);
OSErr writeSections(ProjBufHand stream, const ProjectSettings& s);
// A new block read from a stream by the reading rules, rectified; null with
// the error in *error.
Handle readBlock(ProjBufHand stream, bool settingsFile, OSErr* error);

// Export settings of the four kinds, kept for the run.
void resetExportSettings();
// The kind's block when one exists (never made here).
Handle exportSettingsIfAny(int32_t kind);

// Values no later computation can work with: a frame size or time base that
// is zero or negative.
bool plausible(const ProjectSettings& s);

}  // namespace rc::settings
