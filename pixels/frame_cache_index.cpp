// Open-addressing hash table (linear probing, backward-shift deletion) from
// (file, position, kind) to the chain of entries that share the key.
#include <new>

#include "pixels/frame_cache_index.h"

namespace rc::framecache {

namespace {
constexpr size_t npos = ~size_t(0);
constexpr size_t kFirstCapacity = 64;
}  // namespace

EntryIndex& index() {
    static EntryIndex idx;
    return idx;
}

void EntryIndex::reset() {
    slots_.clear();
    counts_.clear();
    used_ = 0;
    entries_ = 0;
    shift_ = 64;
}

size_t EntryIndex::home(int32_t file, int32_t position, int16_t kind) const {
    uint64_t k = (uint64_t(uint32_t(file)) << 32 | uint32_t(position)) ^
                 (uint64_t(uint16_t(kind)) * 0xD6E8FEB86659FD93ull);
    k *= 0x9E3779B97F4A7C15ull;
    return size_t(k >> shift_);
}

size_t EntryIndex::find(int32_t file, int32_t position, int16_t kind) const {
    if (slots_.empty()) return npos;
    const size_t mask = slots_.size() - 1;
    for (size_t i = home(file, position, kind);; i = (i + 1) & mask) {
        const Slot& s = slots_[i];
        if (!s.used) return npos;
        if (s.file == file && s.position == position && s.kind == kind) return i;
    }
}

bool EntryIndex::grow() {
    const size_t capacity = slots_.empty() ? kFirstCapacity : slots_.size() * 2;
    std::vector<Slot> old;
    try {
        std::vector<Slot> fresh(capacity, Slot{0, 0, 0, false, nullptr});
        old.swap(slots_);
        slots_.swap(fresh);
    } catch (const std::bad_alloc&) {
        return false;
    }
    unsigned bits = 0;
    while ((size_t(1) << bits) < capacity) ++bits;
    shift_ = 64 - bits;
    const size_t mask = capacity - 1;
    for (const Slot& s : old) {
        if (!s.used) continue;
        size_t i = home(s.file, s.position, s.kind);
        while (slots_[i].used) i = (i + 1) & mask;
        slots_[i] = s;
    }
    return true;
}

bool EntryIndex::reserveOne() {
    if ((used_ + 1) * 2 > slots_.size() && !grow()) return false;
    // The kind table has a handful of entries; keep one spare.
    try {
        counts_.reserve(counts_.size() + 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void EntryIndex::adjustCount(int16_t kind, int delta) {
    for (KindCount& c : counts_) {
        if (c.kind == kind) {
            c.count += size_t(ptrdiff_t(delta));
            return;
        }
    }
    if (delta > 0) counts_.push_back(KindCount{kind, size_t(delta)});
}

size_t EntryIndex::count(int16_t kind) const {
    for (const KindCount& c : counts_)
        if (c.kind == kind) return c.count;
    return 0;
}

void EntryIndex::add(FBlock entry) {
    FrameCacheEntry* e = entryOf(entry);
    size_t i = find(e->file, e->position, e->kind);
    if (i == npos) {
        const size_t mask = slots_.size() - 1;
        i = home(e->file, e->position, e->kind);
        while (slots_[i].used) i = (i + 1) & mask;
        slots_[i] = Slot{e->file, e->position, e->kind, true, nullptr};
        ++used_;
    }
    e->indexLink = slots_[i].chain;
    slots_[i].chain = entry;
    ++entries_;
    adjustCount(e->kind, +1);
}

FBlock EntryIndex::first(int32_t file, int32_t position, int16_t kind) const {
    size_t i = find(file, position, kind);
    return i == npos ? nullptr : slots_[i].chain;
}

FBlock* EntryIndex::chainOf(int32_t file, int32_t position, int16_t kind) {
    size_t i = find(file, position, kind);
    return i == npos ? nullptr : &slots_[i].chain;
}

bool EntryIndex::contains(FBlock entry) const {
    const FrameCacheEntry* e = entryOf(entry);
    for (FBlock b = first(e->file, e->position, e->kind); b; b = entryOf(b)->indexLink)
        if (b == entry) return true;
    return false;
}

size_t EntryIndex::findSlotHolding(FBlock entry) const {
    for (size_t i = 0; i < slots_.size(); ++i) {
        if (!slots_[i].used) continue;
        for (FBlock b = slots_[i].chain; b; b = entryOf(b)->indexLink)
            if (b == entry) return i;
    }
    return npos;
}

void EntryIndex::eraseSlot(size_t i) {
    const size_t mask = slots_.size() - 1;
    slots_[i].used = false;
    slots_[i].chain = nullptr;
    --used_;
    // Pull later members of the probe run back so no lookup stops early.
    for (size_t j = (i + 1) & mask; slots_[j].used; j = (j + 1) & mask) {
        const size_t h = home(slots_[j].file, slots_[j].position, slots_[j].kind);
        const bool between = i <= j ? (i < h && h <= j) : (i < h || h <= j);
        if (between) continue;
        slots_[i] = slots_[j];
        slots_[j].used = false;
        slots_[j].chain = nullptr;
        i = j;
    }
}

bool EntryIndex::remove(FBlock entry, bool searchAll) {
    FrameCacheEntry* e = entryOf(entry);
    size_t i = find(e->file, e->position, e->kind);
    for (int pass = 0; pass < 2; ++pass) {
        if (i != npos) {
            FBlock prev = nullptr;
            for (FBlock b = slots_[i].chain; b; prev = b, b = entryOf(b)->indexLink) {
                if (b != entry) continue;
                if (prev)
                    entryOf(prev)->indexLink = e->indexLink;
                else
                    slots_[i].chain = e->indexLink;
                e->indexLink = nullptr;
                --entries_;
                adjustCount(slots_[i].kind, -1);
                if (!slots_[i].chain) eraseSlot(i);
                return true;
            }
        }
        if (!searchAll) break;
        i = findSlotHolding(entry);
        if (i == npos) break;
    }
    return false;
}

std::vector<FBlock> EntryIndex::all() const {
    std::vector<FBlock> out;
    out.reserve(entries_);
    for (const Slot& s : slots_) {
        if (!s.used) continue;
        for (FBlock b = s.chain; b; b = entryOf(b)->indexLink) out.push_back(b);
    }
    return out;
}

}  // namespace rc::framecache
