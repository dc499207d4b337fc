#include "tools/mksetup/lz_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "payload/lz_decoder.h"
#include "platform/file_stream.h"
#include "tests/support/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
using testing_support::Ansi;
using testing_support::TempDir;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Concat(const Bytes& a, const Bytes& b) {
    Bytes all(a);
    all.insert(all.end(), b.begin(), b.end());
    return all;
}

Bytes Encode(const Bytes& data) { return LzEncode(data.data(), data.size()); }

// Every parse the format allows, tried exhaustively: literal (9 bits) or a
// match of any length 2.. from any earlier source d (overlap allowed).
uint32_t BruteForceBits(const Bytes& s) {
    const int64_t kNone = INT64_MAX / 2;
    size_t n = s.size();
    std::vector<int64_t> cost(n + 1, kNone);
    cost[0] = 0;
    for (size_t p = 0; p < n; ++p) {
        cost[p + 1] = std::min(cost[p + 1], cost[p] + 9);
        for (size_t d = 0; p > 0 && d < p; ++d) {
            for (size_t len = 1; p + len <= n && s[d + len - 1] == s[p + len - 1]; ++len) {
                if (len < 2) continue;
                int k = 0;
                while ((size_t(2) << k) <= len - 1) ++k;
                int64_t bits = 2 + 2 * k + CLzDecoder::CeilLog2(int32_t(p));
                cost[p + len] = std::min(cost[p + len], cost[p] + bits);
            }
        }
    }
    return uint32_t(cost[n]);
}

// Walks an item's headers: (raw length, packed field) per block.
std::vector<std::pair<int32_t, int32_t>> Blocks(const Bytes& item) {
    std::vector<std::pair<int32_t, int32_t>> blocks;
    for (size_t at = 0; at + 4 <= item.size();) {
        int32_t r = item[at] | item[at + 1] << 8, k = item[at + 2] | item[at + 3] << 8;
        int32_t raw = r ? r : kBlockSize;
        blocks.push_back({raw, k});
        at += 4 + size_t(k == r ? raw : k);
    }
    return blocks;
}

TEST(LzEncoder, WorkedExamplesByteForByte) {
    EXPECT_EQ(Encode(Text("aaaa")), (Bytes{0x04, 0x00, 0x02, 0x00, 0x30, 0xE0}));
    EXPECT_EQ(Encode(Text("ababab")), (Bytes{0x06, 0x00, 0x03, 0x00, 0x30, 0x98, 0xB4}));
}

TEST(LzEncoder, ParseIsOptimalOnSmallInputs) {
    std::mt19937 rng(7);
    const int alphabets[] = {1, 2, 3, 4, 256};
    for (int round = 0; round < 600; ++round) {
        int alphabet = alphabets[round % 5];
        Bytes s(size_t(rng() % 90) + 1);
        for (uint8_t& b : s) b = uint8_t('a' + rng() % unsigned(alphabet));
        uint32_t bits = BruteForceBits(s);
        ASSERT_EQ(LzPackedBlockBits(s.data(), s.size()), bits)
            << "round " << round << ": " << std::string(s.begin(), s.end());
        // The item spends exactly that, padded to whole bytes, unless stored.
        Bytes item = Encode(s);
        int32_t packed = int32_t((bits + 7) / 8);
        int32_t expected = packed < int32_t(s.size()) ? packed : int32_t(s.size());
        ASSERT_EQ(item.size(), size_t(4 + expected)) << "round " << round;
    }
}

TEST(LzEncoder, LongRunsAndFullBlocks) {
    // Literal x, then a match of 65,535 at P = 1 (no offset bits): flag, 15
    // ones and a zero, the 15 bits of 65,534 below its leading one. 41 bits.
    Bytes run(kBlockSize, 'x');
    EXPECT_EQ(LzPackedBlockBits(run.data(), run.size()), 41u);
    EXPECT_EQ(Encode(run), (Bytes{0x00, 0x00, 0x06, 0x00, 0x3C, 0x7F, 0xFF, 0xBF, 0xFF, 0x00}));
    EXPECT_EQ(LzPackedBlockBits(run.data(), 0), 0u);
    EXPECT_EQ(LzPackedBlockBits(run.data(), run.size() + 1), 0u);
}

struct RoundTrip {
    const char* name;
    std::function<Bytes()> make;
};

Bytes RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (uint8_t& x : b) x = uint8_t(rng());
    return b;
}

Bytes Prose(size_t n, uint32_t seed) {
    static const char* const kWords[] = {"the",   "setup",   "installs", "files",   "into",
                                         "a",     "folder",  "of",       "your",    "choice",
                                         "while", "showing", "progress", "and",     "writes",
                                         "log",   "lines",   "\r\n",     "shortcut"};
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < n) s += std::string(kWords[rng() % 19]) + (rng() % 7 ? " " : ", ");
    s.resize(n);
    return Text(s);
}

Bytes Mixed(size_t n) {
    Bytes out;
    for (uint32_t part = 0; out.size() < n; ++part) {
        Bytes piece;
        switch (part % 4) {
            case 0:
                piece = Prose(5000, part);
                break;
            case 1:
                piece = RandomBytes(3000, part);
                break;
            case 2:
                piece = Bytes(4000, uint8_t(part));
                break;
            default:
                for (uint32_t i = 0; i < 2000; ++i) piece.push_back(uint8_t(i * part >> 3));
        }
        out.insert(out.end(), piece.begin(), piece.end());
    }
    out.resize(n);
    return out;
}

std::vector<RoundTrip> RoundTrips() {
    return {
        {"empty", [] { return Bytes(); }},
        {"one byte", [] { return Bytes{0x5A}; }},
        {"two bytes", [] { return Text("zz"); }},
        {"run of one byte over three blocks", [] { return Bytes(200000, 0); }},
        {"two-byte pattern",
         [] {
             Bytes b(70001);
             for (size_t i = 0; i < b.size(); ++i) b[i] = "ab"[i % 2];
             return b;
         }},
        {"text", [] { return Prose(100000, 1); }},
        {"text of exactly one block", [] { return Prose(kBlockSize, 2); }},
        {"text of one block and a byte", [] { return Prose(kBlockSize + 1, 3); }},
        {"random of one block and a byte", [] { return RandomBytes(kBlockSize + 1, 4); }},
        {"mixed", [] { return Mixed(300000); }},
    };
}

Bytes DecodeViaStream(const Bytes& item, int32_t* result) {
    TempDir dir;
    testing_support::WriteHostFile(dir.Join("item"), item);
    CFileStream in(Ansi(dir.Join("item")).c_str(), CFileStream::kRead);
    CFileStream out(Ansi(dir.Join("out")).c_str(), CFileStream::kWrite);
    CLzDecoder decoder;
    *result = decoder.DecodeStream(in, out, int32_t(item.size()));
    EXPECT_TRUE(out.Close());
    return testing_support::ReadHostFile(dir.Join("out"));
}

TEST(LzEncoder, RoundTripsThroughBothDecoders) {
    for (const RoundTrip& c : RoundTrips()) {
        SCOPED_TRACE(c.name);
        Bytes data = c.make();
        Bytes item = Encode(data);
        size_t blocks = (data.size() + kBlockSize - 1) / kBlockSize;
        EXPECT_EQ(Blocks(item).size(), blocks);
        EXPECT_LE(item.size(), data.size() + 4 * blocks);  // stored at worst

        Bytes out(data.size());
        CLzDecoder decoder;
        EXPECT_EQ(decoder.DecodeBuffer(out.data(), int32_t(out.size()), item.data(),
                                       int32_t(item.size())),
                  int32_t(data.size()));
        EXPECT_TRUE(out == data);

        int32_t written = 0;
        EXPECT_TRUE(DecodeViaStream(item, &written) == data);
        EXPECT_EQ(written, int32_t(data.size()));
    }
}

TEST(LzEncoder, BlocksThatWouldNotShrinkAreStored) {
    Bytes data = RandomBytes(kBlockSize + 1, 5);
    Bytes item = Encode(data);
    ASSERT_EQ(item.size(), size_t(4 + kBlockSize + 4 + 1));
    EXPECT_EQ(Bytes(item.begin(), item.begin() + 4), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(Bytes(item.begin() + 4 + kBlockSize, item.begin() + 8 + kBlockSize),
              (Bytes{1, 0, 1, 0}));
    EXPECT_EQ(Encode(Text("ab")), (Bytes{2, 0, 2, 0, 'a', 'b'}));
    // 8 literals and a match of 2 with a 3-bit offset: 77 bits, 10 bytes for
    // 10 bytes. K == R would read as stored anyway, so it is stored.
    Bytes tie = Text("abcdefghab");
    EXPECT_EQ(LzPackedBlockBits(tie.data(), tie.size()), 77u);
    EXPECT_EQ(Encode(tie), Concat({10, 0, 10, 0}, tie));
    // Literal and a match of 2: 11 bits, 2 bytes for 3.
    EXPECT_EQ(Blocks(Encode(Text("qqq")))[0].second, 2);
}

}  // namespace
