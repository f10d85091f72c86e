// The fuzzer's bytes taken apart: a few leading numbers that choose sizes and
// options, then the rest as the payload. Running out of bytes gives zeros, so
// every input is usable and libFuzzer can grow it a byte at a time.
#ifndef TAVIK_FUZZ_INPUT_H
#define TAVIK_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    uint8_t byte()
    {
        if (m_pos >= m_size)
            return 0;
        return m_data[m_pos++];
    }

    uint16_t u16()
    {
        const uint16_t high = byte();
        return static_cast<uint16_t>((high << 8) | byte());
    }

    uint32_t u24()
    {
        const uint32_t high = u16();
        return (high << 8) | byte();
    }

    // lo..hi inclusive, from one or two bytes as the range needs.
    int inRange(int lo, int hi)
    {
        const unsigned span = static_cast<unsigned>(hi - lo) + 1;
        const unsigned raw = span > 256 ? u16() : byte();
        return lo + static_cast<int>(raw % span);
    }

    // Whatever is left after the numbers.
    const uint8_t* rest() const { return m_data + (m_pos < m_size ? m_pos : m_size); }
    size_t restSize() const { return m_pos < m_size ? m_size - m_pos : 0; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

#endif
