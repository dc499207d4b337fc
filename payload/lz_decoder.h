// Decoder of the installer's block format: blocks of at most 64 KiB, each
// stored or packed as an MSB-first bit stream of 9-bit literals and matches
// (prefix-coded length, absolute position within the block).
#pragma once

#include <stdint.h>

class CFileStream;

const int32_t kBlockSize = 65536;

class CLzDecoder {
  public:
    // Decodes one packed block of inLen bytes into exactly rawLen bytes of out.
    // False for rawLen above kBlockSize and for a malformed block; it then
    // never reads past in[inLen - 1] nor writes past out[rawLen - 1].
    bool DecodeBlock(uint8_t* out, int32_t rawLen, const uint8_t* in, int32_t inLen);

    // A whole packed item held in memory. Returns the decoded size, 0 for
    // inLen <= 0, -1 when the output would exceed outCap or the item is malformed.
    int32_t DecodeBuffer(uint8_t* out, int32_t outCap, const uint8_t* in, int32_t inLen);

    // A packed item of packedLen bytes from the input's current position,
    // written block by block to out. Returns the bytes written, or -1 when the
    // item is malformed or cut off, or a read or write failed.
    int32_t DecodeStream(CFileStream& in, CFileStream& out, int32_t packedLen);

    // Bit-reader helpers.
    static int Min(int a, int b);
    static int Select(int x, int a, int b);
    static int GetBit(uint8_t byte, int i);
    static void AdvanceBits(int& bytePos, int& bitPos, int n);
    static void CopyBits(uint8_t& dst, int dstBit, uint8_t src, int srcBit, int n);
    static void ReadBits(uint8_t* dst, int dstBit, const uint8_t* src, int srcBit, int n);
    static void ReverseBytes4(uint8_t bytes[4]);
    static int CeilLog2(int32_t x);

  private:
    const uint8_t* m_pWindow = nullptr;
    int32_t m_nWindowLen = 0;
    int32_t m_nBytePos = 0;
    int32_t m_nBitPos = 0;
};
