// The track table: type order, addressing by mask, the A/B pair's shared
// toggles, deleting and copying, and a randomised check against a model.
#include <random>

#include "tracks_fixture.h"

using namespace trackstest;

namespace {

class TrackTable : public TracksTest {
  protected:
    // A, B, transition and one audio track, each with an empty item list.
    Handle standardTable() {
        Handle t = emptyTable();
        AddTrackItem(NewHandle(0), kTrackTypeVideoAB, t);
        AddTrackItem(NewHandle(0), kTrackTypeVideoAB, t);
        AddTrackItem(NewHandle(0), kTrackTypeTransition, t);
        AddTrackItem(NewHandle(0), kTrackTypeAudio, t);
        return t;
    }
};

TEST_F(TrackTable, NewTracksGoAfterTheLastTrackOfTheirRankOrAbove) {
    Handle t = standardTable();
    Handle audio2 = NewHandle(0), super1 = NewHandle(0), super2 = NewHandle(0);
    EXPECT_EQ(AddTrackItem(audio2, kTrackTypeAudio, t), 4);  // after the existing audio track
    EXPECT_EQ(AddTrackItem(super1, kTrackTypeSuperimpose, t), 3);
    EXPECT_EQ(AddTrackItem(super2, kTrackTypeSuperimpose, t), 4);
    ASSERT_EQ(CountTracks(t), 7);
    const uint16_t expected[] = {0xC000, 0xC000, 0xA000, 0x9000, 0x9000, 0x0080, 0x0080};
    for (int32_t i = 0; i < 7; ++i) EXPECT_EQ(GetIndTrackType(kTrackAll, i, t), expected[i]) << i;
    EXPECT_EQ(GetTypeTrack(kTrackSuperimpose, 0, t), super1);
    EXPECT_EQ(GetTypeTrack(kTrackSuperimpose, 1, t), super2);
    EXPECT_EQ(GetTypeTrack(kTrackAudio, 1, t), audio2);
    // New records: output on, no highlight, everything else clear.
    const auto* r = reinterpret_cast<const TrackRec*>(*t) + 3;
    EXPECT_EQ(r->output, 1);
    EXPECT_EQ(r->hilitesection, -1);
    EXPECT_EQ(r->active + r->locked + r->shy + r->linked + r->mapping + r->disabled + r->selected,
              0);
    EXPECT_EQ(r->name, 0u);
    // An item list of a track can be the very first record of an empty table.
    Handle lone = emptyTable();
    EXPECT_EQ(AddTrackItem(nullptr, kTrackTypeAudio, lone), 0);
    EXPECT_EQ(AddTrackItem(nullptr, kTrackTypeVideoAB, lone), 0);
    EXPECT_EQ(AddTrackItem(nullptr, kTrackTypeAudio, nullptr), -1);
}

TEST_F(TrackTable, MasksAddressTracksByAnySharedBit) {
    Handle t = standardTable();
    EXPECT_EQ(CountTypeTracks(kTrackAll, t), 4);
    EXPECT_EQ(CountTypeTracks(kTrackVideoMask, t), 3);  // either bit: A, B and transition
    EXPECT_EQ(CountTypeTracks(kTrackTransition, t), 1);
    EXPECT_EQ(CountTypeTracks(0, t), 0);
    EXPECT_EQ(GetTrackTypeIndex(kTrackAudio, 0, t), 3);
    EXPECT_EQ(GetTrackTypeIndex(kTrackVideoPair, 1, t), 1);
    EXPECT_EQ(GetTrackTypeIndex(kTrackVideoPair, 2, t), -1);
    EXPECT_EQ(GetTrackTypeIndex(kTrackAll, 2, t), 2);
    EXPECT_EQ(GetTrackTypeIndex(kTrackAll, 4, t), -1);
    EXPECT_EQ(GetTrackTypeIndex(kTrackAll, -1, t), -1);
    EXPECT_EQ(MapTrackIndex(kTrackAudio, 0, kTrackPicture, t), 3);
    EXPECT_EQ(MapTrackIndex(kTrackTransition, 0, kTrackVideoPair, t), 2);
    EXPECT_EQ(MapTrackIndex(kTrackAudio, 1, kTrackAll, t), -1);
    // Unknown tracks read 0 and ignore writes; no table is an empty table.
    SetTrackLock(1, kTrackSuperimpose, 0, t);
    EXPECT_EQ(GetTrackLock(kTrackSuperimpose, 0, t), 0);
    EXPECT_EQ(GetTrackHilite(kTrackAudio, 5, t), 0);
    EXPECT_EQ(GetTypeTrack(kTrackAudio, 1, t), nullptr);
    EXPECT_EQ(GetTrackName(kTrackAudio, 0, t), nullptr);
    EXPECT_EQ(CountTracks(nullptr), 0);
    EXPECT_EQ(CountTypeTracks(kTrackAll, nullptr), 0);
    SetTrackState(1, kTrackAll, 0, nullptr);
}

TEST_F(TrackTable, ThePairSharesTheFirstTracksToggles) {
    Handle t = standardTable();
    SetTrackOutput(0, kTrackTypeVideoAB, 1, t);  // writes B
    EXPECT_EQ(reinterpret_cast<TrackRec*>(*t)[1].output, 0);
    EXPECT_EQ(GetTrackOutput(kTrackTypeVideoAB, 1, t), 1);  // reads A
    SetTrackOutput(0, kTrackTypeVideoAB, 0, t);
    EXPECT_EQ(GetTrackOutput(kTrackTypeVideoAB, 1, t), 0);
    SetTrackShy(1, kTrackPicture, 0, t);
    EXPECT_EQ(GetTrackShy(kTrackPicture, 1, t), 1);
    EXPECT_EQ(GetTrackShy(kTrackAll, 1, t), 1);
    // Masks without the picture or pair bits read the addressed track.
    AddTrackItem(NewHandle(0), kTrackTypeAudio, t);
    SetTrackOutput(0, kTrackAudio, 0, t);
    EXPECT_EQ(GetTrackOutput(kTrackAudio, 1, t), 1);
    // Other fields read the addressed track.
    SetTrackState(1, kTrackTypeVideoAB, 1, t);
    EXPECT_EQ(GetTrackState(kTrackTypeVideoAB, 0, t), 0);
    EXPECT_EQ(GetTrackState(kTrackTypeVideoAB, 1, t), 1);
    SetTrackMapping(3, kTrackAudio, 0, t);
    SetTrackHilite(7, kTrackTransition, 0, t);
    EXPECT_EQ(GetTrackMapping(kTrackAudio, 0, t), 3);
    EXPECT_EQ(GetTrackHilite(kTrackTransition, 0, t), 7);
}

TEST_F(TrackTable, DeletingNeedsEveryBitOfTheMask) {
    Handle t = standardTable();
    AddTrackItem(NewHandle(0), kTrackTypeSuperimpose, t);
    Handle transitions = GetTypeTrack(kTrackTransition, 0, t);
    EXPECT_TRUE(DeleteTrackItem(kTrackTypeTransition, 0, t));
    EXPECT_FALSE(FmIsValidHandle(transitions));  // its list was disposed of
    EXPECT_EQ(CountTracks(t), 4);
    EXPECT_EQ(CountTypeTracks(kTrackTransition, t), 0);
    EXPECT_EQ(CountTypeTracks(kTrackSuperimpose, t), 1);
    EXPECT_FALSE(DeleteTrackItem(kTrackTypeTransition, 0, t));
    EXPECT_FALSE(DeleteTrackItem(kTrackAudio, 1, t));
    EXPECT_FALSE(DeleteTrackItem(kTrackAll, -1, t));
    EXPECT_TRUE(DeleteTrackItem(kTrackAll, 3, t));  // the audio track
    EXPECT_EQ(GetIndTrackType(kTrackAll, 2, t), 0x9000);
}

TEST_F(TrackTable, AltTrackSkipsInactiveTracks) {
    Handle t = standardTable();
    AddTrackItem(NewHandle(0), kTrackTypeAudio, t);
    EXPECT_EQ(LookupAltTrack(0, t), -1);  // nothing active yet
    SetTrackState(1, kTrackAudio, 1, t);
    SetTrackState(1, kTrackTypeVideoAB, 1, t);
    EXPECT_EQ(LookupAltTrack(0, t), 4);  // video: the first active audio track
    EXPECT_EQ(LookupAltTrack(3, t), 1);  // audio: the first active picture track (B)
    SetTrackState(1, kTrackTypeVideoAB, 0, t);
    EXPECT_EQ(LookupAltTrack(4, t), 0);
    EXPECT_EQ(LookupAltTrack(9, t), -1);
}

TEST_F(TrackTable, CopiesBorrowTheListsTheyShare) {
    Handle t = standardTable();
    SetTrackOutput(0, kTrackAudio, 0, t);
    SetTrackLock(1, kTrackAudio, 0, t);
    Handle copy = CopyItems(kTrackAudio | kTrackTransition, t);
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(CountTracks(copy), 2);
    EXPECT_EQ(GetTypeTrack(kTrackAll, 0, copy), GetTypeTrack(kTrackTransition, 0, t));
    EXPECT_EQ(GetTypeTrack(kTrackAll, 1, copy), GetTypeTrack(kTrackAudio, 0, t));
    EXPECT_EQ(GetIndTrackType(kTrackAll, 1, copy), kTrackTypeAudio);
    EXPECT_EQ(GetTrackOutput(kTrackAudio, 0, copy), 0);
    EXPECT_EQ(GetTrackLock(kTrackAll, 1, copy), 0);  // only list, type and output are copied
    // Deleting from the copy leaves the original's lists alive, also after
    // the copy has grown and shrunk.
    Handle audioList = GetTypeTrack(kTrackAudio, 0, t);
    EXPECT_EQ(AddTrackItem(nullptr, kTrackTypeVideoAB, copy), 0);
    EXPECT_TRUE(DeleteTrackItem(kTrackAudio, 0, copy));
    EXPECT_TRUE(DeleteTrackItem(kTrackAll, 0, copy));
    EXPECT_EQ(CountTracks(copy), 1);
    EXPECT_TRUE(FmIsValidHandle(audioList));
    EXPECT_EQ(GetTypeTrack(kTrackAudio, 0, t), audioList);
    // A copy of a copy borrows too; the original still owns its lists.
    Handle copy2 = CopyItems(kTrackAll, t);
    EXPECT_TRUE(DeleteTrackItem(kTrackAll, 0, copy2));
    EXPECT_TRUE(FmIsValidHandle(GetTypeTrack(kTrackAll, 0, t)));
    EXPECT_EQ(CountTracks(CopyItems(0x0100, t)), 0);
    EXPECT_TRUE(DeleteTrackItem(kTrackAudio, 0, t));
    EXPECT_FALSE(FmIsValidHandle(audioList));
}

// Random adds, deletes and copies against a vector of (list, type, output).
TEST_F(TrackTable, RandomEditsMatchAModel) {
    struct Model {
        Handle list;
        uint16_t type;
        uint8_t output;
    };
    const uint16_t types[] = {0xC000, 0xA000, 0x9000, 0x0080, 0x8000, 0x0100};
    const uint16_t masks[] = {0xFFFF, 0xC000, 0xA000, 0x9000, 0x8000,
                              0x4000, 0x2000, 0x1000, 0x0080, 0x0100};
    std::mt19937 rng(20);
    for (int round = 0; round < 20; ++round) {
        Handle t = emptyTable();
        std::vector<Model> model;
        auto matches = [](const Model& m, uint16_t mask) {
            return mask == 0xFFFF || (m.type & mask);
        };
        for (int step = 0; step < 80; ++step) {
            const int op = int(rng() % 4);
            const uint16_t mask = masks[rng() % std::size(masks)];
            if (op <= 1) {
                const uint16_t type = types[rng() % std::size(types)];
                Handle l = NewHandle(0);
                size_t at = 0;
                for (size_t i = 0; i < model.size(); ++i)
                    if (model[i].type >= type) at = i + 1;
                model.insert(model.begin() + at, {l, type, 1});
                ASSERT_EQ(AddTrackItem(l, type, t), int32_t(at));
            } else if (op == 2) {
                const int32_t n = int32_t(rng() % 3);
                int32_t seen = 0, at = -1;
                for (size_t i = 0; i < model.size() && at < 0; ++i)
                    if ((mask == 0xFFFF || (model[i].type & mask) == mask) && seen++ == n)
                        at = int32_t(i);
                Handle gone = at >= 0 ? model[size_t(at)].list : nullptr;
                ASSERT_EQ(DeleteTrackItem(mask, n, t), at >= 0);
                if (at >= 0) {
                    model.erase(model.begin() + at);
                    EXPECT_FALSE(FmIsValidHandle(gone));
                }
            } else {
                const int32_t n = int32_t(rng() % 4);
                const uint8_t value = uint8_t(rng() % 2);
                SetTrackOutput(value, mask, n, t);
                int32_t seen = 0;
                for (auto& m : model)
                    if (matches(m, mask) && seen++ == n) m.output = value;
                Handle copy = CopyItems(mask, t);
                std::vector<Model> expected;
                for (auto& m : model)
                    if (matches(m, mask)) expected.push_back(m);
                ASSERT_EQ(CountTracks(copy), int32_t(expected.size()));
                for (size_t i = 0; i < expected.size(); ++i) {
                    EXPECT_EQ(GetTypeTrack(kTrackAll, int32_t(i), copy), expected[i].list);
                    EXPECT_EQ(GetIndTrackType(kTrackAll, int32_t(i), copy), expected[i].type);
                }
                while (DeleteTrackItem(kTrackAll, 0, copy)) {
                }
                DisposeHandle(copy);
            }
            // Order, ordinals and the pair rule.
            ASSERT_EQ(CountTracks(t), int32_t(model.size()));
            for (size_t i = 0; i < model.size(); ++i) {
                EXPECT_EQ(GetTypeTrack(kTrackAll, int32_t(i), t), model[i].list);
                if (i) {
                    EXPECT_GE(model[i - 1].type, model[i].type);
                }
            }
            for (uint16_t m : masks) {
                std::vector<size_t> hits;
                for (size_t i = 0; i < model.size(); ++i)
                    if (matches(model[i], m)) hits.push_back(i);
                ASSERT_EQ(CountTypeTracks(m, t), int32_t(hits.size()));
                for (size_t n = 0; n <= hits.size(); ++n) {
                    const int32_t want = n < hits.size() ? int32_t(hits[n]) : -1;
                    EXPECT_EQ(GetTrackTypeIndex(m, int32_t(n), t), want);
                    const size_t shown = ((m & 0xC000) && n == 1) ? 0 : n;
                    const uint8_t out =
                        shown < hits.size() && want >= 0 ? model[hits[shown]].output : 0;
                    EXPECT_EQ(GetTrackOutput(m, int32_t(n), t), out) << m << " " << n;
                }
            }
        }
    }
}

}  // namespace
