// Media access shared between its sources.
#pragma once

#include <cstdint>

#include "reelcore/media_access.h"
#include "reelcore/ppix.h"

namespace rc::media {

// One call into a drawing handler: built in (from the handler table of
// slot 2) or the module's "xDrawEntry". 2 without handler or entry point.
int16_t callDrawHandler(OSType handler, int32_t selector, intptr_t a1, intptr_t a2, intptr_t a3,
                        intptr_t a4, intptr_t a5, intptr_t a6);

// True when the file is read by an importer.
bool fileUsesImporter(int16_t fileID);

// Makes the file and clip tables reach media access (InitFileQueue).
void installMediaAccessHooks();

}  // namespace rc::media

namespace rc::plugins {
// The importer's frame into the 32-bit buffer's rectangle (image rows).
OSErr importImage(int16_t fileID, int32_t frame, PPixHand pix, const FmRect& rect, int32_t flags);
}  // namespace rc::plugins
