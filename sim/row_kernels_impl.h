// The row kernels written once with the compiler's generic vectors, kBytes
// wide. Every lane does exactly what the one-site code does, operation for
// operation, so that each width gives the same bytes.
//
// Each instruction-set file includes this inside its own unnamed namespace,
// after <cstdint> and "sim/row_kernels.h", so that no function of it is
// shared with a file built for other instructions: hence no include guard,
// no includes, and nothing called here but builtins and this file's own
// functions.

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

// The vectors of each width: bytes, the bytes of one vector of doubles,
// doubles, and the 64-bit masks of comparing doubles.
template <int kBytes>
struct VectorsOf;
#define EB_VECTORS_OF(width)                                                \
  template <>                                                               \
  struct VectorsOf<width> {                                                 \
    typedef std::int8_t Bytes __attribute__((vector_size(width)));         \
    typedef std::int8_t Part __attribute__((vector_size(width / 8)));      \
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
  using Part = typename VectorsOf<kBytes>::Part;
  using Doubles = typename VectorsOf<kBytes>::Doubles;
  using Longs = typename VectorsOf<kBytes>::Longs;

  template <class V>
  static V Load(const void* p) {
    V v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
  }

  // Lanes k * kLanes .. k * kLanes + kLanes - 1 of v.
  template <int k, int... I>
  static Part Slice(Bytes v, LaneList<I...>) {
    return __builtin_shufflevector(v, v, (k * kLanes + I)...);
  }

  static bool Any(Longs v) {
    long long all = 0;
    for (int k = 0; k < kLanes; ++k) all |= v[k];
    return all != 0;
  }

  // The signs of kLanes sites from their neighbour fields; the mask of the
  // sites whose t lies within the threshold.
  static Longs StoreSigns(Doubles F, const double* q, std::int8_t* sign, const PassConstants& c) {
    const Doubles t = (F + Load<Doubles>(q)) + c.H;
    const Longs positive = t > c.threshold;
    const Longs negative = t < -c.threshold;
    const Part s = __builtin_convertvector(negative - positive, Part);
    __builtin_memcpy(sign, &s, sizeof s);
    return ~(positive | negative);
  }

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

  template <int k>
  static Longs IndexedPart(Bytes zeros, Bytes ones, const RowInput& in, const PassConstants& c, int j) {
    constexpr LaneList<__integer_pack(kLanes)...> lanes{};
    const Doubles f0 = __builtin_convertvector(Slice<k>(zeros, lanes), Doubles);
    const Doubles f1 = __builtin_convertvector(Slice<k>(ones, lanes), Doubles);
    const Doubles F = c.value0 * f0 + c.value1 * f1;
    return StoreSigns(F, in.randomField + j + k * kLanes, in.sign + j + k * kLanes, c);
  }

  template <int... k>
  static void IndexedBlock(const RowInput& in, const PassConstants& c, int j, LaneList<k...>) {
    const Bytes sL = Load<Bytes>(in.left + j - 1), sR = Load<Bytes>(in.right + j + 1);
    const Bytes sU = Load<Bytes>(in.up + j), sD = Load<Bytes>(in.down + j);
    const Bytes ones = (sL & Load<Bytes>(in.maskLeft + j - 1)) + (sR & Load<Bytes>(in.maskRight + j + 1)) +
                       (sU & Load<Bytes>(in.maskUp + j)) + (sD & Load<Bytes>(in.maskDown + j));
    const Bytes zeros = sL + sR + sU + sD - ones;
    const Longs unsure = (IndexedPart<k>(zeros, ones, in, c, j) | ...);
    if (Any(unsure)) [[unlikely]]
      for (int s = j; s < j + kSites; ++s) in.sign[s] = IndexedSite(in, c, s);
  }

  static void EvaluateIndexed(const RowInput& in, const PassConstants& c) {
    int j = in.begin;
    for (; j + kSites <= in.end; j += kSites) IndexedBlock(in, c, j, LaneList<__integer_pack(8)...>{});
    for (; j < in.end; ++j) in.sign[j] = IndexedSite(in, c, j);
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

  template <int k>
  static Longs ConstantsPart(Bytes sL, Bytes sR, Bytes sU, Bytes sD, const RowInput& in, const PassConstants& c,
                             int j) {
    constexpr LaneList<__integer_pack(kLanes)...> lanes{};
    const int at = j + k * kLanes;
    const Doubles F = ((Load<Doubles>(in.constLeft + at - 1) * __builtin_convertvector(Slice<k>(sL, lanes), Doubles) +
                        Load<Doubles>(in.constRight + at + 1) * __builtin_convertvector(Slice<k>(sR, lanes), Doubles)) +
                       Load<Doubles>(in.constUp + at) * __builtin_convertvector(Slice<k>(sU, lanes), Doubles)) +
                      Load<Doubles>(in.constDown + at) * __builtin_convertvector(Slice<k>(sD, lanes), Doubles);
    return StoreSigns(F, in.randomField + at, in.sign + at, c);
  }

  template <int... k>
  static void ConstantsBlock(const RowInput& in, const PassConstants& c, int j, LaneList<k...>) {
    const Bytes sL = Load<Bytes>(in.left + j - 1), sR = Load<Bytes>(in.right + j + 1);
    const Bytes sU = Load<Bytes>(in.up + j), sD = Load<Bytes>(in.down + j);
    const Longs unsure = (ConstantsPart<k>(sL, sR, sU, sD, in, c, j) | ...);
    if (Any(unsure)) [[unlikely]]
      for (int s = j; s < j + kSites; ++s) in.sign[s] = ConstantsSite(in, c, s);
  }

  static void EvaluateConstants(const RowInput& in, const PassConstants& c) {
    int j = in.begin;
    for (; j + kSites <= in.end; j += kSites) ConstantsBlock(in, c, j, LaneList<__integer_pack(8)...>{});
    for (; j < in.end; ++j) in.sign[j] = ConstantsSite(in, c, j);
  }

  // ---- Reversals: -old where previous * latest < 0 (descending) or <= 0
  // (ascending), for signs -1, 0, +1.

  static long long Sum(Bytes v) {
    long long sum = 0;
    for (int k = 0; k < kSites; ++k) sum += v[k];
    return sum;
  }

  template <bool ascending>
  static RowReversal Reverse(const std::int8_t* previous, const std::int8_t* latest, const std::int8_t* old,
                             std::int8_t* out, int count) {
    RowReversal r{0, false};
    Bytes change = {}, changed = {};
    int j = 0, blocks = 0;
    for (; j + kSites <= count; j += kSites) {
      const Bytes p = Load<Bytes>(previous + j), l = Load<Bytes>(latest + j), o = Load<Bytes>(old + j);
      const Bytes live = p != 0;
      const Bytes flip = ascending ? ~((p == l) & live) : (((p + l) == 0) & live);
      const Bytes spin = (o ^ flip) - flip;
      __builtin_memcpy(out + j, &spin, sizeof spin);
      const Bytes d = spin - o;  // -2, 0 or 2: 60 blocks stay within a byte
      change += d;
      changed |= d;
      if (++blocks == 60) {
        r.change += Sum(change);
        change = Bytes{};
        blocks = 0;
      }
    }
    r.change += Sum(change);
    r.changed = Sum(changed & 1) != 0;
    for (; j < count; ++j) {
      const int product = previous[j] * latest[j];
      const std::int8_t spin = static_cast<std::int8_t>((ascending ? product <= 0 : product < 0) ? -old[j] : old[j]);
      out[j] = spin;
      r.change += spin - old[j];
      r.changed |= spin != old[j];
    }
    return r;
  }

  static RowKernels Table(const char* name) {
    return RowKernels{name, EvaluateIndexed, EvaluateConstants, Reverse<false>, Reverse<true>};
  }
};
