// Shared by the file table's sources (and the clip table): record access and
// the path index.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reelcore/filetable.h"

namespace rc::media {

inline FmFileRecord* fileRec(Handle h) {
    return h ? reinterpret_cast<FmFileRecord*>(*h) : nullptr;
}

// The table of slot 206, or null before InitFileQueue.
FmFileTable* fileTable();
// Record of a FileID, null when there is none.
FmFileRecord* findFileRec(int16_t id);

// Closes every file and disposes of every record and the table itself
// (start-up's shutdown step and tests).
void disposeFileTable();

// The record's spec changed: index it under its new path.
void reindexFile(int16_t id, const char* oldPath);

// Numbered files ("shot0007.tga"): true when the name before the extension
// ends in digits. nextInSequence writes the path of the next number (same
// width, wider when it carries over) and returns false for an unnumbered path.
bool isIncremental(const char* path);
bool nextInSequence(const char* path, std::string* next);

bool pathExists(const char* path);

// Opening rules shared by the data and resource files.
void keepWithinBudget();
// Turns a record offline: saves its description and gives it the type OFFL.
void makeOffline(Handle record);

// clipIDs of the clips cut from a file, in clipID order (the clip table).
struct ClipIdItem {
    int32_t id;
};
std::vector<ClipIdItem> clipsOfFile(int16_t fileID);

// Debug-channel text for the two table limits.
constexpr const char* kFileIDLimitText = "AddFSSpec: FileID limit";
constexpr const char* kCannotExpandText = "AddFSSpec: cannot expand File Cache";

}  // namespace rc::media
