// The frame cache's lookup index and its links to the file table.
//
// Beside the most-recently-used list the cache keeps hash tables, one per
// kind, keyed by (file, position). Each key leads to a chain of the entries that share
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
    // Makes room for one more entry of `kind`; false when memory could not
    // be had.
    bool reserveOne(int16_t kind);
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
    FBlock* chainOf(int32_t file, int32_t position, int16_t kind) {
        Table* t = tableOf(kind);
        return t ? t->find(keyOf(file, position)) : nullptr;
    }
    // The same for video frames, the lookup every preview frame makes.
    FBlock* videoChainOf(int32_t file, int32_t position) {
        return video_.find(keyOf(file, position));
    }
    size_t size() const { return entries_; }
    // Indexed entries of one kind.
    size_t count(int16_t kind) const;

    // Every indexed entry, chain by chain (for consistency checks).
    std::vector<FBlock> all() const;

  private:
    // One open-addressing table (linear probing, backward-shift deletion)
    // per kind, so a slot holds only the 64-bit (file, position) key and the
    // chain: four slots to a cache line. An empty slot has no chain.
    struct Slot {
        uint64_t key;
        FBlock chain;
    };
    struct Table {
        explicit constexpr Table(int16_t k) : kind(k) {}

        int16_t kind;
        size_t used = 0;     // occupied slots (distinct keys)
        size_t entries = 0;  // indexed entries
        unsigned shift = 64;
        std::vector<Slot> slots;

        size_t home(uint64_t key) const {
            // A full 64-bit mix: frame numbers run in sequence and files
            // differ only in the upper half, and both must reach the top bits.
            key ^= key >> 33;
            key *= 0xFF51AFD7ED558CCDull;
            key ^= key >> 33;
            key *= 0xC4CEB9FE1A85EC53ull;
            key ^= key >> 33;
            return size_t(key >> shift);
        }
        FBlock* find(uint64_t key) {
            if (used == 0) return nullptr;
            const size_t mask = slots.size() - 1;
            for (size_t i = home(key);; i = (i + 1) & mask) {
                Slot& s = slots[i];
                if (!s.chain) return nullptr;
                if (s.key == key) return &s.chain;
            }
        }
        bool grow();
        void insertKey(uint64_t key, FBlock chain);
        void eraseSlot(size_t i);
    };

    static uint64_t keyOf(int32_t file, int32_t position) {
        return uint64_t(uint32_t(file)) << 32 | uint32_t(position);
    }
    Table* tableOf(int16_t kind) {
        if (kind == video_.kind) return &video_;
        if (kind == audio_.kind) return &audio_;
        for (Table& t : others_)
            if (t.kind == kind) return &t;
        return nullptr;
    }
    const Table* tableOf(int16_t kind) const {
        return const_cast<EntryIndex*>(this)->tableOf(kind);
    }
    // The table of a slot holding the entry, and the slot; false if none.
    bool findSlotHolding(FBlock entry, Table*& table, Slot*& slot);
    bool unchain(Table& t, Slot& s, FBlock entry);

    Table video_{kCacheKindVideo};
    Table audio_{kCacheKindAudio};
    std::vector<Table> others_;  // kinds callers made up; rarely any
    size_t entries_ = 0;
};

// The one index, reached without a guard on every lookup.
extern EntryIndex gEntryIndex;
inline EntryIndex& index() {
    return gEntryIndex;
}

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
