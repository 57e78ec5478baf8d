// The frame cache's lookup index and its links to the file table.
//
// Beside the most-recently-used list the cache keeps a hash table keyed by
// (file, position, kind). Each key leads to a chain of the entries that share
// it, threaded through the entries' `indexLink` field, newest first: an entry
// joins the head of its chain whenever it goes to the front of the list and
// leaves the chain whenever it leaves the list, so the first match along a
// chain is the first match a walk from the front of the list would find.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "reelcore/framecache.h"

namespace rc::framecache {

inline FrameCacheEntry* entryOf(FBlock b) {
    return reinterpret_cast<FrameCacheEntry*>(b->address);
}

class EntryIndex {
  public:
    // Drops every key (the entries themselves are not touched).
    void reset();
    // Makes room for one more entry; false when memory could not be had.
    bool reserveOne();
    // Puts the entry at the head of its key's chain. Call reserveOne first.
    void add(FBlock entry);
    // Takes the entry out of its chain; false when it is not indexed. The
    // entry is looked for under its current key; with `searchAll` every chain
    // is searched when it is not there (an entry whose key fields were
    // changed while it was listed).
    bool remove(FBlock entry, bool searchAll);
    bool contains(FBlock entry) const;
    // The newest entry with the key, or null; follow `indexLink` for the rest.
    FBlock first(int32_t file, int32_t position, int16_t kind) const;
    // Where the key's chain starts (null when the key is absent); valid until
    // the next add or remove.
    FBlock* chainOf(int32_t file, int32_t position, int16_t kind);
    size_t size() const { return entries_; }
    // Indexed entries of one kind.
    size_t count(int16_t kind) const;

    // Every indexed entry, chain by chain (for consistency checks).
    std::vector<FBlock> all() const;

  private:
    struct Slot {
        int32_t file;
        int32_t position;
        int16_t kind;
        bool used;
        FBlock chain;
    };
    struct KindCount {
        int16_t kind;
        size_t count;
    };
    size_t home(int32_t file, int32_t position, int16_t kind) const;
    size_t find(int32_t file, int32_t position, int16_t kind) const;  // slot or npos
    size_t findSlotHolding(FBlock entry) const;                       // slot or npos
    void eraseSlot(size_t i);
    bool grow();
    void adjustCount(int16_t kind, int delta);

    std::vector<Slot> slots_;
    std::vector<KindCount> counts_;
    size_t used_ = 0;     // occupied slots (distinct keys)
    size_t entries_ = 0;  // indexed entries
    unsigned shift_ = 64;
};

EntryIndex& index();

// The sentinels (from slots 14 and 15); null before InitFrameQueue.
FBlock head();
FBlock tail();
// Data block's usable size plus the entry charge.
uint32_t costOf(const FrameCacheEntry* e);
// An unlinked entry of `kind` whose data block holds n bytes: new, or
// recycled from an old entry of the same size. Null when memory is short.
FBlock getEntry(int16_t kind, int32_t n);

// Checks that the list between the sentinels and the index agree: the same
// entries, each chain in list order, the kind counts right, and the list's
// links consistent in both directions. Returns an empty string when they
// do, else a description of the first disagreement.
std::string checkConsistency();

struct Stats {
    uint32_t video;
    uint32_t audio;
    uint32_t other;
    uint32_t bytes;  // CacheTotal
};
Stats stats();

}  // namespace rc::framecache
