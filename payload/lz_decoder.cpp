#include "payload/lz_decoder.h"

#include <string.h>

#include "platform/file_stream.h"

namespace {

const int kHeaderSize = 4;
// Longest symbol: flag, 15 ones and their zero, 15 length bits, 16 offset
// bits. One refill before each symbol therefore always suffices.
const int kMaxSymbolBits = 1 + 16 + 15 + 16;
static_assert(kMaxSymbolBits <= 56, "a refill leaves at least 56 bits");

uint16_t ReadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// MSB-first bit reader over exactly inLen bytes. Bits past the end read as
// zero and are counted as consumed, which the caller checks once per symbol:
// the reader itself never touches memory past the data.
class CBitReader {
  public:
    CBitReader(const uint8_t* in, int32_t inLen) : m_pIn(in), m_nLen(inLen) {}

    // False near the end of the data, where the caller must check Exhausted()
    // after each symbol; before that, every buffered bit is a real one.
    bool Refill() {
        if (m_nLen - m_nPos >= 8) {
            // Whole bytes only; bits below the count are those same bytes'
            // bits again, so OR-ing them in later changes nothing.
            uint64_t next;
            memcpy(&next, m_pIn + m_nPos, 8);
            m_nBuf |= LoadBigEndian(next) >> m_nCount;
            m_nPos += (63 - m_nCount) >> 3;
            m_nCount |= 56;
            return true;
        }
        while (m_nCount <= 56) {
            if (m_nPos < m_nLen) m_nBuf |= static_cast<uint64_t>(m_pIn[m_nPos]) << (56 - m_nCount);
            ++m_nPos;  // past the end too, so that the missing bits are counted
            m_nCount += 8;
        }
        return false;
    }

    // n <= 32; the buffer holds at least 56 bits after a refill.
    uint32_t Peek(int n) const { return n ? static_cast<uint32_t>(m_nBuf >> (64 - n)) : 0; }
    void Skip(int n) {
        m_nBuf <<= n;
        m_nCount -= n;
    }
    uint32_t Take(int n) {
        uint32_t value = Peek(n);
        Skip(n);
        return value;
    }
    int LeadingOnes() const { return ~m_nBuf ? __builtin_clzll(~m_nBuf) : 64; }

    // True once a bit past the data has been consumed.
    bool Exhausted() const { return BitsConsumed() > int64_t(m_nLen) * 8; }
    int64_t BitsConsumed() const { return int64_t(m_nPos) * 8 - m_nCount; }

  private:
    static uint64_t LoadBigEndian(uint64_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        return v;
#else
        return __builtin_bswap64(v);
#endif
    }

    const uint8_t* m_pIn;
    int32_t m_nLen;
    int32_t m_nPos = 0;
    int m_nCount = 0;
    uint64_t m_nBuf = 0;
};

// out[i + j] = out[d + j] for j = 0..len-1 in increasing j, where d < i and
// the source may overlap the bytes being written (a repeating pattern).
// Bytes in [i + len, end) may be overwritten with junk: later symbols write
// them before anything reads them.
inline void CopyMatch(uint8_t* out, int32_t i, int32_t d, int32_t len, int32_t end) {
    uint8_t* dst = out + i;
    const uint8_t* src = out + d;
    int32_t distance = i - d;
    if (distance >= 8 && end - i >= ((len + 7) & ~7)) {
        for (int32_t j = 0; j < len; j += 8) memcpy(dst + j, src + j, 8);
        return;
    }
    if (distance == 1) {
        memset(dst, *src, len);
        return;
    }
    if (len <= distance) {
        memcpy(dst, src, len);
        return;
    }
    // Copy one period, then double the copied run: it stays a whole number of
    // periods, so each step reads bytes already in place.
    memcpy(dst, src, distance);
    int32_t done = distance;
    while (done < len) {
        int32_t n = len - done < done ? len - done : done;
        memcpy(dst + done, dst, n);
        done += n;
    }
}

}  // namespace

bool CLzDecoder::DecodeBlock(uint8_t* out, int32_t rawLen, const uint8_t* in, int32_t inLen) {
    if (rawLen > kBlockSize) return false;
    m_pWindow = out;
    m_nWindowLen = 0;
    m_nBytePos = 0;
    m_nBitPos = 0;
    if (rawLen <= 0) return true;
    if (inLen <= 0) return false;

    // A block never outgrows kBlockSize, so its window never moves and P is
    // simply the count of bytes decoded so far.
    CBitReader bits(in, inLen);
    int32_t i = 0;
    bool ok = true;
    while (i < rawLen) {
        bool whole = bits.Refill();
        if (bits.Peek(1) == 0) {
            // Poorly matching data is mostly literals: up to six (54 bits)
            // come from one refill.
            int n = 0;
            do {
                out[i++] = static_cast<uint8_t>(bits.Take(9));
            } while (++n < 6 && i < rawLen && bits.Peek(1) == 0);
        } else {
            bits.Skip(1);
            int k = bits.LeadingOnes();
            if (k > 15 || i == 0) {
                ok = false;
                break;
            }
            bits.Skip(k + 1);
            int32_t len = k ? (int32_t(1) << k) + int32_t(bits.Take(k)) + 1 : 2;
            int32_t d = int32_t(bits.Take(CeilLog2(i)));
            if (d >= i || len > rawLen - i || (!whole && bits.Exhausted())) {
                ok = false;
                break;
            }
            CopyMatch(out, i, d, len, rawLen);
            i += len;
        }
        if (!whole && bits.Exhausted()) {
            ok = false;
            break;
        }
    }
    int64_t consumed = bits.BitsConsumed();
    m_nWindowLen = i;
    m_nBytePos = int32_t(consumed >> 3);
    m_nBitPos = int32_t(consumed & 7);
    return ok;
}

int32_t CLzDecoder::DecodeBuffer(uint8_t* out, int32_t outCap, const uint8_t* in, int32_t inLen) {
    int32_t total = 0;
    int32_t remaining = inLen;
    while (remaining > 0) {
        if (remaining < kHeaderSize) return -1;
        uint16_t rawField = ReadLe16(in);
        uint16_t packedField = ReadLe16(in + 2);
        in += kHeaderSize;
        remaining -= kHeaderSize;
        int32_t raw = rawField ? rawField : kBlockSize;
        bool stored = packedField == rawField;
        if (!stored && packedField == 0) return -1;
        int32_t dataLen = stored ? raw : packedField;
        if (dataLen > remaining) return -1;
        if (raw > outCap - total) return -1;
        // The block goes straight to its place in out: there is room for it.
        if (stored) {
            memcpy(out + total, in, raw);
        } else if (!DecodeBlock(out + total, raw, in, dataLen)) {
            return -1;
        }
        in += dataLen;
        remaining -= dataLen;
        total += raw;
    }
    return total;
}

int32_t CLzDecoder::DecodeStream(CFileStream& in, CFileStream& out, int32_t packedLen) {
    uint8_t packed[kBlockSize];
    uint8_t block[kBlockSize];
    int64_t start = out.Tell();
    if (start < 0) return -1;
    int64_t total = 0;
    int32_t remaining = packedLen;
    while (remaining > 0) {
        uint8_t header[kHeaderSize];
        if (remaining < kHeaderSize || in.Read(header, kHeaderSize) != kHeaderSize) return -1;
        remaining -= kHeaderSize;
        uint16_t rawField = ReadLe16(header);
        uint16_t packedField = ReadLe16(header + 2);
        int32_t raw = rawField ? rawField : kBlockSize;
        bool stored = packedField == rawField;
        if (!stored && packedField == 0) return -1;
        int32_t dataLen = stored ? raw : packedField;
        if (dataLen > remaining) return -1;
        remaining -= dataLen;
        if (stored) {
            if (in.Read(block, raw) != size_t(raw)) return -1;
        } else {
            if (in.Read(packed, dataLen) != size_t(dataLen)) return -1;
            if (!DecodeBlock(block, raw, packed, dataLen)) return -1;
        }
        total += raw;
        if (total > INT32_MAX) return -1;  // the count could not be returned
        if (out.Write(block, raw) != size_t(raw)) return -1;
    }
    int64_t end = out.Tell();
    if (end - start != total) return -1;
    return int32_t(total);
}

int CLzDecoder::Min(int a, int b) { return a < b ? a : b; }

int CLzDecoder::Select(int x, int a, int b) { return x > 0 ? a : b; }

int CLzDecoder::GetBit(uint8_t byte, int i) { return (byte >> (7 - i)) & 1; }

void CLzDecoder::AdvanceBits(int& bytePos, int& bitPos, int n) {
    bitPos += n;
    bytePos += bitPos >> 3;
    bitPos &= 7;
}

void CLzDecoder::CopyBits(uint8_t& dst, int dstBit, uint8_t src, int srcBit, int n) {
    if (n <= 0) return;
    unsigned field = (unsigned(src) >> (8 - srcBit - n)) & ((1u << n) - 1);
    unsigned shift = unsigned(8 - dstBit - n);
    unsigned mask = ((1u << n) - 1) << shift;
    dst = static_cast<uint8_t>((dst & ~mask) | (field << shift));
}

void CLzDecoder::ReadBits(uint8_t* dst, int dstBit, const uint8_t* src, int srcBit, int n) {
    int dstByte = 0;
    int srcByte = 0;
    AdvanceBits(dstByte, dstBit, 0);
    AdvanceBits(srcByte, srcBit, 0);
    while (n > 0) {
        // The largest run that stays inside one byte on both sides.
        int run = Min(n, Min(8 - dstBit, 8 - srcBit));
        CopyBits(dst[dstByte], dstBit, src[srcByte], srcBit, run);
        AdvanceBits(dstByte, dstBit, run);
        AdvanceBits(srcByte, srcBit, run);
        n -= run;
    }
}

void CLzDecoder::ReverseBytes4(uint8_t bytes[4]) {
    uint8_t t = bytes[0];
    bytes[0] = bytes[3];
    bytes[3] = t;
    t = bytes[1];
    bytes[1] = bytes[2];
    bytes[2] = t;
}

int CLzDecoder::CeilLog2(int32_t x) {
    if (x <= 0) return -1;
    if (x == 1) return 0;
    return 32 - __builtin_clz(uint32_t(x - 1));
}
