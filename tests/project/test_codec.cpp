// The struct codec: value encodings per letter, whole records, versions, and
// hostile input.
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "project_test_util.h"

using namespace projtest;
using rc::project::naturalPacking;

namespace {

class Codec : public ProjectTest {
  protected:
    std::string writeRecord(OSType tag, const char* type, const char* names, const int32_t* packing,
                            const void* record, OSErr* err = nullptr) {
        return written([&](ProjBufHand out) {
            OSErr e = WriteStruct(out, tag, type, names, packing, record);
            if (err)
                *err = e;
            else
                EXPECT_EQ(e, noErr);
        });
    }
    OSErr readRecord(const std::string& text, OSType tag, const char* type, const int32_t* packing,
                     void* record, int32_t capacity = 32) {
        Reader r(text, capacity);
        return ReadStruct(r.stream, tag, type, packing, record);
    }
    template <class Fn>
    OSErr readKey(const std::string& line, Fn&& read) {
        Reader r("[KEYS]\r\n" + line + "\r\n[NEXT]\r\n", 16);
        EXPECT_EQ(FmFindAndReadSectionTag(r.stream, code("KEYS")), noErr);
        return read(r.stream);
    }
};

Handle handleOf(const std::string& bytes) {
    Handle h = FmNewHandle(uint32_t(bytes.size()));
    if (!bytes.empty()) std::memcpy(*h, bytes.data(), bytes.size());
    return h;
}
std::string bytesOf(Handle h) {
    return h ? std::string(*h, FmGetHandleSize(h)) : "<null>";
}
template <class T>
T at(const std::vector<uint8_t>& rec, size_t off) {
    T v;
    std::memcpy(&v, rec.data() + off, sizeof v);
    return v;
}
template <class T>
void put(std::vector<uint8_t>& rec, size_t off, T v) {
    std::memcpy(rec.data() + off, &v, sizeof v);
}

// A record of every letter, laid out naturally.
constexpr const char* kAllLetters = "BB[5]CC[1]C[12]DD[3]FF[2]IL[4]SS[3]TT[2]XX[2]PP[2]RHMWYZO";

struct Layout {
    std::vector<int32_t> packing;
    std::vector<size_t> offsets;
    size_t size = 0;
};
Layout layoutOf(const char* type) {
    Layout l;
    l.packing = naturalPacking(type);
    for (int32_t stride : l.packing) {
        if (!stride) break;
        l.offsets.push_back(l.size);
        l.size += size_t(stride);
    }
    return l;
}

// Fills a record for kAllLetters with random values; text and hex values
// come with the troublesome bytes (backslashes, CR, LF, "=", ",", "[").
void fillRandom(std::vector<uint8_t>& rec, const Layout& l, std::mt19937& rng) {
    std::uniform_int_distribution<int> byte(0, 255);
    const std::string nasty = "ab\\\r\n=,[ Z";
    auto text = [&](size_t n) {
        std::string s;
        for (size_t i = 0; i < n; ++i) s += nasty[size_t(byte(rng)) % nasty.size()];
        return s;
    };
    auto realValue = [&]() {
        double mag = std::pow(10.0, std::uniform_real_distribution<double>(-8, 12)(rng));
        return (byte(rng) & 1 ? -mag : mag);
    };
    const auto& o = l.offsets;
    for (size_t i = 0; i < 6; ++i) rec[o[0] + (i ? i : 0)] = uint8_t(byte(rng));
    for (size_t i = 0; i < 5; ++i) rec[o[1] + i] = uint8_t(byte(rng));
    rec[o[2]] = uint8_t(byte(rng));
    rec[o[3]] = uint8_t(byte(rng));
    std::string t = text(size_t(byte(rng)) % 12);
    std::memcpy(rec.data() + o[4], t.data(), t.size());
    put<double>(rec, o[5], realValue());
    for (int i = 0; i < 3; ++i) put<double>(rec, o[6] + 8 * i, realValue());
    put<float>(rec, o[7], float(realValue()));
    for (int i = 0; i < 2; ++i) put<float>(rec, o[8] + 4 * i, float(realValue()));
    auto word = [&]() { return uint32_t(rng()); };
    put<uint32_t>(rec, o[9], word());
    for (int i = 0; i < 4; ++i) put<uint32_t>(rec, o[10] + 4 * i, word());
    put<int16_t>(rec, o[11], int16_t(word()));
    for (int i = 0; i < 3; ++i) put<int16_t>(rec, o[12] + 2 * i, int16_t(word()));
    auto fourChars = [&]() {
        const std::string printable = "AZaz09 _,=[]#\\";
        char c[4];
        for (char& ch : c) ch = printable[size_t(byte(rng)) % printable.size()];
        return rc::project::charsToType(c);
    };
    put<uint32_t>(rec, o[13], fourChars());
    for (int i = 0; i < 2; ++i) put<uint32_t>(rec, o[14] + 4 * i, fourChars());
    put<uint32_t>(rec, o[15], word());
    for (int i = 0; i < 2; ++i) put<uint32_t>(rec, o[16] + 4 * i, word());
    for (int i = 0; i < 2; ++i) put<uint32_t>(rec, o[17] + 4 * i, word());
    for (int i = 0; i < 4; ++i) put<uint32_t>(rec, o[18] + 4 * i, word());
    for (int i = 0; i < 4; ++i) put<uint32_t>(rec, o[19] + 4 * i, word());
    // H: a text shorter than its Handle, or a null or empty Handle.
    int pick = byte(rng) % 4;
    Handle h = nullptr;
    if (pick == 1) h = FmNewHandle(0);
    if (pick >= 2) {
        std::string s = text(size_t(byte(rng)) % 30);
        h = FmNewHandleClear(uint32_t(s.size() + 1 + size_t(byte(rng)) % 5));
        std::memcpy(*h, s.data(), s.size());
    }
    put<uint32_t>(rec, o[20], HandleToWord(h));
    // M: strings, some empty, last maybe without its NUL.
    Handle m = nullptr;
    if (byte(rng) % 5) {
        std::string list;
        int n = byte(rng) % 4;
        for (int i = 0; i < n; ++i) list += text(size_t(byte(rng)) % 6) + std::string(1, '\0');
        if (byte(rng) & 1) list += text(3);
        m = handleOf(list);
    }
    put<uint32_t>(rec, o[21], HandleToWord(m));
    Handle w = byte(rng) & 1 ? FmNewHandleClear(uint32_t(byte(rng)) + 1) : nullptr;
    put<uint32_t>(rec, o[22], HandleToWord(w));
    Ptr y = nullptr;
    if (byte(rng) % 3) {
        y = FmNewPtr(uint32_t(byte(rng) % 20));
        for (uint32_t i = 0; i < FmGetPtrSize(y); ++i) y[i] = char(byte(rng));
    }
    put<Ptr>(rec, o[23], y);
    Handle z = nullptr;
    if (byte(rng) % 3) {
        std::string bytes;
        for (int i = byte(rng) % 20; i > 0; --i) bytes += char(byte(rng));
        z = handleOf(bytes);
    }
    put<uint32_t>(rec, o[24], HandleToWord(z));
}

TEST_F(Codec, EveryLetterRoundTripsWithItsNormalisations) {
    Layout l = layoutOf(kAllLetters);
    const auto& o = l.offsets;
    std::mt19937 rng(20261207);
    for (int iteration = 0; iteration < 150; ++iteration) {
        std::vector<uint8_t> in(l.size, 0), out(l.size, 0);
        fillRandom(in, l, rng);
        std::string text =
            writeRecord(code("ALLL"), kAllLetters, nullptr, l.packing.data(), in.data());
        ASSERT_EQ(readRecord(text, code("ALLL"), kAllLetters, l.packing.data(), out.data(),
                             16 + iteration),
                  noErr)
            << text;
        SCOPED_TRACE(text);
        // Integers of every width come back exactly; C[1] and C as signed bytes.
        for (size_t k : {0, 1, 2, 3, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}) {
            size_t width = size_t(l.packing[k]);
            EXPECT_EQ(std::memcmp(in.data() + o[k], out.data() + o[k], width), 0) << k;
        }
        // C[12]: at most 11 characters; lone LFs dropped.
        std::string original(reinterpret_cast<const char*>(in.data() + o[4]),
                             strnlen(reinterpret_cast<const char*>(in.data() + o[4]), 12));
        std::string expected;
        for (size_t i = 0; i < original.size(); ++i)
            if (original[i] != '\n' || (i > 0 && original[i - 1] == '\r')) expected += original[i];
        expected = expected.substr(0, 11);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data() + o[4])), expected);
        // Reals to six decimals.
        auto near = [](double a, double b) {
            return std::fabs(a - b) <= 5.0000001e-7 + std::fabs(b) * 1e-15;
        };
        for (int i = 0; i < 4; ++i) {
            size_t off = i == 0 ? o[5] : o[6] + 8 * size_t(i - 1);
            EXPECT_TRUE(near(at<double>(out, off), at<double>(in, off))) << i;
        }
        for (int i = 0; i < 3; ++i) {
            size_t off = i == 0 ? o[7] : o[8] + 4 * size_t(i - 1);
            float a = at<float>(out, off), b = at<float>(in, off);
            EXPECT_LE(std::fabs(double(a) - double(b)),
                      5.0000001e-7 + std::fabs(double(b)) * 1.2e-7)
                << i;
        }
        // Handles come back as new Handles with the same contents.
        Handle hi = WordToHandle(at<uint32_t>(in, o[20])),
               ho = WordToHandle(at<uint32_t>(out, o[20]));
        if (!hi) {
            EXPECT_EQ(ho, nullptr);
        } else {
            ASSERT_NE(ho, nullptr);
            EXPECT_EQ(FmGetHandleSize(ho), FmGetHandleSize(hi));
            EXPECT_EQ(std::string(FmGetHandleSize(ho) ? *ho : ""),
                      std::string(FmGetHandleSize(hi) ? *hi : ""));
        }
        EXPECT_EQ(bytesOf(WordToHandle(at<uint32_t>(out, o[21]))),
                  bytesOf(WordToHandle(at<uint32_t>(in, o[21]))));
        Handle wi = WordToHandle(at<uint32_t>(in, o[22])),
               wo = WordToHandle(at<uint32_t>(out, o[22]));
        EXPECT_EQ(wo ? FmGetHandleSize(wo) : 0u, wi ? FmGetHandleSize(wi) : 0u);
        if (wo) {
            EXPECT_EQ(std::string(*wo, FmGetHandleSize(wo)),
                      std::string(FmGetHandleSize(wo), '\0'));
        }
        Ptr yi = at<Ptr>(in, o[23]), yo = at<Ptr>(out, o[23]);
        EXPECT_EQ(yo == nullptr, yi == nullptr);
        if (yi && yo) {
            EXPECT_EQ(std::string(yo, FmGetPtrSize(yo)), std::string(yi, FmGetPtrSize(yi)));
        }
        EXPECT_EQ(bytesOf(WordToHandle(at<uint32_t>(out, o[24]))),
                  bytesOf(WordToHandle(at<uint32_t>(in, o[24]))));

        // Write, read, write again: the second text is the first, byte for byte.
        std::string again =
            writeRecord(code("ALLL"), kAllLetters, nullptr, l.packing.data(), out.data());
        EXPECT_EQ(again, text);
        // With names too.
        const char* names = "a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q,r,s,t,u,v,w,x,y,z";
        std::string named =
            writeRecord(code("ALLL"), kAllLetters, names, l.packing.data(), in.data());
        std::vector<uint8_t> viaNames(l.size, 0);
        ASSERT_EQ(readRecord(named, code("ALLL"), kAllLetters, l.packing.data(), viaNames.data()),
                  noErr);
        EXPECT_EQ(writeRecord(code("ALLL"), kAllLetters, names, l.packing.data(), viaNames.data()),
                  named);
        for (auto* rec : {&in, &out, &viaNames})
            rc::project::freeRecordHandles(kAllLetters, l.packing.data(), rec->data());
    }
}

TEST_F(Codec, DocumentedExamples) {
    // Fixed 1.0, a string list, and a signed byte.
    Handle list = handleOf(std::string("ab\0\0", 4));
    std::string text = written([&](ProjBufHand out) {
        FmWriteSectionTag(out, code("EXMP"));
        FmWriteFixed(out, "one", 0x10000);
        FmWriteHandleStrList(out, "list", list);
        FmWriteChar(out, "byte", char(200));
        FmWriteCStr(out, "a", "A");
        FmWriteCStr_CharOnly(out, "b", "A");
        FmWriteFloat(out, "tiny", 0.0000001f);
        FmWriteOpaqueHandle(out, "none", nullptr);
        FmWriteLong(out, nullptr, -5);
    });
    EXPECT_EQ(text,
              "[EXMP]\r\none=00010000\r\nlist=4,2,ab,0,\r\nbyte=-56\r\na=65\r\nb=A\r\n"
              "tiny=0.000000\r\nnone=\r\n-5\r\n");
    Reader r(text, 16);
    ASSERT_EQ(FmFindAndReadSectionTag(r.stream, code("EXMP")), noErr);
    Fixed one = 0;
    Handle back = nullptr;
    char byte = 0;
    char a[4] = {}, b[4] = {};
    float tiny = 1;
    Handle none = list;
    int32_t bare = 0;
    EXPECT_EQ(FmReadFixed(r.stream, nullptr, &one), noErr);
    EXPECT_EQ(FmReadHandleStrList(r.stream, nullptr, &back), noErr);
    EXPECT_EQ(FmReadChar(r.stream, nullptr, &byte), noErr);
    EXPECT_EQ(FmReadCStr(r.stream, nullptr, a, 1), noErr);  // the numeric form
    EXPECT_EQ(FmReadCStr(r.stream, nullptr, b, 4), noErr);
    EXPECT_EQ(FmReadFloat(r.stream, nullptr, &tiny), noErr);
    EXPECT_EQ(FmReadOpaqueHandle(r.stream, nullptr, &none), noErr);
    EXPECT_EQ(FmReadLong(r.stream, nullptr, &bare), noErr);
    EXPECT_EQ(FmReadLong(r.stream, nullptr, &bare), kStructShort);  // at the end
    EXPECT_EQ(one, 0x10000);
    EXPECT_EQ(bytesOf(back), std::string("ab\0\0", 4));
    EXPECT_EQ(uint8_t(byte), 200);
    EXPECT_EQ(a[0], 'A');
    EXPECT_STREQ(b, "A");
    EXPECT_EQ(tiny, 0.0f);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(bare, -5);
    FmDisposeHandle(list);
    FmDisposeHandle(back);

    // N[10]: 60 value lines, only the first named.
    std::vector<uint8_t> markers(240, 0);
    for (int i = 0; i < 10; ++i) put<int32_t>(markers, size_t(24 * i), i * 100);
    int32_t npack[] = {240, 0};
    std::string n = writeRecord(code("PFC0"), "N[10]", "marks", npack, markers.data());
    auto ls = lines(n);
    ASSERT_EQ(ls.size(), 61u);
    EXPECT_EQ(ls[1], "marks=0");
    EXPECT_EQ(ls[7], "100");
    EXPECT_EQ(ls[3], "-1");
    int named = 0;
    for (const auto& line : ls) named += line.find('=') != std::string::npos;
    EXPECT_EQ(named, 1);
    std::vector<uint8_t> nback(240, 0xEE);
    ASSERT_EQ(readRecord(n, code("PFC0"), "N[10]", npack, nback.data()), noErr);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(at<int32_t>(nback, size_t(24 * i)), i * 100);
    EXPECT_EQ(at<uint32_t>(nback, 8), 0u);  // null string lists

    // A text with a backslash, a CR LF and a trailing backslash.
    char field[32] = "\\\\net\\a\r\nb\\";
    int32_t tpack[] = {32, 0};
    std::string t = writeRecord(code("TEXT"), "C[32]", "t", tpack, field);
    EXPECT_EQ(lines(t)[1], "t=\\\\\\\\net\\\\a\\r\\nb\\\\");
    char tback[32];
    std::memset(tback, 'x', sizeof tback);
    ASSERT_EQ(readRecord(t, code("TEXT"), "C[32]", tpack, tback), noErr);
    EXPECT_STREQ(tback, field);
    // 40 characters come back as 31.
    char longText[40];
    std::memset(longText, 'k', sizeof longText);
    int32_t lpack[] = {40, 0};
    std::string lt = writeRecord(code("TEXT"), "C[40]", "t", lpack, longText);
    ASSERT_EQ(readRecord(lt, code("TEXT"), "C[32]", tpack, tback), noErr);
    EXPECT_EQ(std::string(tback), std::string(31, 'k'));
}

TEST_F(Codec, ReadersOfOtherVersions) {
    const char* newer = "SB[16]LC[1]C[1]CLIZC[32]L";
    const char* older = "SB[16]LC[1]C[1]CLIZC[32]";
    const char* names =
        "fileID,param,filetype,vname,fname,isFramestore,prefLength,mediaType,prefHandle,title,"
        "pixelAspect";
    Layout ln = layoutOf(newer), lo = layoutOf(older);
    std::vector<uint8_t> rec(ln.size, 0);
    put<int16_t>(rec, 0, 7);
    put<uint32_t>(rec, 18, code("AVIV"));
    std::memcpy(rec.data() + ln.offsets[9], "title", 5);
    put<int32_t>(rec, ln.offsets[10], 65537);
    std::string text =
        writeRecord(code("FILE"), newer, names, ln.packing.data(), rec.data()) + "[NEXT]\r\n";
    // Fewer fields: the surplus line stays unread and is skipped by searches.
    std::vector<uint8_t> small(lo.size, 0);
    Reader r(text, 16);
    ASSERT_EQ(ReadStruct(r.stream, code("FILE"), older, lo.packing.data(), small.data()), noErr);
    EXPECT_EQ(std::memcmp(small.data(), rec.data(), lo.size), 0);
    EXPECT_EQ(FindStruct(r.stream, code("NEXT")), 1);
    // More fields: 10, and the extra field keeps its preset.
    std::string oldText = writeRecord(code("FILE"), older, names, lo.packing.data(), rec.data());
    std::vector<uint8_t> big(ln.size, 0);
    put<int32_t>(big, ln.offsets[10], 12345);
    EXPECT_EQ(
        readRecord(oldText + "[FILE]\r\n", code("FILE"), newer, ln.packing.data(), big.data()),
        kStructShort);
    EXPECT_EQ(at<int32_t>(big, ln.offsets[10]), 12345);
    EXPECT_EQ(std::memcmp(big.data(), rec.data(), lo.size), 0);
    // The end of the data also ends a record early.
    put<int32_t>(big, ln.offsets[10], 777);
    EXPECT_EQ(readRecord(oldText, code("FILE"), newer, ln.packing.data(), big.data()),
              kStructShort);
    EXPECT_EQ(at<int32_t>(big, ln.offsets[10]), 777);
    // A tag line straight after the tag: an empty record, untouched.
    std::vector<uint8_t> untouched(ln.size, 0x5A);
    EXPECT_EQ(readRecord("[FILE]\r\n[NEXT]\r\n", code("FILE"), newer, ln.packing.data(),
                         untouched.data()),
              noErr);
    EXPECT_EQ(untouched, std::vector<uint8_t>(ln.size, 0x5A));
    EXPECT_EQ(readRecord("[NEXT]\r\n", code("FILE"), newer, ln.packing.data(), untouched.data()),
              kStructNotFound);
    // Packing lists: strides, zero ends the list, and the record advances by stride.
    int32_t gaps[] = {4, 8, 2, 0};
    EXPECT_EQ(CheckPackingSize(gaps), 14);
    std::vector<uint8_t> g(14, 0);
    put<int32_t>(g, 0, 11);
    put<int32_t>(g, 4, 22);
    put<int16_t>(g, 12, 33);
    std::string gt = writeRecord(code("GAPS"), "LLSLLL", nullptr, gaps, g.data());
    EXPECT_EQ(gt, "[GAPS]\r\n11\r\n22\r\n33\r\n");
    std::vector<uint8_t> gb(14, 0);
    ASSERT_EQ(readRecord(gt, code("GAPS"), "LLSLLL", gaps, gb.data()), noErr);
    EXPECT_EQ(gb, g);
}

TEST_F(Codec, HostileValuesAreBoundedAndReported) {
    int32_t one[] = {4, 0};
    auto readOne = [&](const char* type, const std::string& value, uint32_t preset = 0) {
        uint8_t field[16] = {};
        std::memcpy(field, &preset, 4);
        OSErr err = readRecord("[HOST]\r\nv=" + value + "\r\n", code("HOST"), type, one, field);
        uint32_t word;
        std::memcpy(&word, field, 4);
        return std::make_pair(err, word);
    };
    // H: size 0 gives an empty Handle; negative gives null; a size far beyond
    // its text is refused; a text longer than its size is cut.
    auto [e1, h1] = readOne("H", "0");
    EXPECT_EQ(e1, noErr);
    ASSERT_NE(WordToHandle(h1), nullptr);
    EXPECT_EQ(FmGetHandleSize(WordToHandle(h1)), 0u);
    auto [e2, h2] = readOne("H", "-7,abc");
    EXPECT_EQ(e2, noErr);
    EXPECT_EQ(h2, 0u);
    auto [e3, h3] = readOne("H", "2000000000,abc");
    EXPECT_EQ(e3, kStructBadValue);
    EXPECT_EQ(h3, 0u);
    auto [e4, h4] = readOne("H", "3,abcdef");
    EXPECT_EQ(e4, noErr);
    EXPECT_EQ(bytesOf(WordToHandle(h4)), std::string("ab\0", 3));
    // M: lengths beyond the room or the line, totals beyond the line.
    auto [e5, h5] = readOne("M", "3,5,abcde,");
    EXPECT_EQ(e5, kStructBadValue);
    auto [e6, h6] = readOne("M", "99999999,2,ab,");
    EXPECT_EQ(e6, kStructBadValue);
    EXPECT_EQ(h6, 0u);
    auto [e7, h7] = readOne("M", "10,2,ab,");
    EXPECT_EQ(e7, kStructBadValue);
    auto [e8, h8] = readOne("M", "6,9,ab,");
    EXPECT_EQ(e8, kStructBadValue);
    // Y and Z: hex runs that do not match their size.
    auto [e9, h9] = readOne("Z", "4,A1B2");
    EXPECT_EQ(e9, kStructBadValue);
    EXPECT_EQ(bytesOf(WordToHandle(h9)), "\xA1\xB2");
    uint8_t y[16] = {};
    EXPECT_EQ(readRecord("[HOST]\r\nv=3,0a0B0c0D\r\n", code("HOST"), "Y",
                         std::vector<int32_t>{8, 0}.data(), y),
              kStructShort);
    Ptr yp;
    std::memcpy(&yp, y, sizeof yp);
    ASSERT_NE(yp, nullptr);
    EXPECT_EQ(std::string(yp, FmGetPtrSize(yp)), "\x0A\x0B\x0C");
    FmDisposePtr(yp);
    // W: zero-filled, bounded.
    auto [e10, h10] = readOne("W", "100");
    EXPECT_EQ(e10, noErr);
    EXPECT_EQ(bytesOf(WordToHandle(h10)), std::string(100, '\0'));
    auto [e11, h11] = readOne("W", "2000000000");
    EXPECT_EQ(e11, kStructBadValue);
    EXPECT_EQ(h11, 0u);
    // Z into an existing Handle resizes that Handle.
    Handle existing = handleOf("zzzzzzzz");
    auto [e12, h12] = readOne("Z", "2,0102", HandleToWord(existing));
    EXPECT_EQ(e12, noErr);
    EXPECT_EQ(WordToHandle(h12), existing);
    EXPECT_EQ(bytesOf(existing), "\x01\x02");
    // An allocation failure is -108 with a null field.
    uint32_t h13 = 0;
    {
        Reader big("[HOST]\r\nv=150000," + std::string(300000, 'A') + "\r\n", 400000);
        rc::platform::failAllocationsAbove(100000);
        EXPECT_EQ(ReadStruct(big.stream, code("HOST"), "Z", one, &h13), memFullErr);
        rc::platform::resetAllocationFaults();
    }
    EXPECT_EQ(h13, 0u);
    for (uint32_t w : {h1, h4, h5, h7, h8, h9, h10, h12})
        if (w) FmDisposeHandle(WordToHandle(w));

    // Huge reals fit the token buffers both ways.
    double big[2] = {1e300, -2.5e307};
    int32_t dpack[] = {16, 0};
    std::string dt = writeRecord(code("REAL"), "D[2]", "d", dpack, big);
    double dback[2] = {};
    ASSERT_EQ(readRecord(dt, code("REAL"), "D[2]", dpack, dback), noErr);
    EXPECT_EQ(dback[0], big[0]);
    EXPECT_EQ(dback[1], big[1]);

    // "{" needs an existing Handle large enough for the fields inside it.
    std::vector<uint8_t> rec(8, 0);
    int32_t bpack[] = {4, 2, 0};
    EXPECT_EQ(readRecord("[BLCK]\r\n1\r\n2\r\n", code("BLCK"), "{LS}", bpack, rec.data()),
              kStructNoBlock);
    Handle small = FmNewHandleClear(5);
    put<uint32_t>(rec, 0, HandleToWord(small));
    EXPECT_EQ(readRecord("[BLCK]\r\n1\r\n2\r\n", code("BLCK"), "{LS}", bpack, rec.data()),
              kStructSmallBlock);
    OSErr werr = noErr;
    writeRecord(code("BLCK"), "{LS}", nullptr, bpack, rec.data(), &werr);
    EXPECT_EQ(werr, kStructSmallBlock);
    FmSetHandleSize(small, 6);
    ASSERT_EQ(readRecord("[BLCK]\r\n1\r\n2\r\n", code("BLCK"), "{LS}", bpack, rec.data()), noErr);
    int32_t l1;
    int16_t s2;
    std::memcpy(&l1, *small, 4);
    std::memcpy(&s2, *small + 4, 2);
    EXPECT_EQ(l1, 1);
    EXPECT_EQ(s2, 2);
    // Fields after "}" continue just past the Handle.
    std::vector<uint8_t> outer(8, 0);
    put<uint32_t>(outer, 0, HandleToWord(small));
    put<int32_t>(outer, 4, 99);
    int32_t opack[] = {4, 2, 4, 0};
    std::string bt = writeRecord(code("BLCK"), "{LS}L", "a,b,c", opack, outer.data());
    EXPECT_EQ(bt, "[BLCK]\r\na=1\r\nb=2\r\nc=99\r\n");
    FmDisposeHandle(small);
}

TEST_F(Codec, LineBreaksAndSignsInsideValuesKeepTheFraming) {
    // Texts with CR LF and a fake tag line, in H and M, and nameless texts
    // containing "=".
    const std::string body = "one\r\n[FAKE]\r\ntwo\\";
    Handle h = handleOf(body + std::string(3, '\0'));
    Handle m = handleOf(std::string("a\r\n[FAKE]\0\nb\0", 13));
    std::string text = written([&](ProjBufHand out) {
        FmWriteSectionTag(out, code("REAL"));
        FmWriteHandle(out, "h", h);
        FmWriteHandleStrList(out, "", m);
        FmWriteCStr(out, nullptr, "[x]=y");
        FmWriteFourCharCode(out, nullptr, code("a=b,"));
        FmWriteSectionTag(out, code("LAST"));
    });
    for (const auto& line : lines(text)) {
        if (!line.empty() && line[0] == '[') {
            EXPECT_TRUE(line == "[REAL]" || line == "[LAST]");
        }
    }
    Reader r(text, 16);
    EXPECT_EQ(FindStruct(r.stream, code("FAKE")), 0);
    ASSERT_EQ(ResetFile(r.stream), noErr);
    ASSERT_EQ(FmFindAndReadSectionTag(r.stream, code("REAL")), noErr);
    Handle hb = nullptr, mb = nullptr;
    char t[8] = {};
    OSType c = 0;
    ASSERT_EQ(FmReadHandle(r.stream, nullptr, &hb), noErr);
    ASSERT_EQ(FmReadHandleStrList(r.stream, nullptr, &mb), noErr);
    ASSERT_EQ(FmReadCStr(r.stream, nullptr, t, sizeof t), noErr);
    ASSERT_EQ(FmReadFourCharCode(r.stream, nullptr, &c), noErr);
    EXPECT_EQ(bytesOf(hb), body + std::string(3, '\0'));
    EXPECT_EQ(bytesOf(mb), bytesOf(m));
    EXPECT_STREQ(t, "[x]=y");
    EXPECT_EQ(c, code("a=b,"));
    OSType next = 0;
    EXPECT_EQ(GetStructInfo(r.stream, &next), code("LAST"));
    EXPECT_EQ(next, code("LAST"));
    for (Handle x : {h, m, hb, mb}) FmDisposeHandle(x);
}

// Older files write H and M values raw: the stated bytes, line breaks and
// all. They read whole, and a "[" line inside them is no tag.
TEST_F(Codec, RawMultiLineValuesOfOlderFiles) {
    const int32_t packing[] = {4, 4, 0};
    for (int32_t capacity : {16, 4096}) {  // value across buffer refills, and within one
        std::vector<uint8_t> rec(8, 0);
        Reader r("[HRAW]\r\nh=13,a\r\n[FAKE]\r\nb\r\nv=9\r\n[NEXT]\r\n", capacity);
        ASSERT_EQ(ReadStruct(r.stream, code("HRAW"), "HL", packing, rec.data()), noErr);
        Handle h = WordToHandle(at<uint32_t>(rec, 0));
        EXPECT_EQ(bytesOf(h), std::string("a\r\n[FAKE]\r\nb\0", 13));
        EXPECT_EQ(at<int32_t>(rec, 4), 9);
        OSType next = 0;
        EXPECT_EQ(GetStructInfo(r.stream, &next), code("NEXT"));
        FmDisposeHandle(h);

        Reader m("[MRAW]\r\nm=6,4,x\r\ny,0,\r\nv=5\r\n", capacity);
        ASSERT_EQ(ReadStruct(m.stream, code("MRAW"), "ML", packing, rec.data()), noErr);
        Handle list = WordToHandle(at<uint32_t>(rec, 0));
        EXPECT_EQ(bytesOf(list), std::string("x\r\ny\0\0", 6));
        EXPECT_EQ(at<int32_t>(rec, 4), 5);
        FmDisposeHandle(list);
    }
    // Keyed readers take the raw form too.
    Reader k("[KEYS]\r\nh=6,ab\ncd\r\nn=3\r\n", 16);
    ASSERT_EQ(FmFindAndReadSectionTag(k.stream, code("KEYS")), noErr);
    Handle kh = nullptr;
    ASSERT_EQ(FmReadHandle(k.stream, nullptr, &kh), noErr);
    EXPECT_EQ(bytesOf(kh), std::string("ab\ncd\0", 6));
    int32_t n = 0;
    EXPECT_EQ(FmReadLong(k.stream, nullptr, &n), noErr);
    EXPECT_EQ(n, 3);
    FmDisposeHandle(kh);
    // A short text in a larger Handle stays on its line when the stated
    // bytes would end inside a line or split a CR LF.
    std::vector<uint8_t> rec(8, 0);
    ASSERT_EQ(readRecord("[HRAW]\r\nh=10,abc\r\nv=1\r\n", code("HRAW"), "HL", packing, rec.data()),
              noErr);
    Handle shortText = WordToHandle(at<uint32_t>(rec, 0));
    EXPECT_EQ(bytesOf(shortText), std::string("abc\0\0\0\0\0\0\0", 10));
    EXPECT_EQ(at<int32_t>(rec, 4), 1);
    // Such a text is written in the escaped form now, and reads back whole.
    std::string text = written([&](ProjBufHand out) {
        FmWriteSectionTag(out, code("KEYS"));
        FmWriteHandle(out, "h", shortText);
        FmWriteLong(out, "v", -1);
    });
    EXPECT_NE(text.find("h=10~,abc\r\n"), std::string::npos) << text;
    Reader back(text, 16);
    ASSERT_EQ(FmFindAndReadSectionTag(back.stream, code("KEYS")), noErr);
    Handle again = nullptr;
    ASSERT_EQ(FmReadHandle(back.stream, nullptr, &again), noErr);
    EXPECT_EQ(bytesOf(again), bytesOf(shortText));
    FmDisposeHandle(again);
    FmDisposeHandle(shortText);
}

TEST_F(Codec, KeyedValuesOfEveryKind) {
    FmRect rect{-1, 2, 300000, -400000};
    FmPoint point{7, -8};
    Handle text = handleOf(std::string("hello\0", 6));
    Handle sized = FmNewHandle(33);
    Ptr opaque = FmNewPtr(3);
    std::memcpy(opaque, "\x00\xFF\x10", 3);
    Handle blob = handleOf("\x01\x02\x03\x04");
    int32_t keyed[3] = {5, -6, 7};
    std::string out = written([&](ProjBufHand s) {
        FmWriteSectionTag(s, code("KEYS"));
        EXPECT_EQ(FmWriteLong(s, "l", INT32_MIN), noErr);
        FmWriteShort(s, "s", -32768);
        FmWriteBoolean(s, "b", 1);
        FmWriteDouble(s, "d", -1234.5678915);
        FmWriteFmRect(s, "r", &rect);
        FmWriteFmPoint(s, "p", &point);
        FmWriteHandleSize(s, "w", sized);
        FmWriteHandle(s, "h", text);
        FmWriteOpaquePtr(s, "y", opaque);
        FmWriteOpaqueHandle(s, "z", blob);
        FmWriteKey(s, "k", "L", 3, keyed);
        FmWriteCStr(s, "e", "");
    });
    auto ls = lines(out);
    ASSERT_EQ(ls.size(), 13u);
    EXPECT_EQ(ls[4], "d=-1234.567892");
    EXPECT_EQ(ls[5], "r=-1,2,300000,-400000");
    EXPECT_EQ(ls[7], "w=33");
    EXPECT_EQ(ls[8], "h=6,hello");
    EXPECT_EQ(ls[9], "y=3,00FF10");
    EXPECT_EQ(ls[10], "z=4,01020304");
    EXPECT_EQ(ls[11], "k=5,-6,7");
    EXPECT_EQ(ls[12], "e=");
    Reader r(out, 16);
    ASSERT_EQ(FmFindAndReadSectionTag(r.stream, code("KEYS")), noErr);
    int32_t l = 0;
    int16_t s = 0;
    Boolean b = 0;
    double d = 0;
    FmRect rb{};
    FmPoint pb{};
    Handle wb = nullptr, hb = nullptr, zb = nullptr;
    Ptr yb = nullptr;
    int32_t kb[3] = {};
    char e[4] = "xx";
    EXPECT_EQ(FmReadLong(r.stream, "l", &l), noErr);
    EXPECT_EQ(FmReadShort(r.stream, "s", &s), noErr);
    EXPECT_EQ(FmReadBoolean(r.stream, "b", &b), noErr);
    EXPECT_EQ(FmReadDouble(r.stream, "d", &d), noErr);
    EXPECT_EQ(FmReadFmRect(r.stream, "r", &rb), noErr);
    EXPECT_EQ(FmReadFmPoint(r.stream, "p", &pb), noErr);
    EXPECT_EQ(FmReadHandleSize(r.stream, "w", &wb), noErr);
    EXPECT_EQ(FmReadHandle(r.stream, "h", &hb), noErr);
    EXPECT_EQ(FmReadOpaquePtr(r.stream, "y", &yb), noErr);
    EXPECT_EQ(FmReadOpaqueHandle(r.stream, "z", &zb), noErr);
    EXPECT_EQ(FmReadKey(r.stream, "k", "L", 3, kb), noErr);
    EXPECT_EQ(FmReadCStr(r.stream, "e", e, sizeof e), noErr);
    EXPECT_EQ(l, INT32_MIN);
    EXPECT_EQ(s, -32768);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(d, -1234.567892);
    EXPECT_EQ(std::memcmp(&rb, &rect, sizeof rect), 0);
    EXPECT_EQ(pb.x, 7);
    EXPECT_EQ(pb.y, -8);
    EXPECT_EQ(bytesOf(wb), std::string(33, '\0'));
    EXPECT_EQ(bytesOf(hb), bytesOf(text));
    EXPECT_EQ(std::string(yb, FmGetPtrSize(yb)), std::string(opaque, 3));
    EXPECT_EQ(bytesOf(zb), bytesOf(blob));
    EXPECT_EQ(std::vector<int32_t>(kb, kb + 3), std::vector<int32_t>(keyed, keyed + 3));
    EXPECT_STREQ(e, "");
    EXPECT_EQ(FmFindAndReadSectionTag(r.stream, code("KEYS")), fnfErr);
    for (Handle x : {text, sized, blob, wb, hb, zb}) FmDisposeHandle(x);
    FmDisposePtr(opaque);
    FmDisposePtr(yb);
    // Bad arguments are refused.
    EXPECT_EQ(FmWriteKey(nullptr, "k", "L", 1, keyed), kProjParamErr);
    EXPECT_EQ(FmWriteCStr(nullptr, "k", nullptr), kProjParamErr);
    EXPECT_EQ(
        WriteStruct(nullptr, code("AAAA"), "L", nullptr, std::vector<int32_t>{4, 0}.data(), keyed),
        kProjParamErr);
}

}  // namespace

namespace {

// Numbers keep "." as their decimal point whatever the C locale says.
TEST_F(Codec, NumbersIgnoreTheLocale) {
    const char* commaLocales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8",
                                  "nl_NL.UTF-8"};
    std::string previous = setlocale(LC_ALL, nullptr);
    const char* chosen = nullptr;
    for (const char* name : commaLocales)
        if (setlocale(LC_ALL, name)) {
            chosen = name;
            break;
        }
    if (!chosen) GTEST_SKIP() << "no locale with a decimal comma is installed";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    EXPECT_STREQ(probe, "1,5");  // the locale is really in effect
    double values[2] = {-1234.5, 0.25};
    int32_t packing[] = {16, 0};
    std::string text = written(
        [&](ProjBufHand out) { WriteStruct(out, code("REAL"), "D[2]", "d", packing, values); });
    double back[2] = {}, second[2] = {};
    Reader r(text + "[REAL]\r\nd=2.75,1e-3\r\n", 64);
    OSErr first = ReadStruct(r.stream, code("REAL"), "D[2]", packing, back);
    OSErr next = ReadStruct(r.stream, code("REAL"), "D[2]", packing, second);
    setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(first, noErr);
    EXPECT_EQ(next, noErr);
    EXPECT_EQ(text, "[REAL]\r\nd=-1234.500000,0.250000\r\n");
    EXPECT_EQ(back[0], -1234.5);
    EXPECT_EQ(back[1], 0.25);
    EXPECT_EQ(second[0], 2.75);
    EXPECT_EQ(second[1], 0.001);
}

}  // namespace
