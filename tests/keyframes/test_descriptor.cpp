// Parameter-format descriptors and the struct-codec schemas built from them.
#include "keys_test_util.h"
#include "reelcore/project_stream.h"
#include "reelcore/struct_codec.h"
#include "timeline/keys/descriptor.h"

using namespace keystest;
using namespace rc::keys;

namespace {

class Descriptor : public KeysTest {
  protected:
    void SetUp() override {
        KeysTest::SetUp();
        XeDouble::install();
    }
};

// One record of every type (148 bytes each, as the XE host lays them out),
// two empty slots, and arbitrary data.
Handle everyType(int16_t fileID) {
    std::vector<Param> params;
    for (int32_t type : {0, 1, 2, 3, 4, 5, 6, 7, 10, 12, 13, 9})
        params.push_back(Param{type, 0, type == 10 ? le64f(type + 1) : le32(type + 1)});
    params.push_back(Param{kXEParamArbitrary, 0, {}, "flat data"});
    params.push_back(Param{kXEParamFloatSlider, 0, le64f(0.25)});
    return buildXe(fileID, params, {2, 4});
}

TEST_F(Descriptor, TextPerLetter) {
    Handle empty = buildXe(1, {});
    std::string text;
    ASSERT_TRUE(describeSingleSpec(empty, &text));
    EXPECT_EQ(text, "K1;536;0;");
    DisposeSingleSpec(empty);

    Handle spec = everyType(1);
    ASSERT_TRUE(describeSingleSpec(spec, &text));
    const std::string size = std::to_string(GetHandleSize(spec));
    EXPECT_EQ(text, "K1;" + size +
                        ";16;L148;I148;N0;F148;N0;A148;B148;C148;T148;P148;D148;H148;U148;U148;"
                        "R148;D148;");
    ASSERT_EQ(FlattenSingleSpec(spec), 0);
    ASSERT_TRUE(describeSingleSpec(spec, &text));
    // The flattened data record: 148 + 4 + 9 bytes, padded to 164.
    EXPECT_NE(text.find(";R164;D148;"), std::string::npos) << text;

    Handle comp = NewCompSpec(spec, 1, 0);
    ASSERT_EQ(InsertSingleSpec(comp, spec, 1, 10), noErr);
    ASSERT_EQ(FlattenCompSpec(comp), 0);
    ASSERT_TRUE(describeCompSpec(comp, &text));
    std::string key;
    ASSERT_TRUE(describeSingleSpec(spec, &key));
    EXPECT_EQ(text, "X2;" + std::to_string(SingleSpecSize(comp)) + ";" + key + key);
    DisposeCompSpec(comp);

    // No description for what is not an XE block or is malformed.
    Handle plain = handleOf({1, 2, 3});
    EXPECT_FALSE(describeSingleSpec(plain, &text));
    Handle plainComp = NewCompSpec(plain, 0, 0);
    EXPECT_FALSE(describeCompSpec(plainComp, &text));
    write<int32_t>(spec, 28, 2);  // first record not 4-aligned
    EXPECT_FALSE(describeSingleSpec(spec, &text));
    DisposeCompSpec(plainComp);
    DisposeHandle(plain);
    DisposeHandle(spec);
}

// Writes a record with the schema and reads it back into zeroed memory.
std::vector<uint8_t> roundTrip(const ParamSchema& schema, const std::vector<uint8_t>& record) {
    std::vector<char> text(record.size() * 8 + 4096, 0);
    ProjBufHand out = CreateProjBufHandMemory(text.data(), int32_t(text.size()), kProjModeWrite);
    EXPECT_EQ(WriteStruct(out, cc("XESD"), schema.type.c_str(), schema.names.c_str(),
                          schema.packing.data(), record.data()),
              noErr);
    CloseProjBufHand(out);
    std::vector<uint8_t> back(record.size(), 0);
    ProjBufHand in =
        CreateProjBufHandMemory(text.data(), int32_t(std::strlen(text.data())), kProjModeRead);
    EXPECT_EQ(ReadStruct(in, cc("XESD"), schema.type.c_str(), schema.packing.data(), back.data()),
              noErr);
    CloseProjBufHand(in);
    for (size_t i = 0; i < back.size(); ++i)
        if (back[i] != record[i]) {
            ADD_FAILURE() << "first difference at byte " << i;
            break;
        }
    return back;
}

TEST_F(Descriptor, SchemaSurvivesWriteAndReadByteForByte) {
    Handle spec = everyType(1);
    ASSERT_EQ(FlattenSingleSpec(spec), 0);
    std::string text;
    ASSERT_TRUE(describeSingleSpec(spec, &text));
    ParamSchema schema;
    ASSERT_TRUE(schemaFromDescriptor(text.c_str(), &schema));
    EXPECT_EQ(schema.type.rfind("LLLLLLLL[127]LLSSLC[32]LLLLLLLLLSSSSLL[8]L", 0), 0u);
    EXPECT_EQ(schema.names.rfind("m1,m2,ver,size,fID,flat,nParams,offsets,K,K,", 0), 0u);
    EXPECT_EQ(schema.recordSize, int64_t(GetHandleSize(spec)));
    EXPECT_EQ(CheckPackingSize(schema.packing.data()), int32_t(GetHandleSize(spec)));
    EXPECT_EQ(roundTrip(schema, bytes(spec)), bytes(spec));

    // A CompSpec of keys of different sizes: the shorter key is padded.
    Handle small = buildXe(1, {Param{kXEParamSlider, 0, le32(-7)}});
    Handle comp = NewCompSpec(spec, 1, -5);
    ASSERT_EQ(InsertSingleSpec(comp, small, 1, 99), noErr);
    ASSERT_EQ(FlattenCompSpec(comp), 0);
    ASSERT_TRUE(describeCompSpec(comp, &text));
    ASSERT_TRUE(schemaFromDescriptor(text.c_str(), &schema));
    EXPECT_EQ(schema.type.rfind("TTLLL", 0), 0u);
    EXPECT_EQ(schema.names.rfind("mag1,mag2,nSpecs,specSize,time,m1,", 0), 0u);
    EXPECT_NE(schema.names.find("Xpad,"), std::string::npos);
    EXPECT_EQ(schema.recordSize, int64_t(GetHandleSize(comp)));
    EXPECT_EQ(roundTrip(schema, bytes(comp)), bytes(comp));
    DisposeCompSpec(comp);
    DisposeSingleSpec(small);
    DisposeSingleSpec(spec);
}

TEST_F(Descriptor, TextsThatAreNotDescriptors) {
    ParamSchema schema;
    ASSERT_TRUE(schemaFromDescriptor("K1;536;0;", &schema));
    EXPECT_EQ(schema.type, "LLLLLLLL[127]");
    EXPECT_EQ(schema.recordSize, 536);
    ASSERT_TRUE(schemaFromDescriptor("K-2147483648;2147483647;0;", &schema));
    ASSERT_TRUE(schemaFromDescriptor("K1;600;1;U60;", &schema));
    EXPECT_EQ(schema.type, "LLLLLLLL[127]LLSSLC[32]LLB[4]");
    EXPECT_EQ(schema.names, "m1,m2,ver,size,fID,flat,nParams,offsets,K,K,K,K,K,K,K,K,Kpad,");
    const char* bad[] = {
        "",                        // empty
        "Q1;2;3;",                 // unknown kind
        "K1;536;128;",             // too many slots
        "K1;536;1;",               // a slot missing
        "K1;536;1;I100;",          // shorter than head and body
        "K1;536;1;Z148;",          // unknown letter
        "K1;536;0;junk",           // trailing text
        "K1;536;1;I148",           // no ';'
        "X1;100;K1;536;0;",        // key larger than the key size
        "X2;536;K1;536;0;",        // a key missing
        "X-1;536;",                // negative count
        "K1;536;1;I99999999999;",  // number out of range
    };
    for (const char* text : bad) EXPECT_FALSE(schemaFromDescriptor(text, &schema)) << text;
    EXPECT_FALSE(schemaFromDescriptor(nullptr, &schema));
}

}  // namespace
