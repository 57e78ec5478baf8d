#pragma once
// What a fixture that added media through the importers must undo between
// tests: the frame queue, the clip and file tables, the importer host's own
// state and the importer tables the registry published in the globals.

#include <cstdint>

#include "media/clip_table_internal.h"
#include "media/file_table_internal.h"
#include "plugins/importer_host.h"
#include "reelcore/framecache.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"

namespace testsupport {

inline void disposeMediaAndImporters() {
    KillFrameQueue();
    rc::media::disposeClipTable();
    rc::media::disposeFileTable();
    rc::plugins::resetImporterHost();
    for (int32_t slot : {int32_t(kSlotImporterTable), int32_t(kSlotXrefTable),
                         int32_t(kSlotTypeTextTable), int32_t(kSlotOverrideTable)}) {
        if (Handle t = reinterpret_cast<Handle>(GetAGlobal(slot))) FmDisposeHandle(t);
        SetAGlobal(slot, 0);
    }
}

}  // namespace testsupport
