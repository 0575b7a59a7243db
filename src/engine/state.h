// What the engines share, as three plain values: the design of the study (fixed for a run), one
// data set (fixed once read) and the totals its simulation adds up. Each is passed explicitly, so
// that tests can build one by hand and call a single function on it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace plovanet {

// Most capture occasions a history holds: its digits are the bits of a 32-bit int.
inline constexpr int kMaxOccasions = 30;

// Most states of a multistate study: one digit each, besides '0' and 'U', in a history.
inline constexpr int kMaxStates = 9;

struct FreeDeleter {
  void operator()(double* p) const noexcept { std::free(p); }
};

// Zero-filled block of doubles from calloc, for the tables of 2^nper entries; empty on failure.
// Large tables stay untouched (and so cost no memory) until they are written.
using Array = std::unique_ptr<double[], FreeDeleter>;
Array allocArray(std::size_t count);

// Every split its expectation (nothing is drawn), or one stochastic realisation.
enum class Mode : std::uint8_t { expected, stochastic };

// Individual animals (named format): covariates each animal draws once, when it enters; their
// effects on the logits of its rates; and a logit-normal random effect.
inline constexpr int kMaxCovariates = 10;
inline constexpr std::size_t kMaxCovariateName = 10;  // MARK's limit

enum class Law : std::uint8_t { normal, uniform, categories };

struct Covariate {
  std::string name;
  Law law = Law::normal;
  double a = 0, b = 0;        // normal: mean and sd; uniform: low and high
  std::vector<double> probs;  // categories: the probabilities of the values 0, 1, ...
};

// The rates an effect or a random effect moves; move: between two states of a multistate study.
enum class Rate : std::uint8_t { p, c, survival, retention, move };
inline constexpr std::size_t kSigmaRates = 4;  // p, c, survival, retention take heterogeneity

struct Effect {
  Rate rate = Rate::p;
  int from = 0, to = 0;  // move: the states' places in Design::states
  int covariate = 0;     // its place in Individuals::covariates
  double beta = 0;       // on the logit scale, per unit of the covariate
};

struct Individuals {
  std::vector<Covariate> covariates;
  std::vector<Effect> effects;
  // The random effect: each animal draws one z ~ N(0, 1), and the logit of rate r (indexed by
  // Rate, p to retention) moves by sigma[r] * z. heterogeneity: some heterogeneity line was given
  // (the reader has given c the sigma of p unless c has a line of its own).
  std::array<double, kSigmaRates> sigma{};
  bool heterogeneity = false;
  int nodes = 0;      // quadrature nodes per normal or uniform dimension; 0: the default
  bool rows = false;  // INDIVIDUAL: the output file holds one row per career of a caught animal
  bool log = false;   // ANIMALS=: every animal is written to a file as it is simulated
  // Whether the study is simulated animal by animal (stochastic) or integrated over the animals'
  // values (expected values).
  bool active() const { return !covariates.empty() || !effects.empty() || heterogeneity || log; }
};

enum class Encounters : std::uint8_t { none, livedead, barker };

// The study's design: its size, the mode and the tag-retention model.
struct Design {
  int nper = 0;           // number of capture occasions (history digits)
  int dim = 0;            // 2^nper, number of capture histories
  bool determ = true;     // expected values; false: one stochastic realisation
  bool thetaflg = false;  // tag retention by interval (THETA=TIME); by the tag's age otherwise
  // A robust design: nprim primary periods, sec[i-1] secondary occasions in primary i, nper their
  // sum. nprim is 0 in an ordinary study.
  int nprim = 0;
  std::vector<int> sec;
  // A multistate study: one capital letter per state, in the order given (the codes its
  // histories show); empty otherwise. uncertain: some data set records a caught animal's state
  // with a probability below 1, so that histories may show 'U'.
  std::string states;
  bool uncertain = false;
  // [i-1]: the time from occasion (a robust design's primary) i to i + 1, which MARK's time
  // interval line gives; empty: 1 each. The rates are per interval as given whatever its length.
  std::vector<double> interval;
  Individuals indiv;
  // A joint live-dead study (encounters livedead), with Barker's live resightings (barker):
  // 2 * nper history characters, each occasion's live capture then the interval's dead
  // recovery ('1') or resighting ('2'); none otherwise.
  Encounters encounters = Encounters::none;
  // A live-dead study in which no data set catches a marked animal alive (c 0 throughout): a
  // dead-recovery study, MARK's Dead type.
  bool recoveriesOnly = false;
};

// The time of interval i (from 1), as the MARK header writes it.
inline double intervalLength(const Design& d, int i) {
  return d.interval.empty() ? 1.0 : d.interval[static_cast<std::size_t>(i - 1)];
}

// The times of intervals 1 .. nper - 1: MARK's time interval line of a study of occasions.
inline std::vector<double> intervalLengths(const Design& d) {
  std::vector<double> t;
  for (int i = 1; i < d.nper; ++i) t.push_back(intervalLength(d, i));
  return t;
}

// One data set as it is simulated. Every vector holds nper entries, [k-1] belonging to occasion or
// interval k; in a robust design pa and p2 stay per secondary occasion (p and c: not yet caught
// in this primary / caught earlier in it) while n, sa, th, f, sef, em and ro are per primary.
// One state's rates in a multistate study, entries as in DataSet: [k-1] belongs to occasion or
// interval k. move[to][k-1]: the probability of being in state `to` at occasion k+1 when in this
// state at k, given survival; its own entry is unused (staying takes what the moves leave).
struct StateRates {
  std::vector<double> n;       // entrants in this state at occasion k
  std::vector<double> sa, th;  // survival / tag retention over interval k, for an animal in it at k
  std::vector<double> pa, p2;  // capture at occasion k, unmarked / marked
  std::vector<double> obs;     // a caught animal's state recorded at occasion k
  std::vector<std::vector<double>> move;
};

struct DataSet {
  std::vector<double> n;       // entrants at occasion k (the first ones; recruitment draws later ones)
  std::vector<double> sa, th;  // survival / tag retention over interval k (th by tag age unless thetaflg)
  std::vector<double> pa, p2;  // capture probability at occasion k, unmarked / marked
  std::vector<double> f, sef;  // recruitment rate over interval k and its standard error
  std::vector<double> em, ro;  // a robust design's emigrate / remain_out over interval i
  // A live-dead study's rates over interval k (the K-th interval follows the last occasion, and
  // sa[K-1] is its survival): report r (a marked animal dying in it is found and reported, while
  // it carries its tag), fidelity F (a survivor in the study area stays); with Barker's
  // resightings, resight R (a survivor is seen alive), resight_dead R' (an animal dying in it is
  // seen alive first) and return F' (a permanent emigrant comes back). Neutral: r 0, F 1, R 0,
  // R' 0, F' 0.
  std::vector<double> rr, fid, rs, rsd, ret;
  // A multistate study's rates, one entry per state of the design (n then holds the entrants of
  // all states); empty otherwise.
  std::vector<StateRates> st;
};

// A data set of nper occasions before any value is read: tag retention 1, everything else 0.
DataSet blankDataSet(int nper);
// A state of a design of that many states before any value is read: tag retention and
// observation 1, no move, everything else 0.
StateRates blankStateRates(int nper, std::size_t states);

// What the simulation of one data set adds up, per occasion (per primary of a robust design):
// zero at the start.
struct Totals {
  explicit Totals(int nper);
  std::vector<double> n;        // entrants, recruits included
  std::vector<double> tcap;     // caught (in a robust design: at least once in the primary)
  std::vector<double> talive;   // alive
  std::vector<double> tmark;    // present carrying a tag
  std::vector<double> tnew;     // unmarked animals caught (so marked)
  std::vector<double> tlost;    // survived the interval before but lost the tag over it
  std::vector<double> tin;      // alive and inside the study area (robust design)
  std::vector<double> movedIn;  // alive in a state it was not in at the occasion before (multistate)
  // A live-dead study's animals (marked or not) that die, are reported dead, or leave the study
  // area for good over the interval after occasion k.
  std::vector<double> died, reported, emigrated;
  // A multistate study's totals of each state (the ones above add them up); empty otherwise.
  std::vector<Totals> states;
};

inline Mode modeOf(const Design& d) {
  return d.determ ? Mode::expected : Mode::stochastic;
}

// Animals followed together by a recursion: all with one history so far (bit nper - k set when
// caught at occasion k), count of them, reaching occasion (1-based; a robust design's primary).
struct Batch {
  int history;
  double count;
  int occasion;
};

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
inline constexpr std::size_t kDigitsRoom = 64;
using EmitFn = FunctionRef<bool(int h, const char* digits, const double* cols)>;

}  // namespace plovanet
