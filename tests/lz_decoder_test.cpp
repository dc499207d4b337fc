#include "payload/lz_decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/file_stream.h"
#include "tests/support/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
using testing_support::Ansi;
using testing_support::TempDir;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Writes symbols of the block format, MSB first, zero padded.
class SymbolWriter {
  public:
    SymbolWriter& Bits(uint32_t value, int n) {
        for (int i = n - 1; i >= 0; --i) {
            if (m_nBits % 8 == 0) m_bytes.push_back(0);
            if ((value >> i) & 1) m_bytes.back() |= uint8_t(0x80 >> (m_nBits % 8));
            ++m_nBits;
        }
        return *this;
    }
    SymbolWriter& Literal(uint8_t b) {
        ++m_nPos;
        return Bits(0, 1).Bits(b, 8);
    }
    SymbolWriter& Literals(const std::string& s) {
        for (char c : s) Literal(uint8_t(c));
        return *this;
    }
    // A match at the current position; the offset width follows it.
    SymbolWriter& Match(int32_t len, uint32_t d) {
        Bits(1, 1).LengthCode(len).Bits(d, CLzDecoder::CeilLog2(m_nPos));
        m_nPos += len;
        return *this;
    }
    SymbolWriter& LengthCode(int32_t len) {
        int k = 0;
        while ((int32_t(2) << k) <= len - 1) ++k;
        if (len == 2) return Bits(0, 1);
        return Bits((1u << (k + 1)) - 2, k + 1).Bits(uint32_t(len - 1) & ((1u << k) - 1), k);
    }
    const Bytes& bytes() const { return m_bytes; }
    int32_t pos() const { return m_nPos; }

  private:
    Bytes m_bytes;
    int m_nBits = 0;
    int32_t m_nPos = 0;
};

Bytes Header(uint16_t raw, uint16_t packed) {
    return {uint8_t(raw), uint8_t(raw >> 8), uint8_t(packed), uint8_t(packed >> 8)};
}

Bytes PackedBlock(uint16_t rawField, const SymbolWriter& w) {
    // K == R would read as a stored block.
    EXPECT_NE(w.bytes().size(), rawField) << "test block would read as stored";
    return Concat({Header(rawField, uint16_t(w.bytes().size())), w.bytes()});
}

Bytes StoredBlock(const Bytes& data) {
    uint16_t field = uint16_t(data.size());
    return Concat({Header(field, field), data});
}

// -1 or the decoded bytes, from an output buffer of exactly outCap bytes and
// an input of exactly the item's size, so that ASan sees any stray access.
struct Decoded {
    int32_t result;
    Bytes out;
};

Decoded ViaBuffer(const Bytes& item, int32_t outCap) {
    Bytes in(item);
    Bytes out(size_t(outCap > 0 ? outCap : 0));
    CLzDecoder decoder;
    int32_t n = decoder.DecodeBuffer(out.data(), outCap, in.data(), int32_t(in.size()));
    out.resize(n > 0 ? size_t(n) : 0);
    return {n, out};
}

Decoded ViaStream(const Bytes& item, int32_t packedLen, size_t prefix = 0) {
    TempDir dir;
    Bytes file(prefix, 0xEE);
    file.insert(file.end(), item.begin(), item.end());
    testing_support::WriteHostFile(dir.Join("in.bin"), file);
    CFileStream in(Ansi(dir.Join("in.bin")).c_str(), CFileStream::kRead);
    CFileStream out(Ansi(dir.Join("out.bin")).c_str(), CFileStream::kWrite);
    EXPECT_TRUE(in.Seek(int64_t(prefix)));
    CLzDecoder decoder;
    int32_t n = decoder.DecodeStream(in, out, packedLen);
    out.Close();
    return {n, testing_support::ReadHostFile(dir.Join("out.bin"))};
}

TEST(LzDecoder, WorkedExamples) {
    struct Case {
        Bytes item;
        std::string text;
    } cases[] = {
        {{0x04, 0x00, 0x02, 0x00, 0x30, 0xE0}, "aaaa"},
        {{0x06, 0x00, 0x03, 0x00, 0x30, 0x98, 0xB4}, "ababab"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Decoded b = ViaBuffer(c.item, int32_t(c.text.size()));
        EXPECT_EQ(b.result, int32_t(c.text.size()));
        EXPECT_EQ(b.out, Text(c.text));
        Decoded s = ViaStream(c.item, int32_t(c.item.size()), 13);
        EXPECT_EQ(s.result, int32_t(c.text.size()));
        EXPECT_EQ(s.out, Text(c.text));
    }
}

struct EdgeCase {
    const char* name;
    Bytes item;
    Bytes expected;
};

std::vector<EdgeCase> EdgeCases() {
    std::vector<EdgeCase> cases;
    Bytes hundred(100);
    for (int i = 0; i < 100; ++i) hundred[i] = uint8_t(i * 7);
    Bytes aaaaItem = {0x04, 0x00, 0x02, 0x00, 0x30, 0xE0};
    cases.push_back({"stored 100 bytes, next header at 104",
                     Concat({StoredBlock(hundred), aaaaItem}), Concat({hundred, Text("aaaa")})});

    Bytes full(kBlockSize);
    for (size_t i = 0; i < full.size(); ++i) full[i] = uint8_t(i ^ (i >> 8));
    cases.push_back({"stored 65,536 bytes, R = K = 0",
                     Concat({Header(0, 0), full, StoredBlock(Text("!"))}),
                     Concat({full, Text("!")})});

    SymbolWriter run;
    run.Literal('x').Match(kBlockSize - 1, 0);
    cases.push_back({"packed 65,536 bytes, one run", Concat({PackedBlock(0, run), aaaaItem}),
                     Concat({Bytes(kBlockSize, 'x'), Text("aaaa")})});

    // The window never moves: d = 0 still means the block's first byte at P = 65,534.
    SymbolWriter far;
    far.Literals("AB").Match(kBlockSize - 4, 1).Match(2, 0);
    Bytes farOut = Concat({Text("AB"), Bytes(kBlockSize - 4, 'B'), Text("AB")});
    cases.push_back({"d = 0 at the end of a full block", PackedBlock(0, far), farOut});

    for (int32_t p = 2; p <= 5; ++p) {
        // A wrong offset width would shift the literal that follows. (The
        // match is long enough that K stays below R: K == R means stored.)
        std::string prefix = std::string("abcde").substr(0, size_t(p));
        SymbolWriter w;
        w.Literals(prefix).Match(6, uint32_t(p - 1)).Literal('z');
        std::string out = prefix + std::string(6, prefix.back()) + "z";
        cases.push_back({"offset width at P", PackedBlock(uint16_t(out.size()), w), Text(out)});
    }

    SymbolWriter overlap;
    overlap.Literals("xyz").Match(10, 1);
    cases.push_back(
        {"overlapping match repeats a pattern", PackedBlock(13, overlap), Text("xyzyzyzyzyzyz")});

    SymbolWriter longOverlap;  // periods of 9: the bulk copy path with junk room after it
    longOverlap.Literals("123456789").Match(40, 0).Literal('.');
    cases.push_back({"long overlapping match", PackedBlock(50, longOverlap),
                     Text("123456789123456789123456789123456789123456789"
                          "1234.")});

    // Bits after the last symbol are ignored, ones included.
    cases.push_back({"match ends the block; padding bits set",
                     {0x04, 0x00, 0x02, 0x00, 0x30, 0xE7},
                     Text("aaaa")});

    SymbolWriter fresh;  // each block starts an empty window
    fresh.Literal('q').Match(2, 0);
    cases.push_back({"second packed block has its own window",
                     Concat({aaaaItem, PackedBlock(3, fresh)}), Text("aaaaqqq")});
    return cases;
}

TEST(LzDecoder, EdgeCasesDecodeExactly) {
    for (const EdgeCase& c : EdgeCases()) {
        SCOPED_TRACE(c.name);
        int32_t size = int32_t(c.expected.size());
        Decoded b = ViaBuffer(c.item, size);
        EXPECT_EQ(b.result, size);
        EXPECT_TRUE(b.out == c.expected);
        Decoded s = ViaStream(c.item, int32_t(c.item.size()));
        EXPECT_EQ(s.result, size);
        EXPECT_TRUE(s.out == c.expected);
    }
}

TEST(LzDecoder, EmptyItemDecodesToNothing) {
    EXPECT_EQ(ViaBuffer({}, 0).result, 0);
    Decoded s = ViaStream({}, 0);
    EXPECT_EQ(s.result, 0);
    EXPECT_TRUE(s.out.empty());
}

TEST(LzDecoder, OutputCapacityIsInclusive) {
    Bytes item =
        Concat({StoredBlock(Text("hello ")), Bytes{0x06, 0x00, 0x03, 0x00, 0x30, 0x98, 0xB4}});
    EXPECT_EQ(ViaBuffer(item, 12).result, 12);
    EXPECT_EQ(ViaBuffer(item, 11).result, -1);
    // Blocks that fit stay written when a later one does not.
    Bytes out(11, 0);
    CLzDecoder decoder;
    EXPECT_EQ(decoder.DecodeBuffer(out.data(), 11, item.data(), int32_t(item.size())), -1);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 6), Text("hello "));
}

TEST(LzDecoder, DecodeBlockLimits) {
    uint8_t in[2] = {0x30, 0xE0};
    uint8_t out[4] = {9, 9, 9, 9};
    CLzDecoder decoder;
    EXPECT_FALSE(decoder.DecodeBlock(out, kBlockSize + 1, in, 2));
    EXPECT_TRUE(decoder.DecodeBlock(out, 0, in, 2));
    EXPECT_TRUE(decoder.DecodeBlock(out, -3, in, 2));
    EXPECT_EQ(Bytes(out, out + 4), Bytes(4, 9));
    EXPECT_TRUE(decoder.DecodeBlock(out, 4, in, 2));
    EXPECT_EQ(Bytes(out, out + 4), Text("aaaa"));
}

struct MalformedCase {
    const char* name;
    Bytes item;
    int32_t outCap;  // what the container would promise
};

std::vector<MalformedCase> MalformedCases() {
    std::vector<MalformedCase> cases;
    SymbolWriter pastRaw;
    pastRaw.Literal('a').Match(3, 0);
    cases.push_back({"match past the raw length", PackedBlock(3, pastRaw), 3});

    SymbolWriter atP;
    atP.Literals("abc").Match(2, 3);
    cases.push_back({"d equal to P", PackedBlock(8, atP), 8});

    SymbolWriter first;
    first.Match(2, 0).Literals("abcd");
    cases.push_back({"match before any byte", PackedBlock(6, first), 6});

    SymbolWriter ones;
    ones.Literal('a').Bits(1, 1).Bits(0xFFFF, 16).Bits(0, 1).Bits(0, 16).Literals("pad");
    cases.push_back({"16 ones in a length prefix", PackedBlock(100, ones), 100});
    cases.push_back({"length prefix runs to the end of the data",
                     Concat({Header(100, 4), Bytes{0x30, 0xFF, 0xFF, 0xFF}}), 100});

    cases.push_back(
        {"packed length 0 with raw length 5", Concat({Header(5, 0), Text("abcde")}), 5});
    cases.push_back({"packed length 0 with raw length 5, nothing after",
                     Concat({Header(5, 0), Bytes(3, 0)}), 5});

    cases.push_back(
        {"bit stream ends before the raw length", Concat({Header(10, 2), Bytes{0x30, 0xE0}}), 10});
    SymbolWriter midOffset;                   // the last offset field is cut by the end of the data
    midOffset.Literals("abcde").Match(2, 4);  // offset bits 47..49, data cut at 48
    Bytes cut = PackedBlock(9, midOffset);
    cut.pop_back();
    cut[2] = uint8_t(cut.size() - 4);
    cases.push_back({"bit stream ends inside an offset field", cut, 9});

    cases.push_back({"item cut inside a header", Bytes{0x04, 0x00}, 4});
    cases.push_back({"stored data past the item", Concat({Header(100, 100), Bytes(50, 1)}), 100});
    cases.push_back({"packed data past the item", Concat({Header(100, 10), Bytes(5, 0)}), 100});
    cases.push_back({"second block cut off",
                     Concat({StoredBlock(Text("ok")), Header(0, 0), Bytes(1000, 7)}), 70000});
    return cases;
}

TEST(LzDecoder, MalformedItemsAreRejected) {
    for (const MalformedCase& c : MalformedCases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ViaBuffer(c.item, c.outCap).result, -1);
        EXPECT_EQ(ViaStream(c.item, int32_t(c.item.size())).result, -1);
    }
}

TEST(LzDecoder, StreamFailures) {
    Bytes aaaa = {0x04, 0x00, 0x02, 0x00, 0x30, 0xE0};
    // The container promises more than the file holds.
    EXPECT_EQ(ViaStream(aaaa, 12).result, -1);
    // The promised count ends inside a block.
    EXPECT_EQ(ViaStream(aaaa, 5).result, -1);

    TempDir dir;
    testing_support::WriteHostFile(dir.Join("in.bin"), aaaa);
    CFileStream in(Ansi(dir.Join("in.bin")).c_str(), CFileStream::kRead);
    CFileStream full(Ansi("/dev/full").c_str(), CFileStream::kWrite);
    ASSERT_TRUE(full.IsOpen());
    CLzDecoder decoder;
    EXPECT_EQ(decoder.DecodeStream(in, full, int32_t(aaaa.size())), -1);

    CFileStream closed;
    ASSERT_TRUE(in.Seek(0));
    EXPECT_EQ(decoder.DecodeStream(in, closed, int32_t(aaaa.size())), -1);
}

// The field reader exactly as the format defines it, built from the helpers:
// n bits read into a zeroed 4-byte buffer at bit 32 - n, the buffer reversed
// and taken as little-endian.
class ReferenceReader {
  public:
    explicit ReferenceReader(const uint8_t* in) : m_pIn(in) {}
    uint32_t Field(int n) {
        uint8_t buf[4] = {0, 0, 0, 0};
        CLzDecoder::ReadBits(buf, 32 - n, m_pIn + m_nByte, m_nBit, n);
        CLzDecoder::ReverseBytes4(buf);
        CLzDecoder::AdvanceBits(m_nByte, m_nBit, n);
        return uint32_t(buf[0]) | uint32_t(buf[1]) << 8 | uint32_t(buf[2]) << 16 |
               uint32_t(buf[3]) << 24;
    }

  private:
    const uint8_t* m_pIn;
    int m_nByte = 0;
    int m_nBit = 0;
};

Bytes ReferenceDecode(const Bytes& stream, int32_t rawLen) {
    Bytes out(static_cast<size_t>(rawLen));  // well-formed streams only
    ReferenceReader r(stream.data());
    int32_t i = 0;
    while (i < rawLen) {
        if (r.Field(1) == 0) {
            out[size_t(i++)] = uint8_t(r.Field(8));
            continue;
        }
        int k = 0;
        while (r.Field(1)) ++k;
        int32_t len = k ? (int32_t(1) << k) + int32_t(r.Field(k)) + 1 : 2;
        int w = CLzDecoder::CeilLog2(i);
        uint32_t d = w ? r.Field(w) : 0;
        for (int32_t j = 0; j < len; ++j) out[size_t(i + j)] = out[d + size_t(j)];
        i += len;
    }
    return out;
}

TEST(LzDecoder, FastReaderAgreesWithReferenceOnRandomStreams) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 300; ++round) {
        int32_t rawLen = round < 250 ? int32_t(rng() % 3000) + 1 : kBlockSize - int32_t(rng() % 50);
        SymbolWriter w;
        Bytes expected;
        while (w.pos() < rawLen) {
            int32_t room = rawLen - w.pos();
            if (w.pos() == 0 || room < 2 || rng() % 3 == 0) {
                uint8_t b = uint8_t(rng());
                w.Literal(b);
                expected.push_back(b);
                continue;
            }
            int bitsOfLength = int(rng() % 16) + 1;  // every length class
            int32_t len = std::min<int32_t>(room, 2 + int32_t(rng() % (1u << bitsOfLength)));
            uint32_t d = uint32_t(rng() % uint32_t(w.pos()));
            for (int32_t j = 0; j < len; ++j) expected.push_back(expected[d + size_t(j)]);
            w.Match(len, d);
        }
        Bytes stream = w.bytes();
        Bytes out(size_t(rawLen), 0);
        CLzDecoder decoder;
        ASSERT_TRUE(decoder.DecodeBlock(out.data(), rawLen, stream.data(), int32_t(stream.size())));
        ASSERT_TRUE(out == expected) << "round " << round;
        ASSERT_TRUE(ReferenceDecode(stream, rawLen) == expected) << "round " << round;
    }
}

TEST(LzDecoderBits, CeilLog2) {
    const int32_t table[][2] = {{INT32_MIN, -1}, {-1, -1},    {0, -1},       {1, 0},
                                {2, 1},          {3, 2},      {4, 2},        {5, 3},
                                {8, 3},          {9, 4},      {32768, 15},   {32769, 16},
                                {65536, 16},     {65537, 17}, {1 << 30, 30}, {INT32_MAX, 31}};
    for (const auto& row : table) EXPECT_EQ(CLzDecoder::CeilLog2(row[0]), row[1]) << row[0];
}

TEST(LzDecoderBits, SmallHelpers) {
    EXPECT_EQ(CLzDecoder::Min(3, -2), -2);
    EXPECT_EQ(CLzDecoder::Select(1, 7, 8), 7);
    EXPECT_EQ(CLzDecoder::Select(0, 7, 8), 8);
    EXPECT_EQ(CLzDecoder::Select(-1, 7, 8), 8);
    EXPECT_EQ(CLzDecoder::GetBit(0x80, 0), 1);
    EXPECT_EQ(CLzDecoder::GetBit(0x80, 1), 0);
    EXPECT_EQ(CLzDecoder::GetBit(0x01, 7), 1);

    int bytePos = 2, bitPos = 5;
    CLzDecoder::AdvanceBits(bytePos, bitPos, 20);
    EXPECT_EQ(bytePos, 5);
    EXPECT_EQ(bitPos, 1);

    uint8_t dst = 0xFF;
    CLzDecoder::CopyBits(dst, 2, 0x0A, 4, 3);  // bits 4..6 of 00001010 are 101
    EXPECT_EQ(dst, 0xEF);                      // 11 101 111
    uint8_t rev[4] = {1, 2, 3, 4};
    CLzDecoder::ReverseBytes4(rev);
    EXPECT_EQ(Bytes(rev, rev + 4), (Bytes{4, 3, 2, 1}));
}

TEST(LzDecoderBits, ReadBitsMatchesBitByBitCopy) {
    std::mt19937 rng(99);
    for (int round = 0; round < 2000; ++round) {
        uint8_t src[8], dst[8], expected[8];
        for (int i = 0; i < 8; ++i) src[i] = uint8_t(rng()), dst[i] = expected[i] = uint8_t(rng());
        int srcBit = int(rng() % 8), dstBit = int(rng() % 24);
        int n = int(rng() % 33);
        for (int j = 0; j < n; ++j) {
            int s = srcBit + j, t = dstBit + j;
            int bit = CLzDecoder::GetBit(src[s / 8], s % 8);
            expected[t / 8] =
                uint8_t((expected[t / 8] & ~(0x80 >> (t % 8))) | (bit << (7 - t % 8)));
        }
        CLzDecoder::ReadBits(dst, dstBit, src, srcBit, n);
        ASSERT_EQ(Bytes(dst, dst + 8), Bytes(expected, expected + 8))
            << "srcBit " << srcBit << " dstBit " << dstBit << " n " << n;
    }
}

}  // namespace
