// The per-kind hash tables from (file, position) to the chain of entries
// that share the key.
#include <new>

#include "pixels/frame_cache_index.h"

namespace rc::framecache {

namespace {
constexpr size_t kFirstCapacity = 64;
}  // namespace

constinit EntryIndex gEntryIndex;

void EntryIndex::reset() {
    video_ = Table{kCacheKindVideo};
    audio_ = Table{kCacheKindAudio};
    others_.clear();
    entries_ = 0;
}

bool EntryIndex::Table::grow() {
    const size_t capacity = slots.empty() ? kFirstCapacity : slots.size() * 2;
    std::vector<Slot> old;
    try {
        std::vector<Slot> fresh(capacity, Slot{0, nullptr});
        old.swap(slots);
        slots.swap(fresh);
    } catch (const std::bad_alloc&) {
        return false;
    }
    unsigned bits = 0;
    while ((size_t(1) << bits) < capacity) ++bits;
    shift = 64 - bits;
    used = 0;
    for (const Slot& s : old)
        if (s.chain) insertKey(s.key, s.chain);
    return true;
}

// Puts a key known to be absent into its first free slot.
void EntryIndex::Table::insertKey(uint64_t key, FBlock chain) {
    const size_t mask = slots.size() - 1;
    size_t i = home(key);
    while (slots[i].chain) i = (i + 1) & mask;
    slots[i] = Slot{key, chain};
    ++used;
}

void EntryIndex::Table::eraseSlot(size_t i) {
    const size_t mask = slots.size() - 1;
    slots[i].chain = nullptr;
    --used;
    // Pull later members of the probe run back so no lookup stops early.
    for (size_t j = (i + 1) & mask; slots[j].chain; j = (j + 1) & mask) {
        const size_t h = home(slots[j].key);
        const bool between = i <= j ? (i < h && h <= j) : (i < h || h <= j);
        if (between) continue;
        slots[i] = slots[j];
        slots[j].chain = nullptr;
        i = j;
    }
}

bool EntryIndex::reserveOne(int16_t kind) {
    Table* t = tableOf(kind);
    if (!t) {
        try {
            others_.push_back(Table{kind});
        } catch (const std::bad_alloc&) {
            return false;
        }
        t = &others_.back();
    }
    // At most three-eighths full: a miss then mostly stops at its first slot.
    return (t->used + 1) * 8 <= t->slots.size() * 3 || t->grow();
}

size_t EntryIndex::count(int16_t kind) const {
    const Table* t = tableOf(kind);
    return t ? t->entries : 0;
}

void EntryIndex::add(FBlock entry) {
    FrameCacheEntry* e = entryOf(entry);
    Table* t = tableOf(e->kind);
    if (!t) return;  // reserveOne made the table; nothing to add without it
    const uint64_t key = keyOf(e->file, e->position);
    FBlock* chain = t->find(key);
    if (!chain) {
        t->insertKey(key, entry);
        e->indexLink = nullptr;
    } else {
        e->indexLink = *chain;
        *chain = entry;
    }
    ++t->entries;
    ++entries_;
}

FBlock EntryIndex::first(int32_t file, int32_t position, int16_t kind) const {
    const FBlock* chain = const_cast<EntryIndex*>(this)->chainOf(file, position, kind);
    return chain ? *chain : nullptr;
}

bool EntryIndex::contains(FBlock entry) const {
    const FrameCacheEntry* e = entryOf(entry);
    for (FBlock b = first(e->file, e->position, e->kind); b; b = entryOf(b)->indexLink)
        if (b == entry) return true;
    return false;
}

bool EntryIndex::findSlotHolding(FBlock entry, Table*& table, Slot*& slot) {
    auto search = [&](Table& t) {
        for (Slot& s : t.slots) {
            for (FBlock b = s.chain; b; b = entryOf(b)->indexLink) {
                if (b != entry) continue;
                table = &t;
                slot = &s;
                return true;
            }
        }
        return false;
    };
    if (search(video_) || search(audio_)) return true;
    for (Table& t : others_)
        if (search(t)) return true;
    return false;
}

// Takes the entry out of the slot's chain, and the slot out of the table
// when the chain empties; false when the entry is not on the chain.
bool EntryIndex::unchain(Table& t, Slot& s, FBlock entry) {
    FrameCacheEntry* e = entryOf(entry);
    FBlock prev = nullptr;
    for (FBlock b = s.chain; b; prev = b, b = entryOf(b)->indexLink) {
        if (b != entry) continue;
        if (prev)
            entryOf(prev)->indexLink = e->indexLink;
        else
            s.chain = e->indexLink;
        e->indexLink = nullptr;
        --t.entries;
        --entries_;
        if (!s.chain) t.eraseSlot(size_t(&s - t.slots.data()));
        return true;
    }
    return false;
}

bool EntryIndex::remove(FBlock entry, bool searchAll) {
    const FrameCacheEntry* e = entryOf(entry);
    if (Table* t = tableOf(e->kind)) {
        if (FBlock* chain = t->find(keyOf(e->file, e->position))) {
            Slot* s =
                reinterpret_cast<Slot*>(reinterpret_cast<char*>(chain) - offsetof(Slot, chain));
            if (unchain(*t, *s, entry)) return true;
        }
    }
    if (!searchAll) return false;
    Table* t = nullptr;
    Slot* s = nullptr;
    return findSlotHolding(entry, t, s) && unchain(*t, *s, entry);
}

std::vector<FBlock> EntryIndex::all() const {
    std::vector<FBlock> out;
    out.reserve(entries_);
    auto collect = [&](const Table& t) {
        for (const Slot& s : t.slots)
            for (FBlock b = s.chain; b; b = entryOf(b)->indexLink) out.push_back(b);
    };
    collect(video_);
    collect(audio_);
    for (const Table& t : others_) collect(t);
    return out;
}

}  // namespace rc::framecache
