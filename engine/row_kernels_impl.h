// The row kernels written once with the compiler's generic vectors, kBytes
// wide. Every lane does exactly what the one-site code does, operation for
// operation, so that each width gives the same bytes.
//
// Each instruction-set file includes this inside its own unnamed namespace,
// after <cstdint> and "engine/row_kernels.h", so that no function of it is
// shared with a file built for other instructions: hence no include guard,
// no includes, and nothing called here but builtins, this file's own
// functions and three that the file defines before it in its instructions:
//   Widen(p): the kBytes / 8 bytes at p as a vector of doubles;
//   GreaterBits(a, b): one bit per lane of two vectors of doubles, set where
//     a > b (not for NaN);
//   StoreSignBits(positive, negative, out): kBytes bytes, +1 where the bit
//     of positive is set, -1 where that of negative is, 0 elsewhere.

// The sign of the stored local field (F + q) + H, summed in extended
// precision: the slow, exact way.
inline std::int8_t ExactSign(double F, double q, double H) {
  const double local = static_cast<double>((static_cast<long double>(F) + q) + H);
  return static_cast<std::int8_t>((local > 0) - (local < 0));
}

// The sign of t = fl(fl(F + q) + H) where the threshold shows it to be that
// of the stored local field, the exact one elsewhere.
inline std::int8_t SignFrom(double F, double q, const PassConstants& c) {
  const double t = (F + q) + c.H;
  if (t > c.threshold) return 1;
  if (t < -c.threshold) return -1;
  return ExactSign(F, q, c.H);
}

template <int... I>
struct LaneList {};

// The vectors of each width: bytes, doubles, and the 64-bit masks of
// comparing doubles.
template <int kBytes>
struct VectorsOf;
#define EB_VECTORS_OF(width)                                                \
  template <>                                                               \
  struct VectorsOf<width> {                                                 \
    typedef std::int8_t Bytes __attribute__((vector_size(width)));         \
    typedef double Doubles __attribute__((vector_size(width)));            \
    typedef long long Longs __attribute__((vector_size(width)));           \
  };
EB_VECTORS_OF(16)
EB_VECTORS_OF(32)
EB_VECTORS_OF(64)
#undef EB_VECTORS_OF

template <int kBytes>
struct Kernels {
  static constexpr int kSites = kBytes;      // sites per block
  static constexpr int kLanes = kBytes / 8;  // sites per vector of doubles
  using Bytes = typename VectorsOf<kBytes>::Bytes;
  using Doubles = typename VectorsOf<kBytes>::Doubles;
  using Longs = typename VectorsOf<kBytes>::Longs;

  template <class V>
  static V Load(const void* p) {
    V v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
  }

  // Sets the bits of kLanes sites, from bit k * kLanes, where the sign of
  // t = fl(fl(F + q) + H) is sure to be positive or negative.
  static void SignBits(Doubles F, const double* q, const PassConstants& c, int k, std::uint64_t& positive,
                       std::uint64_t& negative) {
    const Doubles t = (F + Load<Doubles>(q)) + c.H;
    const Doubles above = c.threshold - Doubles{}, below = -c.threshold - Doubles{};
    positive |= static_cast<std::uint64_t>(GreaterBits(t, above)) << (k * kLanes);
    negative |= static_cast<std::uint64_t>(GreaterBits(below, t)) << (k * kLanes);
  }

  static constexpr std::uint64_t kAllSites = kSites == 64 ? ~0ull : (1ull << kSites) - 1;

  // ---- Indexed constants: F = value0 * (spins of mask 0) + value1 * (spins
  // of mask 0xFF), both products and the sum exact.

  static std::int8_t IndexedSite(const RowInput& in, const PassConstants& c, int j) {
    const int sL = in.left[j - 1], sR = in.right[j + 1], sU = in.up[j], sD = in.down[j];
    const int ones = (in.maskLeft[j - 1] ? sL : 0) + (in.maskRight[j + 1] ? sR : 0) + (in.maskUp[j] ? sU : 0) +
                     (in.maskDown[j] ? sD : 0);
    const int zeros = sL + sR + sU + sD - ones;
    const double F = c.value0 * static_cast<double>(zeros) + c.value1 * static_cast<double>(ones);
    return SignFrom(F, in.randomField[j], c);
  }

  // J S for the spins s of one neighbour of every site, in bytes: +-whole0
  // or +-whole1 as the mask chooses, or 0.
  static Bytes WholeTerm(Bytes s, Bytes mask, Bytes whole0, Bytes whole1) {
    const Bytes w = (mask & whole1) | (~mask & whole0);
    const Bytes negative = s < 0;
    return ((w ^ negative) - negative) & (s != 0);
  }

  // Small whole constants: F summed in bytes, exactly value0 * zeros +
  // value1 * ones.
  template <int... k>
  static void WholeBlock(const RowInput& in, const PassConstants& c, int j, LaneList<k...>) {
    const Bytes w0 = c.whole0 - Bytes{}, w1 = c.whole1 - Bytes{};
    const Bytes F = WholeTerm(Load<Bytes>(in.left + j - 1), Load<Bytes>(in.maskLeft + j - 1), w0, w1) +
                    WholeTerm(Load<Bytes>(in.right + j + 1), Load<Bytes>(in.maskRight + j + 1), w0, w1) +
                    WholeTerm(Load<Bytes>(in.up + j), Load<Bytes>(in.maskUp + j), w0, w1) +
                    WholeTerm(Load<Bytes>(in.down + j), Load<Bytes>(in.maskDown + j), w0, w1);
    alignas(kBytes) std::int8_t fields[kSites];
    __builtin_memcpy(fields, &F, sizeof F);
    std::uint64_t positive = 0, negative = 0;
    (SignBits(Widen(fields + k * kLanes), in.randomField + j + k * kLanes, c, k, positive, negative), ...);
    StoreSignBits(positive, negative, in.sign + j);
    if ((positive | negative) != kAllSites) [[unlikely]]
      for (int s = j; s < j + kSites; ++s) in.sign[s] = IndexedSite(in, c, s);
  }

  template <int... k>
  static void IndexedBlock(const RowInput& in, const PassConstants& c, int j, LaneList<k...>) {
    const Bytes sL = Load<Bytes>(in.left + j - 1), sR = Load<Bytes>(in.right + j + 1);
    const Bytes sU = Load<Bytes>(in.up + j), sD = Load<Bytes>(in.down + j);
    const Bytes ones = (sL & Load<Bytes>(in.maskLeft + j - 1)) + (sR & Load<Bytes>(in.maskRight + j + 1)) +
                       (sU & Load<Bytes>(in.maskUp + j)) + (sD & Load<Bytes>(in.maskDown + j));
    const Bytes zeros = sL + sR + sU + sD - ones;
    alignas(kBytes) std::int8_t counts[2][kSites];
    __builtin_memcpy(counts[0], &zeros, sizeof zeros);
    __builtin_memcpy(counts[1], &ones, sizeof ones);
    std::uint64_t positive = 0, negative = 0;
    (SignBits(c.value0 * Widen(counts[0] + k * kLanes) + c.value1 * Widen(counts[1] + k * kLanes),
              in.randomField + j + k * kLanes, c, k, positive, negative),
     ...);
    StoreSignBits(positive, negative, in.sign + j);
    if ((positive | negative) != kAllSites) [[unlikely]]
      for (int s = j; s < j + kSites; ++s) in.sign[s] = IndexedSite(in, c, s);
  }

  // ---- Constants as doubles: F = J S summed left, right, upper, lower,
  // every partial sum exact.

  static std::int8_t ConstantsSite(const RowInput& in, const PassConstants& c, int j) {
    const double F = ((in.constLeft[j - 1] * static_cast<double>(in.left[j - 1]) +
                       in.constRight[j + 1] * static_cast<double>(in.right[j + 1])) +
                      in.constUp[j] * static_cast<double>(in.up[j])) +
                     in.constDown[j] * static_cast<double>(in.down[j]);
    return SignFrom(F, in.randomField[j], c);
  }

  static Doubles ConstantsField(const RowInput& in, int at) {
    return ((Load<Doubles>(in.constLeft + at - 1) * Widen(in.left + at - 1) +
             Load<Doubles>(in.constRight + at + 1) * Widen(in.right + at + 1)) +
            Load<Doubles>(in.constUp + at) * Widen(in.up + at)) +
           Load<Doubles>(in.constDown + at) * Widen(in.down + at);
  }

  template <int... k>
  static void ConstantsBlock(const RowInput& in, const PassConstants& c, int j, LaneList<k...>) {
    std::uint64_t positive = 0, negative = 0;
    (SignBits(ConstantsField(in, j + k * kLanes), in.randomField + j + k * kLanes, c, k, positive, negative), ...);
    StoreSignBits(positive, negative, in.sign + j);
    if ((positive | negative) != kAllSites) [[unlikely]]
      for (int s = j; s < j + kSites; ++s) in.sign[s] = ConstantsSite(in, c, s);
  }

  // A row of at least one block ends with a block that overlaps the one
  // before: its sites get the same signs again.
  template <void (*block)(const RowInput&, const PassConstants&, int, LaneList<0, 1, 2, 3, 4, 5, 6, 7>),
            std::int8_t (*site)(const RowInput&, const PassConstants&, int)>
  static void Evaluate(const RowInput& in, const PassConstants& c) {
    if (in.end - in.begin < kSites) {
      for (int j = in.begin; j < in.end; ++j) in.sign[j] = site(in, c, j);
      return;
    }
    for (int j = in.begin;; j += kSites) {
      const int at = j + kSites <= in.end ? j : in.end - kSites;
      block(in, c, at, LaneList<0, 1, 2, 3, 4, 5, 6, 7>{});
      if (at + kSites == in.end) return;
    }
  }

  // ---- Reversals: -old where previous * latest < 0 (descending) or <= 0
  // (ascending), for signs -1, 0, +1.

  static long long Sum(Bytes v) {
    long long sum = 0;
    for (int k = 0; k < kSites; ++k) sum += v[k];
    return sum;
  }

  // The reversals of the block at j; d gets out - old, lanes below from
  // left out.
  template <bool ascending>
  static Bytes ReverseBlock(const std::int8_t* previous, const std::int8_t* latest, const std::int8_t* old,
                            std::int8_t* out, int j, int from) {
    const Bytes p = Load<Bytes>(previous + j), l = Load<Bytes>(latest + j), o = Load<Bytes>(old + j);
    const Bytes live = p != 0;
    const Bytes flip = ascending ? ~((p == l) & live) : (((p + l) == 0) & live);
    const Bytes spin = (o ^ flip) - flip;
    __builtin_memcpy(out + j, &spin, sizeof spin);
    Bytes lane = {};
    for (int k = 0; k < kSites; ++k) lane[k] = static_cast<std::int8_t>(k);
    return (spin - o) & (lane >= static_cast<std::int8_t>(from));  // -2, 0 or 2
  }

  // A row of at least one block ends with a block that overlaps the one
  // before; its lanes already counted are left out of the change.
  template <bool ascending>
  static RowReversal Reverse(const std::int8_t* previous, const std::int8_t* latest, const std::int8_t* old,
                             std::int8_t* out, int count) {
    RowReversal r{0, false, 0};
    if (count < kSites) {
      for (int j = 0; j < count; ++j) {
        const int product = previous[j] * latest[j];
        const std::int8_t spin = static_cast<std::int8_t>((ascending ? product <= 0 : product < 0) ? -old[j] : old[j]);
        out[j] = spin;
        r.change += spin - old[j];
        r.flips += spin != old[j];
      }
      r.changed = r.flips != 0;
      return r;
    }
    // A reversal changes a lane by +2 or -2; d != 0 is -1 in each such lane.
    Bytes change = {}, flips = {};
    for (int j = 0, blocks = 0;; j += kSites) {
      const int at = j + kSites <= count ? j : count - kSites;
      const Bytes d = ReverseBlock<ascending>(previous, latest, old, out, at, j - at);
      change += d;  // 60 blocks stay within a byte
      flips -= (d != 0);
      if (++blocks == 60 || at + kSites == count) {
        r.change += Sum(change);
        r.flips += Sum(flips);
        change = Bytes{};
        flips = Bytes{};
        blocks = 0;
      }
      if (at + kSites == count) break;
    }
    r.changed = r.flips != 0;
    return r;
  }

  static RowKernels Table(const char* name) {
    return RowKernels{name,
                      Evaluate<IndexedBlock<0, 1, 2, 3, 4, 5, 6, 7>, IndexedSite>,
                      Evaluate<WholeBlock<0, 1, 2, 3, 4, 5, 6, 7>, IndexedSite>,
                      Evaluate<ConstantsBlock<0, 1, 2, 3, 4, 5, 6, 7>, ConstantsSite>,
                      Reverse<false>,
                      Reverse<true>};
  }
};
