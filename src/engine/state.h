// The Run state shared by the engine, run control and output: sizes, modes and the per-occasion
// arrays, plus the history table. It is a plain struct passed explicitly, so that tests can fill
// one by hand and call a single function on it.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace plovanet {

struct FreeDeleter {
  void operator()(double* p) const noexcept { std::free(p); }
};

// Zero-filled block of doubles from calloc; empty on failure. Large tables stay untouched
// (and so cost no memory) until they are written.
using Array = std::unique_ptr<double[], FreeDeleter>;
Array allocArray(std::size_t count);

struct RunState {
  int nper = 0;      // number of occasions
  int dim = 0;       // 2^nper, number of capture histories
  int determ = 1;    // 1 expected values, 0 one stochastic realisation
  int mxgrps = 1;    // rows of nx
  int grp = 0;       // current row of nx, advanced by the data-set loop only
  int thetaflg = 0;  // 1 tag retention by interval, 0 by age of the tag
  Array pa, p2;      // [k-1]: capture probability at occasion k, unmarked / marked
  Array sa, th;      // [k-1]: survival / tag retention over interval k (th by tag age when thetaflg 0)
  Array tcap;        // [k-1]: captured at occasion k
  Array talive;      // [k-1]: alive at occasion k
  // Truth totals, added only where allocated (run control may leave them null):
  Array tmark;  // [k-1]: present at occasion k carrying a tag
  Array tnew;   // [k-1]: unmarked animals caught (so marked) at occasion k
  Array tlost;  // [k-1]: survived interval k-1 but lost the tag over it
  Array nx;     // mxgrps rows of dim: careers of group g ending with history h
  // A robust design: nprim primary periods, sec[i-1] secondary occasions in primary i, and
  // nper = their sum the capture occasions (history digits). The per-occasion arrays above then
  // change meaning: pa and p2 stay per secondary occasion (p and c: not yet caught in this
  // primary / caught earlier in it); sa, th, em, ro hold one entry per interval between
  // primaries; tcap, talive and the truth totals one entry per primary (tcap: caught at least
  // once in it). nprim is 0 in an ordinary study.
  int nprim = 0;
  std::vector<int> sec;
  Array em, ro;  // [i-1]: emigrate / remain_out over interval i between primaries
  Array tin;     // [i-1]: alive and inside the study area at primary i (truth)

  double* row(int g) const { return nx.get() + static_cast<std::size_t>(g) * static_cast<std::size_t>(dim); }
};

// Primaries of a robust design, occasions of an ordinary study: the entries of tcap and talive.
inline int periods(const RunState& rs) {
  return rs.nprim > 0 ? rs.nprim : rs.nper;
}

// A non-owning reference to something callable, for callbacks on hot paths: two words, no
// allocation, one indirect call. It refers to the callable it was made from, so it is passed
// down a call, never kept beyond it.
template <class Sig>
class FunctionRef;

template <class R, class... Args>
class FunctionRef<R(Args...)> {
  template <class F>
  static constexpr bool kCallable =
      !std::is_same_v<std::remove_cvref_t<F>, FunctionRef> &&
      !std::is_function_v<std::remove_reference_t<F>> && std::is_invocable_r_v<R, F&, Args...>;

 public:
  // Implicit, so that a caller passes a lambda as it is.
  template <class F, class = std::enable_if_t<kCallable<F>>>
  FunctionRef(F&& f) noexcept
      : obj_(const_cast<void*>(static_cast<const void*>(std::addressof(f)))),
        call_([](void* obj, Args... args) -> R {
          return (*static_cast<std::remove_reference_t<F>*>(obj))(std::forward<Args>(args)...);
        }) {}

  R operator()(Args... args) const { return call_(obj_, std::forward<Args>(args)...); }

 private:
  void* obj_;
  R (*call_)(void*, Args...);
};

// Receives one history record from an engine that produces records without a table: h, its
// nper digits '0'/'1' (occasion 1 first, not terminated) and the value of every column (group).
// Returns false to stop. The digits lie in a buffer of kDigitsRoom bytes, so a writer may copy
// that many at once and keep the first nper.
inline constexpr std::size_t kDigitsRoom = 32;
using EmitFn = FunctionRef<bool(int h, const char* digits, const double* cols)>;

// The sources of a walk's columns laid end to end: ends[g] is one past the last source of
// column g. Both closed-form walks interleave their sources' tables in this order.
template <class Source>
void flattenColumns(const std::vector<std::vector<const Source*>>& columns, std::vector<const Source*>& src,
                    std::vector<std::size_t>& ends) {
  for (const auto& col : columns) {
    for (const Source* c : col) src.push_back(c);
    ends.push_back(src.size());
  }
}

// The sum the records use for one node: 0.0 plus each column, a column being 0.0 plus its
// sources in order (x[s] for source s), so walks and table writers agree to the last bit.
inline double columnTotal(const std::vector<std::size_t>& ends, const double* x) {
  double tot = 0.0;
  std::size_t s = 0;
  for (const std::size_t e : ends) {
    double v = 0.0;
    for (; s < e; ++s) v += x[s];
    tot += v;
  }
  return tot;
}

// Allocates every array of a hand-built state (tests, fuzzing); false when memory runs out.
bool allocateState(RunState& rs, int nper, int mxgrps);

}  // namespace plovanet
