// Optimal parse for the block format. The cost of a match depends only on its
// length class and on the block position P, never on its source, so what a
// position offers is fully described by the longest earlier match there
// (any shorter length is a prefix of it). Those come from a suffix array; the
// cheapest parse is then a shortest path whose match edges, for each length
// class, form a range of constant cost.
#include "tools/mksetup/lz_encoder.h"

#include <algorithm>
#include <utility>

namespace {

const int32_t kBlockSize = 65536;
const int kLiteralBits = 9;
const int kLengthClasses = 16;  // k = 0..15 covers lengths 2..65,536

int CeilLog2(int32_t x) { return x <= 1 ? 0 : 32 - __builtin_clz(uint32_t(x - 1)); }
int FloorLog2(int32_t x) { return 31 - __builtin_clz(uint32_t(x)); }

// Lengths of class k cost 1 + (2k + 1) bits before the offset field.
int32_t ClassMinLength(int k) { return k ? (int32_t(1) << k) + 1 : 2; }
int32_t ClassMaxLength(int k) { return k ? int32_t(1) << (k + 1) : 2; }
int MatchBits(int k, int32_t pos) { return 2 + 2 * k + CeilLog2(pos); }

class CBitWriter {
  public:
    explicit CBitWriter(std::vector<uint8_t>& out) : m_out(out) {}
    void Put(uint32_t value, int n) {
        for (int i = n - 1; i >= 0; --i) {
            m_nAcc = (m_nAcc << 1) | ((value >> i) & 1);
            if (++m_nCount == 8) Flush();
        }
    }
    // Pads the last byte with zero bits.
    void Finish() {
        if (m_nCount) {
            m_nAcc <<= 8 - m_nCount;
            Flush();
        }
    }

  private:
    void Flush() {
        m_out.push_back(static_cast<uint8_t>(m_nAcc));
        m_nAcc = 0;
        m_nCount = 0;
    }
    std::vector<uint8_t>& m_out;
    uint32_t m_nAcc = 0;
    int m_nCount = 0;
};

// A match source waiting in a length class's queue: the bit count the parse
// reaches with it, and the last position it reaches.
struct CSource {
    int32_t cost, reach, pos;
};

// Arrays for one block, kept from block to block of an item.
struct CBlockWork {
    std::vector<int32_t> sa, rank, tmp, count, lcp;
    std::vector<int32_t> longest, source;  // longest earlier match at each position, and where
    std::vector<int32_t> cost, from;  // cheapest bit count up to each position, and its last step
    std::vector<CSource> queue[kLengthClasses];

    void Reserve(int32_t n) {
        for (std::vector<int32_t>* v : {&sa, &rank, &tmp, &lcp, &longest, &source}) v->resize(n);
        count.resize(std::max(n, 256) + 1);
        cost.resize(n + 1);
        from.resize(n + 1);
        for (std::vector<CSource>& q : queue) q.resize(n + 1);
    }
};

// Prefix doubling with counting sorts; afterwards rank is the inverse of sa.
void BuildSuffixArray(const uint8_t* s, int32_t n, CBlockWork& w) {
    int32_t* sa = w.sa.data();
    int32_t* rank = w.rank.data();
    int32_t* tmp = w.tmp.data();
    int32_t* count = w.count.data();
    std::fill(count, count + 257, 0);
    for (int32_t i = 0; i < n; ++i) ++count[s[i] + 1];
    for (int c = 0; c < 256; ++c) count[c + 1] += count[c];
    for (int32_t i = 0; i < n; ++i) sa[count[s[i]]++] = i;
    rank[sa[0]] = 0;
    for (int32_t r = 1; r < n; ++r) rank[sa[r]] = rank[sa[r - 1]] + (s[sa[r]] != s[sa[r - 1]]);

    for (int32_t h = 1; rank[sa[n - 1]] < n - 1; h *= 2) {
        // Order by the second half (absent halves first), then stably by the first.
        int32_t p = 0;
        for (int32_t i = n - h; i < n; ++i) tmp[p++] = i;
        for (int32_t r = 0; r < n; ++r)
            if (sa[r] >= h) tmp[p++] = sa[r] - h;
        int32_t ranks = rank[sa[n - 1]] + 1;
        std::fill(count, count + ranks + 1, 0);
        for (int32_t i = 0; i < n; ++i) ++count[rank[i] + 1];
        for (int32_t c = 0; c < ranks; ++c) count[c + 1] += count[c];
        for (int32_t j = 0; j < n; ++j) sa[count[rank[tmp[j]]]++] = tmp[j];

        auto second = [&](int32_t i) { return i + h < n ? rank[i + h] : -1; };
        tmp[sa[0]] = 0;
        for (int32_t r = 1; r < n; ++r) {
            int32_t a = sa[r - 1], b = sa[r];
            bool same = rank[a] == rank[b] && second(a) == second(b);
            tmp[b] = tmp[a] + !same;
        }
        std::swap(w.rank, w.tmp);
        rank = w.rank.data();
        tmp = w.tmp.data();
    }
}

// lcp[r]: common prefix of the suffixes at ranks r - 1 and r (Kasai et al.).
void BuildLcp(const uint8_t* s, int32_t n, CBlockWork& w) {
    int32_t h = 0;
    w.lcp[0] = 0;
    for (int32_t i = 0; i < n; ++i) {
        int32_t r = w.rank[i];
        if (r == 0) {
            h = 0;
            continue;
        }
        int32_t j = w.sa[r - 1];
        while (i + h < n && j + h < n && s[i + h] == s[j + h]) ++h;
        w.lcp[r] = h;
        if (h) --h;
    }
}

// The longest match at i from an earlier start (overlap allowed) is shared
// with the nearest rank on either side whose suffix starts before i
// (Crochemore and Ilie). Each side is a stack sweep over the ranks; a stack
// entry carries the smallest lcp between it and the entry above it (or the
// current rank), so merging popped entries gives the lcp to the survivor.
void BuildLongestPreviousFactor(int32_t n, CBlockWork& w) {
    struct Entry {
        int32_t rank, minLcp;
    };
    std::vector<Entry> stack;
    stack.reserve(n);
    std::fill(w.longest.begin(), w.longest.begin() + n, 0);
    for (int side = 0; side < 2; ++side) {
        stack.clear();
        for (int32_t step = 0; step < n; ++step) {
            int32_t r = side == 0 ? step : n - 1 - step;
            int32_t link = side == 0 ? w.lcp[r] : (r + 1 < n ? w.lcp[r + 1] : 0);
            int32_t carry = INT32_MAX;
            if (!stack.empty()) carry = link;
            while (!stack.empty() && w.sa[stack.back().rank] > w.sa[r]) {
                carry = std::min(carry, stack.back().minLcp);
                stack.pop_back();
            }
            if (!stack.empty()) {
                Entry& top = stack.back();
                top.minLcp = std::min(top.minLcp, carry);
                int32_t pos = w.sa[r];
                if (top.minLcp > w.longest[pos]) {
                    w.longest[pos] = top.minLcp;
                    w.source[pos] = w.sa[top.rank];
                }
            }
            stack.push_back({r, INT32_MAX});
        }
    }
}

// Shortest path over positions 0..n. For a length class k, a source P
// reaches [P + ClassMinLength(k), P + min(ClassMaxLength(k), longest[P])] at
// one cost. Both ends grow with P (longest[P + 1] >= longest[P] - 1), so per
// class a monotone queue of sources gives the cheapest live one in O(1)
// amortised: the whole block costs O(16 n).
int32_t OptimalParse(int32_t n, CBlockWork& w) {
    int32_t* cost = w.cost.data();
    int32_t* from = w.from.data();
    const int32_t* longest = w.longest.data();
    int32_t maxLongest = *std::max_element(longest, longest + n);
    int classes = maxLongest >= 2 ? FloorLog2(maxLongest - 1) + 1 : 0;
    int32_t head[kLengthClasses] = {};
    int32_t tail[kLengthClasses] = {};

    cost[0] = 0;
    for (int32_t q = 1; q <= n; ++q) {
        int32_t best = cost[q - 1] + kLiteralBits;
        int32_t bestFrom = q - 1;
        for (int k = 0; k < classes; ++k) {
            int32_t p = q - ClassMinLength(k);
            if (p < 1) break;
            CSource* queue = w.queue[k].data();
            int32_t& h = head[k];
            int32_t& t = tail[k];
            if (longest[p] >= ClassMinLength(k)) {
                CSource source = {cost[p] + MatchBits(k, p),
                                  p + std::min(ClassMaxLength(k), longest[p]), p};
                while (t > h && queue[t - 1].cost >= source.cost) --t;
                queue[t++] = source;
            }
            while (t > h && queue[h].reach < q) ++h;
            if (t > h && queue[h].cost < best) {
                best = queue[h].cost;
                bestFrom = queue[h].pos;
            }
        }
        cost[q] = best;
        from[q] = bestFrom;
    }
    return cost[n];
}

void PutLe16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void EmitPacked(const uint8_t* s, int32_t n, CBlockWork& w, std::vector<uint8_t>& out) {
    // Walk the path back to front, then write it front to back.
    std::vector<int32_t>& steps = w.tmp;
    int32_t count = 0;
    for (int32_t q = n; q > 0; q = w.from[q]) steps[count++] = q;
    CBitWriter bits(out);
    int32_t pos = 0;
    while (count > 0) {
        int32_t next = steps[--count];
        int32_t len = next - pos;
        if (len == 1) {
            bits.Put(s[pos], kLiteralBits);
        } else {
            int k = FloorLog2(len - 1);
            bits.Put(1, 1);
            bits.Put((1u << (k + 1)) - 2, k + 1);  // k ones and a zero
            bits.Put(uint32_t(len - 1) & ((1u << k) - 1), k);
            bits.Put(uint32_t(w.source[pos]), CeilLog2(pos));
        }
        pos = next;
    }
    bits.Finish();
}

int32_t AnalyseBlock(const uint8_t* s, int32_t n, CBlockWork& w) {
    BuildSuffixArray(s, n, w);
    BuildLcp(s, n, w);
    BuildLongestPreviousFactor(n, w);
    return OptimalParse(n, w);
}

void EncodeBlock(const uint8_t* s, int32_t n, CBlockWork& w, std::vector<uint8_t>& out) {
    int32_t packedBytes = (AnalyseBlock(s, n, w) + 7) / 8;
    uint32_t rawField = uint32_t(n) & 0xFFFF;  // 65,536 is written as 0
    if (packedBytes >= n) {
        PutLe16(out, rawField);
        PutLe16(out, rawField);
        out.insert(out.end(), s, s + n);
        return;
    }
    PutLe16(out, rawField);
    PutLe16(out, uint32_t(packedBytes));
    EmitPacked(s, n, w, out);
}

}  // namespace

std::vector<uint8_t> LzEncode(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    if (size == 0) return out;
    CBlockWork work;
    work.Reserve(int32_t(std::min(size, size_t(kBlockSize))));
    out.reserve(size / 2 + 16);
    for (size_t done = 0; done < size;) {
        int32_t n = int32_t(std::min(size - done, size_t(kBlockSize)));
        EncodeBlock(data + done, n, work, out);
        done += size_t(n);
    }
    return out;
}

uint32_t LzPackedBlockBits(const uint8_t* data, size_t size) {
    if (size == 0 || size > size_t(kBlockSize)) return 0;
    CBlockWork work;
    work.Reserve(int32_t(size));
    return uint32_t(AnalyseBlock(data, int32_t(size), work));
}
