#include "customInterface/parameter.h"

#include <QCoreApplication>
#include <QDebug>

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define TAVIK_YUYV_AVX2 1
#endif

// ---- Parameter

Parameter* Parameter::instance()
{
    // Function-local static: one thread-safe creation, whoever calls first.
    static Parameter* const s_instance = new Parameter(QCoreApplication::instance());
    return s_instance;
}

Parameter::Parameter(QObject* parent)
    : QObject(parent)
    , m_softVersion(QStringLiteral("塔维克高拍仪软件") + QStringLiteral("v1.0.0"))
{
}

Parameter::~Parameter() = default;

// ---- one pixel: the reference arithmetic

namespace {

struct RawRgb {
    int r;
    int g;
    int b;
};

// Truncated, not yet clamped. Shared by the pixel function and the table
// builder so that both see the very same double operations.
RawRgb rawRgb(int y, int u, int v)
{
    RawRgb c;
    c.r = static_cast<int>(y + 1.370705 * (v - 128));
    c.g = static_cast<int>(y - 0.698001 * (v - 128) - 0.337633 * (u - 128));
    c.b = static_cast<int>(y + 1.732446 * (u - 128));
    return c;
}

int clampAndScale(int c)
{
    if (c > 255)
        c = 255;
    if (c < 0)
        c = 0;
    return c * 220 / 256;
}

} // namespace

int convert_yuv_to_rgb_pixel(int y, int u, int v)
{
    const RawRgb c = rawRgb(y, u, v);
    return clampAndScale(c.r) | clampAndScale(c.g) << 8 | clampAndScale(c.b) << 16;
}

// ---- whole frames: exact integer tables
//
// For a whole y and a fraction x, trunc(y + x) equals y + floor(x) whenever
// the sum is not negative, and every negative sum clamps to 0 either way. So
// each channel is scaled[y + offset(u, v)] with offset = floor of the colour
// term. The offsets are taken from the double formula itself at y = 255,
// where no sum is negative. This only holds because no colour term lies
// within rounding distance of a whole number: the terms are multiples of
// 1e-6 (e.g. 0.698001*dv + 0.337633*du), which for the byte range are never
// whole except at u = v = 128, where they are exactly 0. The exhaustive
// test over all 2^24 inputs guards this.

namespace {

struct ChannelOffsets {
    int16_t r;
    int16_t g;
    int16_t b;
    int16_t unused; // pads an entry to one 64-bit load
};

constexpr int kScaledBias = 256;

struct YuyvTables {
    ChannelOffsets offsets[256 * 256]; // index u | v << 8
    uint8_t scaled[768];               // index c + kScaledBias: clamp, then x220/256
    bool useAvx2 = false;

    YuyvTables()
    {
        for (int v = 0; v < 256; ++v) {
            for (int u = 0; u < 256; ++u) {
                const RawRgb top = rawRgb(255, u, v);
                ChannelOffsets& o = offsets[u | v << 8];
                o.r = static_cast<int16_t>(top.r - 255);
                o.g = static_cast<int16_t>(top.g - 255);
                o.b = static_cast<int16_t>(top.b - 255);
                o.unused = 0;
            }
        }
        for (int i = 0; i < 768; ++i)
            scaled[i] = static_cast<uint8_t>(clampAndScale(i - kScaledBias));
#ifdef TAVIK_YUYV_AVX2
        useAvx2 = __builtin_cpu_supports("avx2");
#endif
    }
};

const YuyvTables& yuyvTables()
{
    // Built once on first use (well under a millisecond), thread-safely;
    // read-only afterwards, so concurrent conversions need no lock.
    static const YuyvTables s_tables;
    return s_tables;
}

void convertGroupsScalar(const uint8_t* yuv, uint8_t* rgb, size_t groups, const YuyvTables& t)
{
    for (size_t i = 0; i < groups; ++i, yuv += 4, rgb += 6) {
        const ChannelOffsets& o = t.offsets[yuv[1] | yuv[3] << 8];
        const uint8_t* s0 = t.scaled + kScaledBias + yuv[0];
        const uint8_t* s1 = t.scaled + kScaledBias + yuv[2];
        rgb[0] = s0[o.r];
        rgb[1] = s0[o.g];
        rgb[2] = s0[o.b];
        rgb[3] = s1[o.r];
        rgb[4] = s1[o.g];
        rgb[5] = s1[o.b];
    }
}

#ifdef TAVIK_YUYV_AVX2

// Four groups (8 pixels), given their offsets: adds them to each pixel's Y
// in 16-bit lanes, clamps, scales by 220/256 through a high multiply by
// 220*256, and packs R G B: 24 bytes, then 8 bytes of filler.
__attribute__((target("avx2"), always_inline)) inline __m256i convertFourGroupsAvx2(__m128i in, __m256i offsets)
{
    // On groups widened to 16 bits (Y0 U Y1 V words): Y repeated for R G B, 0 last.
    const __m256i y0Mask = _mm256_setr_epi8(0, 1, 0, 1, 0, 1, -1, -1, 8, 9, 8, 9, 8, 9, -1, -1,
                                            0, 1, 0, 1, 0, 1, -1, -1, 8, 9, 8, 9, 8, 9, -1, -1);
    const __m256i y1Mask = _mm256_setr_epi8(4, 5, 4, 5, 4, 5, -1, -1, 12, 13, 12, 13, 12, 13, -1, -1,
                                            4, 5, 4, 5, 4, 5, -1, -1, 12, 13, 12, 13, 12, 13, -1, -1);
    // After packing (pixel 0 of groups a, b, then pixel 1 of a, b): R G B of
    // a0 a1 b0 b1, 12 bytes per 128-bit lane; then the lanes joined.
    const __m256i rgbMask = _mm256_setr_epi8(0, 1, 2, 8, 9, 10, 4, 5, 6, 12, 13, 14, -1, -1, -1, -1,
                                             0, 1, 2, 8, 9, 10, 4, 5, 6, 12, 13, 14, -1, -1, -1, -1);
    const __m256i joinLanes = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i max = _mm256_set1_epi16(255);
    const __m256i scale = _mm256_set1_epi16(static_cast<short>(220 * 256));

    const __m256i wide = _mm256_cvtepu8_epi16(in);
    __m256i p0 = _mm256_add_epi16(_mm256_shuffle_epi8(wide, y0Mask), offsets);
    __m256i p1 = _mm256_add_epi16(_mm256_shuffle_epi8(wide, y1Mask), offsets);
    p0 = _mm256_mulhi_epu16(_mm256_min_epi16(_mm256_max_epi16(p0, zero), max), scale);
    p1 = _mm256_mulhi_epu16(_mm256_min_epi16(_mm256_max_epi16(p1, zero), max), scale);
    const __m256i packed = _mm256_shuffle_epi8(_mm256_packus_epi16(p0, p1), rgbMask);
    return _mm256_permutevar8x32_epi32(packed, joinLanes);
}

// One table entry as a 64-bit lane (R, G, B, 0 as 16-bit words).
inline long long offsetsLane(const YuyvTables& t, uint32_t index)
{
    long long lane;
    std::memcpy(&lane, &t.offsets[index], sizeof lane);
    return lane;
}

// Eight groups (16 pixels) per step. The offsets come from eight plain loads:
// on the CPUs measured they beat the AVX2 gather instructions. Each step
// stores 8 bytes past its 48 (less than two groups' worth), which the next
// step overwrites; so at least two groups are always left to the scalar
// loop. Returns the number of groups converted.
__attribute__((target("avx2"))) size_t convertGroupsAvx2(const uint8_t* yuv, uint8_t* rgb, size_t groups,
                                                         const YuyvTables& t)
{
    // Per 32-bit group Y0 U Y1 V: the table index u | v << 8.
    const __m256i indexMask = _mm256_setr_epi8(1, 3, -1, -1, 5, 7, -1, -1, 9, 11, -1, -1, 13, 15, -1, -1,
                                               1, 3, -1, -1, 5, 7, -1, -1, 9, 11, -1, -1, 13, 15, -1, -1);
    size_t done = 0;
    for (; done + 10 <= groups; done += 8, yuv += 32, rgb += 48) {
        const __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(yuv));
        alignas(32) uint32_t ix[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(ix), _mm256_shuffle_epi8(in, indexMask));
        const __m256i offLow = _mm256_setr_epi64x(offsetsLane(t, ix[0]), offsetsLane(t, ix[1]),
                                                  offsetsLane(t, ix[2]), offsetsLane(t, ix[3]));
        const __m256i offHigh = _mm256_setr_epi64x(offsetsLane(t, ix[4]), offsetsLane(t, ix[5]),
                                                   offsetsLane(t, ix[6]), offsetsLane(t, ix[7]));
        const __m256i low = convertFourGroupsAvx2(_mm256_castsi256_si128(in), offLow);
        const __m256i high = convertFourGroupsAvx2(_mm256_extracti128_si256(in, 1), offHigh);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(rgb), low);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(rgb + 24), high);
    }
    return done;
}

#endif // TAVIK_YUYV_AVX2

} // namespace

int convert_yuv_to_rgb_buffer(unsigned char* yuv, unsigned char* rgb, unsigned int width, unsigned int height)
{
    if (!yuv || !rgb) {
        qDebug("convert_yuv_to_rgb_buffer: null buffer");
        return -1;
    }
    const YuyvTables& t = yuyvTables();
    size_t groups = static_cast<size_t>(width) * height / 2;
#ifdef TAVIK_YUYV_AVX2
    if (t.useAvx2) {
        const size_t done = convertGroupsAvx2(yuv, rgb, groups, t);
        yuv += done * 4;
        rgb += done * 6;
        groups -= done;
    }
#endif
    convertGroupsScalar(yuv, rgb, groups, t);
    return 0;
}
