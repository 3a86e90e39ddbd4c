// NearestValue goes over a range by runs instead of one candidate at a time; its answer must be the
// plain walk's bit for bit, whatever the range: tricky ranges from a table, then many random ones.
#include "rt_support.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <random>

namespace korven::test {
namespace {

// The walk as written: candidates Min, then each previous one + Step rounded to Single, while not
// above Max; a candidate strictly nearer than d (a Single) is taken. nullopt past `limit` candidates.
std::optional<float> PlainWalk(float min, float max, float step, float x, uint64_t limit) {
  if (step == 0 || !(step > 0) || !std::isfinite(step)) return x < min ? min : x > max ? max : x;
  float d = float(double(max) - double(min) + double(step));
  float result = x;
  uint64_t n = 0;
  for (float v = min; v <= max;) {
    if (++n > limit) return std::nullopt;
    double dist = std::fabs(double(v) - double(x));
    if (dist < d) {
      result = v;
      d = float(dist);
    }
    float next = float(double(v) + double(step));
    if (next == v) break;
    v = next;
  }
  return result;
}

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class RangeWalkTest : public RtTest {
 protected:
  void SetUp() override {
    RtTest::SetUp();
    range = std::make_unique<TScanRange>(&NewScanner());
  }
  void TearDown() override {
    range.reset();
    RtTest::TearDown();
  }
  // Compares the component's answer with the plain walk's; false when the plain walk is too long.
  bool Compare(float min, float max, float step, float x, uint64_t limit = 200000) {
    std::optional<float> plain = PlainWalk(min, max, step, x, limit);
    if (!plain) return false;
    range->SetParam(scBrightness, min, max, step, 0, ICAP_BRIGHTNESS);
    float fast = range->NearestValue(x);
    EXPECT_TRUE(SameBits(fast, *plain) || (std::isnan(fast) && std::isnan(*plain)))
        << std::hexfloat << "min " << min << " max " << max << " step " << step << " x " << x << ": " << fast
        << " instead of " << *plain;
    return true;
  }
  std::unique_ptr<TScanRange> range;
};

struct Tricky {
  float min, max, step;
};

const Tricky kTricky[] = {
    {0, 255, 1},
    {0.1f, 10, 0.1f},  // candidates drift off the decimal grid
    {-1000, 1000, 10},
    {-1000, 1000, 0.01f},
    {1, 1200, 1},
    {0, 4294967295.0f, 1},       // a UINT32 range: the walk stalls at 2^24
    {0, 16777216.0f * 4, 3},     // a step that ties half-way between two Singles past 2^24
    {0, 16777216.0f * 4, 1.5f},  // ties below 2^24, a stall above
    {16777215.0f, 16777220.0f, 1},
    {-16777220.0f, 16777220.0f, 1},
    {-1e-40f, 1e-40f, 1e-45f},   // subnormals
    {-3.0f, 3.0f, 0.3f},
    {1e8f, 1e8f + 64, 1},        // the first step does not move
    {1e8f, 1e8f + 4096, 8},
    {1, 1e30f, 1e22f},
    {-1e30f, 1e30f, 7e23f},
    {0, std::numeric_limits<float>::max(), 1e36f},
    {-std::numeric_limits<float>::max(), std::numeric_limits<float>::max(), 3e37f},
    {0, std::numeric_limits<float>::infinity(), 1e37f},
    {5, 1, 1},                   // Max below Min: no candidate
    {0.5f, 0.5f, 1},
    {-0.0f, 1, 0.25f},           // a Min of -0 is a candidate of its own sign
};

TEST_F(RangeWalkTest, TrickyRangesGiveThePlainWalksAnswer) {
  for (const Tricky& t : kTricky) {
    std::vector<float> xs = {t.min, t.max, 0.0f, -0.0f, 1.0f, -1.0f, t.min - t.step, t.max + t.step,
                             (t.min + t.max) / 2, t.min + t.step / 2, t.min + 1.5f * t.step, 16777216.0f,
                             16777217.0f * 2, 2500.0f, -1300.0f, 1e38f, -1e38f,
                             std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::quiet_NaN(), std::nextafter(t.max, 0.0f),
                             std::nextafter(t.min, 1e38f)};
    // Ranges of millions of candidates take the plain walk long: one answer each (in the middle).
    if ((double(t.max) - double(t.min)) / double(t.step) > 1e6) xs = {t.min + (t.max - t.min) / 2 + t.step / 3};
    for (float x : xs) {
      SCOPED_TRACE(testing::Message() << "x " << x);
      EXPECT_TRUE(Compare(t.min, t.max, t.step, x, uint64_t(1) << 25));
    }
  }
}

TEST_F(RangeWalkTest, RandomRangesGiveThePlainWalksAnswer) {
  std::mt19937_64 rng(0x6b6f7276656eULL);  // fixed: the same ranges every run
  auto pick = [&](int n) { return int(rng() % unsigned(n)); };
  auto number = [&]() -> float {
    switch (pick(6)) {
      case 0: return float(pick(2001) - 1000);  // whole numbers
      case 1: return float(pick(2001) - 1000) / 10.0f;
      case 2: return std::ldexp(float(int(rng() % 0x1000000) - 0x800000), pick(60) - 30);  // any binade
      case 3: return std::ldexp(1.0f, pick(60) - 30) * (pick(2) ? 1.0f : -1.0f);  // binade edges
      case 4: return std::nextafter(std::ldexp(1.0f, pick(40)), pick(2) ? 0.0f : 1e38f);
      default: return std::ldexp(float(pick(4096)), -pick(150));  // tiny and subnormal
    }
  };
  int compared = 0;
  for (int i = 0; i < 6000; ++i) {
    float a = number(), b = number();
    float min = std::min(a, b), max = std::max(a, b);
    float step = std::fabs(number());
    if (pick(4) == 0) step = std::ldexp(std::fabs(max - min), -pick(20));  // a step scaled to the range
    if (pick(8) == 0) step = std::ldexp(1.0f, pick(40) - 20) * 1.5f;     // tie-prone steps
    for (int j = 0; j < 4; ++j) {
      float x;
      switch (pick(4)) {
        case 0: x = number(); break;
        case 1: x = min + (max - min) * float(pick(1001)) / 1000.0f; break;
        case 2: x = min + step * float(pick(1000)); break;  // at or near a candidate
        default: x = std::nextafter(min + step * float(pick(1000)), pick(2) ? -1e38f : 1e38f); break;
      }
      if (Compare(min, max, step, x, 20000)) ++compared;
    }
  }
  EXPECT_GT(compared, 15000);  // most random ranges are short enough to walk the plain way
}

TEST_F(RangeWalkTest, AUint32RangeOfFourBillionIsWalkedToItsStall) {
  // 0..4294967295 step 1 as a source reports it: the candidates stop moving at 2^24. From 3e9 the
  // distances of the last 128 candidates all round to the same Single, and only the first of them
  // beats the distance kept: the walk answers 16777088, not 16777216.
  range->SetParam(scBrightness, 0, 4294967295.0f, 1, 0, ICAP_BRIGHTNESS);
  EXPECT_EQ(range->NearestValue(3e9f), 16777088.0f);
  EXPECT_EQ(range->NearestValue(12345.4f), 12345.0f);
  EXPECT_EQ(range->NearestValue(-7), 0.0f);
  EXPECT_EQ(range->NearestValue(1e10f), 1e10f);  // farther than the width: unchanged
}

}  // namespace
}  // namespace korven::test
