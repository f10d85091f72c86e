#ifndef TAVIK_IMAGEPROC_EVAL_SCENE_RANDOM_H
#define TAVIK_IMAGEPROC_EVAL_SCENE_RANDOM_H

#include <cstdint>
#include <random>

// Seeded random numbers that come out the same on every platform (the
// standard distributions are not specified exactly, the engine is).
class SceneRandom {
public:
    explicit SceneRandom(uint32_t seed) : m_engine(seed) {}

    double uniform(double lo, double hi)
    {
        return lo + (hi - lo) * (static_cast<double>(m_engine()) / 4294967296.0);
    }
    int integer(int lo, int hiInclusive)
    {
        return lo + static_cast<int>(m_engine() % static_cast<uint32_t>(hiInclusive - lo + 1));
    }
    bool chance(double p) { return uniform(0, 1) < p; }
    uint32_t next() { return m_engine(); }

private:
    std::mt19937 m_engine;
};

#endif
