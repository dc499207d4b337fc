// Block codec speed on the data it ships: a wizard picture (438 x 155, 24-bit
// BMP) and 1 MiB of program-like mixed data, beside zlib (raw deflate at
// level 9, as in the ZIP archives) and memcpy. Throughput is in decoded bytes.
#include <benchmark/benchmark.h>
#include <string.h>
#include <zlib.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "payload/lz_decoder.h"
#include "tools/mksetup/lz_encoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

void PutLe(Bytes& b, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// A wizard side picture: sky gradient, a flat panel in the dialog grey, a
// shaded disc, a photo-like noisy band and rows of 5x7 glyphs.
Bytes MakePicture() {
    const int w = 438, h = 155, stride = (w * 3 + 3) & ~3;
    Bytes bmp;
    bmp.push_back('B');
    bmp.push_back('M');
    PutLe(bmp, uint32_t(54 + stride * h), 4);
    PutLe(bmp, 0, 4);
    PutLe(bmp, 54, 4);
    PutLe(bmp, 40, 4);
    PutLe(bmp, w, 4);
    PutLe(bmp, h, 4);
    PutLe(bmp, 1, 2);
    PutLe(bmp, 24, 2);
    PutLe(bmp, 0, 4);
    PutLe(bmp, uint32_t(stride * h), 4);
    PutLe(bmp, 2835, 4);
    PutLe(bmp, 2835, 4);
    PutLe(bmp, 0, 4);
    PutLe(bmp, 0, 4);
    std::mt19937 rng(438155);
    std::vector<uint32_t> glyphs(64);
    for (uint32_t& g : glyphs) g = rng() & 0x7FFFFFFF;
    for (int row = h - 1; row >= 0; --row) {  // bottom-up rows
        int y = h - 1 - row;
        for (int x = 0; x < w; ++x) {
            int r = 90 + y / 2, g = 140 + y / 3, b = 230 - y / 4;  // sky
            if (x >= 160) r = g = b = 0xEB;                        // panel
            double dx = x - 80, dy = y - 60;
            double dist = std::sqrt(dx * dx + dy * dy);
            if (dist < 45) {  // shaded disc
                r = 250 - int(dist * 3);
                g = 180 - int(dist * 2);
                b = 40 + int(dist);
            }
            if (y >= 120 && x < 160) {  // photo-like noisy band
                int n = int(rng() % 24) - 12;
                r = 60 + x / 4 + n;
                g = 110 + n / 2;
                b = 50 + (x * y) % 40 + n;
            }
            if (x >= 180 && x < 430 && y >= 20 && y < 110 && (y - 20) % 12 < 7) {
                int cell = (x - 180) / 6, line = (y - 20) / 12;
                uint32_t glyph = glyphs[(cell * 7 + line * 13) % 64];
                int gx = (x - 180) % 6, gy = (y - 20) % 12;
                if (gx < 5 && cell % 9 != 8 && (glyph >> (gy * 5 + gx) % 31) & 1) r = g = b = 0x20;
            }
            bmp.push_back(uint8_t(std::min(255, std::max(0, b))));
            bmp.push_back(uint8_t(std::min(255, std::max(0, g))));
            bmp.push_back(uint8_t(std::min(255, std::max(0, r))));
        }
        for (int pad = w * 3; pad < stride; ++pad) bmp.push_back(0);
    }
    return bmp;
}

// 1 MiB of what an uninstaller image holds: code-like bytes, text, zero
// runs and already-compressed (random) stretches.
Bytes MakeMixed() {
    static const char* const kWords[] = {"uninstall", "the",      "program", "files",  "folder",
                                         "Windows",   "shortcut", "error",   "cannot", "open",
                                         "%s\\%s",    "\r\n",     "log",     "setup",  "version"};
    static const uint8_t kOpcodes[] = {0x8B, 0x89, 0x55, 0x5D, 0xC3, 0xE8, 0xFF,
                                       0x83, 0x85, 0x74, 0x75, 0x50, 0x51, 0x6A};
    std::mt19937 rng(1 << 20);
    Bytes out;
    while (out.size() < (1u << 20)) {
        switch (rng() % 4) {
            case 0:
                for (int i = 0; i < 3000; ++i) {
                    out.push_back(kOpcodes[rng() % sizeof kOpcodes]);
                    if (rng() % 3 == 0) PutLe(out, 0x00401000 + (rng() % 4096) * 4, 4);
                }
                break;
            case 1:
                for (int i = 0; i < 800; ++i) {
                    std::string word = kWords[rng() % 15];
                    out.insert(out.end(), word.begin(), word.end());
                    out.push_back(' ');
                }
                break;
            case 2:
                out.insert(out.end(), 512 + rng() % 4096, 0);
                break;
            default:
                for (int i = 0; i < 2000; ++i) out.push_back(uint8_t(rng()));
        }
    }
    out.resize(1u << 20);
    return out;
}

Bytes Deflate9(const Bytes& data) {
    z_stream z = {};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, uLong(data.size())));
    z.next_in = const_cast<Bytes::value_type*>(data.data());
    z.avail_in = uInt(data.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

const Bytes& Sample(int which) {
    static const Bytes picture = MakePicture();
    static const Bytes mixed = MakeMixed();
    return which == 0 ? picture : mixed;
}

const char* SampleName(int which) { return which == 0 ? "picture" : "mixed"; }

void BM_LzDecodeBuffer(benchmark::State& state) {
    const Bytes& data = Sample(int(state.range(0)));
    Bytes item = LzEncode(data.data(), data.size());
    Bytes out(data.size());
    CLzDecoder decoder;
    for (auto _ : state) {
        int32_t n = decoder.DecodeBuffer(out.data(), int32_t(out.size()), item.data(),
                                         int32_t(item.size()));
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    if (out != data) state.SkipWithError("round trip failed");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
    state.SetLabel(SampleName(int(state.range(0))));
}

void BM_ZlibInflate(benchmark::State& state) {
    const Bytes& data = Sample(int(state.range(0)));
    Bytes packed = Deflate9(data);
    Bytes out(data.size());
    z_stream z = {};
    inflateInit2(&z, -15);
    for (auto _ : state) {
        inflateReset(&z);
        z.next_in = packed.data();
        z.avail_in = uInt(packed.size());
        z.next_out = out.data();
        z.avail_out = uInt(out.size());
        int rc = inflate(&z, Z_FINISH);
        benchmark::DoNotOptimize(rc);
        benchmark::ClobberMemory();
    }
    inflateEnd(&z);
    if (out != data) state.SkipWithError("round trip failed");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
    state.SetLabel(SampleName(int(state.range(0))));
}

void BM_Memcpy(benchmark::State& state) {
    const Bytes& data = Sample(int(state.range(0)));
    Bytes out(data.size());
    for (auto _ : state) {
        memcpy(out.data(), data.data(), data.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
    state.SetLabel(SampleName(int(state.range(0))));
}

// Encoder speed in input bytes; sizes of both formats as counters.
void BM_LzEncode(benchmark::State& state) {
    const Bytes& data = Sample(int(state.range(0)));
    size_t size = 0;
    for (auto _ : state) {
        Bytes item = LzEncode(data.data(), data.size());
        size = item.size();
        benchmark::DoNotOptimize(item.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
    state.counters["input"] = double(data.size());
    state.counters["lz_size"] = double(size);
    state.counters["zlib9_size"] = double(Deflate9(data).size());
    state.SetLabel(SampleName(int(state.range(0))));
}

void BM_ZlibDeflate9(benchmark::State& state) {
    const Bytes& data = Sample(int(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(Deflate9(data).size());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
    state.SetLabel(SampleName(int(state.range(0))));
}

BENCHMARK(BM_LzDecodeBuffer)->Arg(0)->Arg(1);
BENCHMARK(BM_ZlibInflate)->Arg(0)->Arg(1);
BENCHMARK(BM_Memcpy)->Arg(0)->Arg(1);
BENCHMARK(BM_LzEncode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibDeflate9)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
