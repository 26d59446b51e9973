#include "ZymraFit.h"

#include <nlopt.h>

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <limits>
#include <thread>
#include <ctime>

#include "ZymraSweep.h"
#include "ZymraNumeric.h"

const char* const kFitConstantNames[kFitConstantCount] = {"Yield_Real",   "Maintenance_Real", "DryMassPerOD_Real",
                                                         "CSubstr_Real", "Batchumax",        "BatchOD",
                                                         "FedBatchOD"};

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
// An objective that cannot be computed (a run that gives no rows) is this bad.
constexpr double kHuge = 1e300;
// Rounds of "fit, then re-estimate the error levels" a start makes at most.
constexpr int kLevelRounds = 4;
// Profile: points tried outward per side, then bisection steps for the crossing.
constexpr int kProfileWalk = 12, kProfileBisect = 8;
constexpr double kCorrelationWarning = 0.95;

// Where a constant lies in the packed records (its doubles are unaligned: copied, never
// referenced).
std::uint8_t* FieldOf(TRunParameters& p, TRunBatchParameters& b, int constant) {
  auto* params = reinterpret_cast<std::uint8_t*>(&p);
  auto* batch = reinterpret_cast<std::uint8_t*>(&b);
  switch (constant) {
    case 0: return params + offsetof(TRunParameters, Yield_Real);
    case 1: return params + offsetof(TRunParameters, Maintenance_Real);
    case 2: return params + offsetof(TRunParameters, DryMassPerOD_Real);
    case 3: return params + offsetof(TRunParameters, CSubstr_Real);
    case 4: return batch + offsetof(TRunBatchParameters, Batchumax);
    case 5: return batch + offsetof(TRunBatchParameters, BatchOD);
    default: return params + offsetof(TRunParameters, FedBatchOD);
  }
}

void Store(TRunParameters& p, TRunBatchParameters& b, int constant, double value) {
  std::memcpy(FieldOf(p, b, constant), &value, sizeof value);
}

std::string G(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

// Constants that must stay above 0 although the start page does not check them:
// the model divides by them or starts its growth from them.
bool MustBePositive(int constant) { return constant >= 4; }

// ---- small numerics ----

// ln Gamma by Lanczos (g = 7, 9 terms): enough for the t quantile.
double LogGamma(double x) {
  static const double c[9] = {0.99999999999980993,  676.5203681218851,     -1259.1392167224028,
                              771.32342877765313,   -176.61502916214059,   12.507343278686905,
                              -0.13857109526572012, 9.9843695780195716e-6, 1.5056327351493116e-7};
  x -= 1;
  double a = c[0];
  const double t = x + 7.5;
  for (int i = 1; i < 9; ++i) a += c[i] / (x + i);
  return 0.5 * std::log(2 * M_PI) + (x + 0.5) * std::log(t) - t + std::log(a);
}

// Continued fraction of the regularised incomplete beta function (Lentz).
double BetaFraction(double a, double b, double x) {
  const double tiny = 1e-300;
  double c = 1, d = 1 - (a + b) * x / (a + 1);
  d = 1 / (std::fabs(d) < tiny ? tiny : d);
  double h = d;
  for (int m = 1; m <= 300; ++m) {
    const double m2 = 2.0 * m;
    double aa = m * (b - m) * x / ((a + m2 - 1) * (a + m2));
    d = 1 + aa * d;
    d = 1 / (std::fabs(d) < tiny ? tiny : d);
    c = 1 + aa / c;
    c = std::fabs(c) < tiny ? tiny : c;
    h *= d * c;
    aa = -(a + m) * (a + b + m) * x / ((a + m2) * (a + m2 + 1));
    d = 1 + aa * d;
    d = 1 / (std::fabs(d) < tiny ? tiny : d);
    c = 1 + aa / c;
    c = std::fabs(c) < tiny ? tiny : c;
    const double del = d * c;
    h *= del;
    if (std::fabs(del - 1) < 1e-15) break;
  }
  return h;
}

double IncompleteBeta(double a, double b, double x) {
  if (x <= 0) return 0;
  if (x >= 1) return 1;
  const double front =
      std::exp(LogGamma(a + b) - LogGamma(a) - LogGamma(b) + a * std::log(x) + b * std::log(1 - x));
  if (x < (a + 1) / (a + b + 2)) return front * BetaFraction(a, b, x) / a;
  return 1 - front * BetaFraction(b, a, 1 - x) / b;
}

// The 97.5 % quantile of Student's t with nu degrees of freedom.
double TQuantile975(double nu) {
  auto upperTail = [nu](double t) { return 0.5 * IncompleteBeta(nu / 2, 0.5, nu / (nu + t * t)); };
  double lo = 0, hi = 1000;
  for (int i = 0; i < 200; ++i) {
    const double mid = 0.5 * (lo + hi);
    (upperTail(mid) > 0.025 ? lo : hi) = mid;
  }
  return 0.5 * (lo + hi);
}
constexpr double kZ975 = 1.959963984540054;

// Eigen decomposition of a symmetric matrix by cyclic Jacobi rotations: a holds the
// matrix (destroyed), values get the eigenvalues, vectors the eigenvectors as columns.
void SymmetricEigen(std::vector<std::vector<double>> a, std::vector<double>& values,
                    std::vector<std::vector<double>>& vectors) {
  const std::size_t n = a.size();
  vectors.assign(n, std::vector<double>(n, 0));
  for (std::size_t i = 0; i < n; ++i) vectors[i][i] = 1;
  for (int sweep = 0; sweep < 100; ++sweep) {
    double off = 0, diag = 0;
    for (std::size_t i = 0; i < n; ++i) {
      diag += a[i][i] * a[i][i];
      for (std::size_t j = i + 1; j < n; ++j) off += a[i][j] * a[i][j];
    }
    if (off <= 1e-30 * diag || off == 0) break;
    for (std::size_t p = 0; p < n; ++p)
      for (std::size_t q = p + 1; q < n; ++q) {
        if (a[p][q] == 0) continue;
        const double theta = (a[q][q] - a[p][p]) / (2 * a[p][q]);
        const double t = (theta >= 0 ? 1 : -1) / (std::fabs(theta) + std::sqrt(theta * theta + 1));
        const double c = 1 / std::sqrt(t * t + 1), s = t * c;
        for (std::size_t k = 0; k < n; ++k) {
          const double akp = a[k][p], akq = a[k][q];
          a[k][p] = c * akp - s * akq;
          a[k][q] = s * akp + c * akq;
        }
        for (std::size_t k = 0; k < n; ++k) {
          const double apk = a[p][k], aqk = a[q][k];
          a[p][k] = c * apk - s * aqk;
          a[q][k] = s * apk + c * aqk;
        }
        for (std::size_t k = 0; k < n; ++k) {
          const double vkp = vectors[k][p], vkq = vectors[k][q];
          vectors[k][p] = c * vkp - s * vkq;
          vectors[k][q] = s * vkp + c * vkq;
        }
      }
  }
  values.resize(n);
  for (std::size_t i = 0; i < n; ++i) values[i] = a[i][i];
}

// ---- the problem as the workers see it ----

struct TObservation {
  int Set, Replicate;
  double Time;
  int Column;
  double Measured;
};

using TLevels = std::array<double, kMeasuredColumnCount>;

struct TContext {
  const TFitProblem* Problem = nullptr;
  const TFitOptions* Options = nullptr;
  std::vector<int> Constants;
  std::vector<double> Low, High;
  std::vector<TObservation> Obs;
  std::array<long long, kMeasuredColumnCount> Count{};
  std::array<bool, kMeasuredColumnCount> Estimated{};
  TLevels Floor{};  // error levels never go below this (noise-free data)
  TLevels Provisional{};
  int Series[kMeasuredColumnCount] = {};
  long long MaxSteps = 0;
  std::uint32_t LagSeed = 0;
  std::atomic<long long> Evaluations{0};
  std::atomic<bool> Stopped{false};
  // CPU seconds of the calling thread inside the parallel phases, and of the busiest
  // worker of each phase, summed over the phases.
  double CallerInPhases = 0, BusiestInPhases = 0;

  std::size_t P() const { return Constants.size(); }
  bool CancelRequested() const { return Options->Cancel && Options->Cancel->load(std::memory_order_relaxed); }
};

// The model values of one trial, per observation.
struct TTrial {
  std::vector<double> Simulated;
  std::vector<char> Beyond;
  double LastTime = 0;
};

// One worker's simulation: a run of its own, reused from trial to trial.
// A series at time t, linear between the two rows around t; before the first row the
// first value, from the last row on the last value (the culture is taken to stay where
// the run stopped), `beyond` then telling whether t lies after the run's end. NaN for a
// series without rows.
double SeriesAt(const tDoubleMatrix& time, const tDoubleMatrix& s, double t, bool& beyond) {
  beyond = false;
  const int last = std::min(time.Rows(), s.Rows()) - 1;
  if (last < 0) return NAN;
  if (t >= time.Value(last)) {
    beyond = t > time.Value(last);
    return s.Value(last);
  }
  if (t <= time.Value(0)) return s.Value(0);
  int lo = 0, hi = last;  // time[lo] < t < time[hi]
  while (hi - lo > 1) {
    const int mid = (lo + hi) / 2;
    (time.Value(mid) <= t ? lo : hi) = mid;
  }
  const double t0 = time.Value(lo), t1 = time.Value(hi);
  const double w = t1 > t0 ? (t - t0) / (t1 - t0) : 0;
  return s.Value(lo) + w * (s.Value(hi) - s.Value(lo));
}

class TEvaluator {
 public:
  explicit TEvaluator(TContext& c) : C_(c) {}

  // False when the fit is being cancelled (nothing simulated then).
  bool Simulate(const std::vector<double>& x, TTrial& trial) {
    if (C_.Stopped.load(std::memory_order_relaxed)) return false;
    if (C_.CancelRequested()) {
      C_.Stopped = true;
      return false;
    }
    TRunParameters p = C_.Problem->Params;
    TRunBatchParameters b = C_.Problem->Batch;
    for (std::size_t j = 0; j < C_.P(); ++j) Store(p, b, C_.Constants[j], x[j]);
    RunSweepRun(Run_, p, b, C_.LagSeed, C_.MaxSteps);
    C_.Evaluations.fetch_add(1, std::memory_order_relaxed);
    if (C_.Options->Evaluations) C_.Options->Evaluations->fetch_add(1, std::memory_order_relaxed);
    const std::size_t n = C_.Obs.size();
    trial.Simulated.assign(n, NAN);
    trial.Beyond.assign(n, 0);
    const tDoubleMatrix& time = Run_.Time;
    const int rows = time.Rows();
    if (rows == 0) return true;
    trial.LastTime = time.Value(rows - 1);
    for (std::size_t i = 0; i < n; ++i) {
      const TObservation& o = C_.Obs[i];
      bool beyond = false;
      trial.Simulated[i] = SeriesAt(time, Run_.Series(C_.Series[o.Column]), o.Time, beyond);
      trial.Beyond[i] = beyond;
    }
    return true;
  }

 private:
  TContext& C_;
  TZymra_Run Run_;
};

// The residual of one observation in its column's own unit: relative for OD, to the
// model OD `reference` of a fixed trial. The relative weights stay fixed during a search
// and are renewed between rounds (iteratively reweighted): weights that moved with the
// trial itself would favour a model that overshoots, since a larger OD makes every
// relative residual smaller.
double UnitResidual(const TContext& c, std::size_t i, double simulated, const std::vector<double>& reference) {
  const double r = c.Obs[i].Measured - simulated;
  if (c.Obs[i].Column == static_cast<int>(TMeasuredColumn::ODreal))
    return r / std::max(std::fabs(reference[i]), 1e-12);
  return r;
}

std::array<double, kMeasuredColumnCount> ColumnSums(const TContext& c, const TTrial& trial,
                                                    const std::vector<double>& reference) {
  std::array<double, kMeasuredColumnCount> ss{};
  for (std::size_t i = 0; i < c.Obs.size(); ++i) {
    const double u = UnitResidual(c, i, trial.Simulated[i], reference);
    ss[c.Obs[i].Column] += std::isfinite(u) ? u * u : kHuge;
  }
  return ss;
}

double WeightedSum(const TContext& c, const TTrial& trial, const TLevels& levels,
                   const std::vector<double>& reference) {
  const auto ss = ColumnSums(c, trial, reference);
  double sum = 0;
  for (int k = 0; k < kMeasuredColumnCount; ++k)
    if (c.Count[k]) sum += ss[k] / (levels[k] * levels[k]);
  return std::isfinite(sum) ? std::min(sum, kHuge) : kHuge;
}

// The error levels the residuals of a trial give (estimated columns only), with the
// degrees of freedom shared out over the columns by their number of values.
TLevels LevelsFrom(const TContext& c, const TTrial& trial, const TLevels& given) {
  TLevels levels = given;
  const auto ss = ColumnSums(c, trial, trial.Simulated);
  const double n = static_cast<double>(c.Obs.size());
  const double share = std::max(n - static_cast<double>(c.P()), 1.0) / n;
  for (int k = 0; k < kMeasuredColumnCount; ++k)
    if (c.Count[k] && c.Estimated[k])
      levels[k] = std::max(std::sqrt(ss[k] / (static_cast<double>(c.Count[k]) * share)), c.Floor[k]);
  return levels;
}

// -2 log likelihood up to a constant with the estimated levels concentrated out: lets
// starts that ended with different estimated levels be compared.
double Deviance(const TContext& c, const TTrial& trial) {
  const auto ss = ColumnSums(c, trial, trial.Simulated);
  double d = 0;
  for (int k = 0; k < kMeasuredColumnCount; ++k) {
    if (!c.Count[k]) continue;
    if (c.Estimated[k]) {
      const double n = static_cast<double>(c.Count[k]);
      d += n * std::log(std::max(ss[k] / n, c.Floor[k] * c.Floor[k]));
    } else {
      d += ss[k] / (c.Provisional[k] * c.Provisional[k]);
    }
  }
  return std::isfinite(d) ? d : kHuge;
}

// ---- local searches ----

struct TSearch {
  TContext* C;
  TEvaluator* Ev;
  TLevels Levels;
  const std::vector<double>* Reference;
  std::vector<double> Full;     // all constants; the free ones are overwritten
  std::vector<std::size_t> Free;  // indexes into the constants that the search moves
  TTrial Trial;
  double Best = kInf;
  std::vector<double> BestFull;
  nlopt_opt Opt = nullptr;
};

double SearchObjective(unsigned n, const double* u, double*, void* data) {
  auto* s = static_cast<TSearch*>(data);
  for (unsigned k = 0; k < n; ++k) {
    const std::size_t j = s->Free[k];
    s->Full[j] = s->C->Low[j] + std::clamp(u[k], 0.0, 1.0) * (s->C->High[j] - s->C->Low[j]);
  }
  if (!s->Ev->Simulate(s->Full, s->Trial)) {
    nlopt_force_stop(s->Opt);
    return kHuge;
  }
  const double f = WeightedSum(*s->C, s->Trial, s->Levels, *s->Reference);
  if (f < s->Best) {
    s->Best = f;
    s->BestFull = s->Full;
  }
  return f;
}

// Minimises the weighted sum over the free constants from `start`; the result is the
// best point seen (NLopt may stop on round-off after having found it).
double LocalSearch(TContext& c, TEvaluator& ev, const TLevels& levels, const std::vector<double>& reference,
                   const std::vector<std::size_t>& freeIdx, std::vector<double>& x, double step,
                   long long maxEvaluations) {
  TSearch s{&c, &ev, levels, &reference, x, freeIdx, {}, kInf, x, nullptr};
  const unsigned n = static_cast<unsigned>(freeIdx.size());
  if (n == 0) {
    if (!ev.Simulate(x, s.Trial)) return kHuge;
    return WeightedSum(c, s.Trial, levels, reference);
  }
  // BOBYQA needs two dimensions; a single constant is searched by Subplex.
  s.Opt = nlopt_create(n >= 2 ? NLOPT_LN_BOBYQA : NLOPT_LN_SBPLX, n);
  std::vector<double> u(n), lo(n, 0.0), hi(n, 1.0), dx(n);
  for (unsigned k = 0; k < n; ++k) {
    const std::size_t j = freeIdx[k];
    u[k] = std::clamp((x[j] - c.Low[j]) / (c.High[j] - c.Low[j]), 0.0, 1.0);
    // A first step that fits inside the box on at least one side.
    dx[k] = std::min(step, std::max(u[k], 1 - u[k]) * 0.999);
  }
  nlopt_set_lower_bounds(s.Opt, lo.data());
  nlopt_set_upper_bounds(s.Opt, hi.data());
  nlopt_set_initial_step(s.Opt, dx.data());
  nlopt_set_min_objective(s.Opt, SearchObjective, &s);
  nlopt_set_xtol_abs1(s.Opt, 1e-11);
  nlopt_set_maxeval(s.Opt, static_cast<int>(std::min<long long>(maxEvaluations, 1 << 30)));
  double f = 0;
  nlopt_optimize(s.Opt, u.data(), &f);
  nlopt_destroy(s.Opt);
  x = s.BestFull;
  return s.Best;
}

// Runs tasks 0..count-1 on `threads` workers (the calling thread is one), each worker
// with an evaluator of its own.
double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

template <class F>
void ParallelTasks(TContext& c, int count, int threads, F task) {
  std::atomic<int> next{0};
  const int workers = std::max(1, std::min(threads, count));
  std::vector<double> cpu(static_cast<std::size_t>(workers), 0);
  auto work = [&](int self) {
    const double start = ThreadCpuSeconds();
    {
      TEvaluator ev(c);
      for (;;) {
        const int t = next.fetch_add(1);
        if (t >= count || c.Stopped.load()) break;
        task(t, ev);
      }
    }
    cpu[static_cast<std::size_t>(self)] = ThreadCpuSeconds() - start;
  };
  std::vector<std::thread> pool;
  for (int k = 1; k < workers; ++k) pool.emplace_back(work, k);
  work(0);
  for (std::thread& t : pool) t.join();
  c.CallerInPhases += cpu[0];
  c.BusiestInPhases += *std::max_element(cpu.begin(), cpu.end());
}

struct TStartResult {
  std::vector<double> X;
  TLevels Levels{};
  double Deviance = kHuge;
};

std::vector<std::vector<double>> StartPoints(const TContext& c, const std::vector<double>& first, int starts,
                                             std::uint64_t seed) {
  // Latin hypercube over the box: every constant's range is cut into starts-1 strata
  // and each stratum is used once; the first start is the run's own values.
  const std::size_t p = c.P();
  std::vector<std::vector<double>> points(static_cast<std::size_t>(starts), first);
  const int m = starts - 1;
  if (m <= 0) return points;
  TSampler draw(Mix64(seed ^ 0x5DEECE66DULL));
  for (std::size_t j = 0; j < p; ++j) {
    std::vector<int> strata(static_cast<std::size_t>(m));
    for (int k = 0; k < m; ++k) strata[static_cast<std::size_t>(k)] = k;
    for (int k = m - 1; k > 0; --k) std::swap(strata[static_cast<std::size_t>(k)], strata[draw.Next() % (k + 1)]);
    for (int k = 0; k < m; ++k) {
      const double u = (strata[static_cast<std::size_t>(k)] + draw.Uniform()) / m;
      points[static_cast<std::size_t>(k + 1)][j] = c.Low[j] + u * (c.High[j] - c.Low[j]);
    }
  }
  return points;
}

int ThreadCount(const TFitOptions& options) {
  const int t = options.Threads > 0 ? options.Threads : static_cast<int>(std::thread::hardware_concurrency());
  return std::max(t, 1);
}
}  // namespace

int FitConstantIndex(const std::string& name) {
  for (int i = 0; i < kFitConstantCount; ++i)
    if (name == kFitConstantNames[i]) return i;
  return -1;
}

double FitConstantValue(const TRunParameters& params, const TRunBatchParameters& batch, int constant) {
  TRunParameters p = params;
  TRunBatchParameters b = batch;
  double value = 0;
  std::memcpy(&value, FieldOf(p, b, constant), sizeof value);
  return value;
}

void SetFitConstantValue(TRunParameters& params, TRunBatchParameters& batch, int constant, double value) {
  Store(params, batch, constant, value);
}

void DefaultFitBounds(const TRunParameters& params, const TRunBatchParameters& batch, int constant, double& low,
                      double& high) {
  const double v = FitConstantValue(params, batch, constant);
  // What the start page accepts for the checked ones.
  static const double kAccepted[kFitConstantCount][2] = {{0.1, 0.9}, {0, 0.1},  {0.1, 2},         {10, 1000},
                                                        {0, kInf},  {0, kInf}, {0, 80}};
  const double lo = kAccepted[constant][0], hi = kAccepted[constant][1];
  if (v > 0) {
    low = std::max(v / 2, lo);
    high = std::min(v * 2, hi);
  } else {
    low = lo;
    high = std::isfinite(hi) ? hi : 1;
  }
  if (MustBePositive(constant)) low = std::max(low, std::min(v, high) * 1e-3);
}

bool ParseFitParameter(const std::string& text, TFitParameter& parameter, std::string& error) {
  parameter = TFitParameter{};
  const auto eq = text.find('=');
  parameter.Name = text.substr(0, eq);
  if (FitConstantIndex(parameter.Name) < 0) {
    error = "'" + parameter.Name +
            "' cannot be estimated (choose from Yield_Real, Maintenance_Real, DryMassPerOD_Real, CSubstr_Real, "
            "Batchumax, BatchOD, FedBatchOD)";
    return false;
  }
  if (eq == std::string::npos) return true;
  const std::string bounds = text.substr(eq + 1);
  const auto colon = bounds.find(':');
  if (colon == std::string::npos || !ParseNumber(bounds.substr(0, colon), parameter.Low) ||
      !ParseNumber(bounds.substr(colon + 1), parameter.High)) {
    error = "malformed --estimate '" + text + "' (expected NAME or NAME=LOW:HIGH)";
    return false;
  }
  return true;
}

TFitProblem FitProblemFromRun(const TZymra_Run& run) {
  TFitProblem problem;
  problem.Params = run.Params;
  problem.Batch = run.BatchParams;
  ClearRunStatus(problem.Params, problem.Batch);
  return problem;
}

bool CheckFitProblem(const TFitProblem& problem, std::string& error) {
  if (problem.Estimate.empty()) {
    error = "nothing to estimate: name at least one constant";
    return false;
  }
  const std::vector<std::string> failed = CheckRunValues(problem.Params, problem.Batch);
  if (!failed.empty()) {
    error = "the run's values fail the start page's checks: " + Cp1252ToUtf8(failed.front());
    return false;
  }
  std::vector<int> seen;
  for (const TFitParameter& e : problem.Estimate) {
    const int k = FitConstantIndex(e.Name);
    if (k < 0) {
      error = "'" + e.Name + "' cannot be estimated";
      return false;
    }
    if (std::find(seen.begin(), seen.end(), k) != seen.end()) {
      error = e.Name + " is to be estimated twice";
      return false;
    }
    seen.push_back(k);
    double low = e.Low, high = e.High;
    if (std::isnan(low) || std::isnan(high)) {
      double dl = 0, dh = 0;
      DefaultFitBounds(problem.Params, problem.Batch, k, dl, dh);
      if (std::isnan(low)) low = dl;
      if (std::isnan(high)) high = dh;
    }
    if (!(low < high)) {
      error = e.Name + ": the lower bound " + G(low) + " is not below the upper bound " + G(high);
      return false;
    }
    if (MustBePositive(k)) {
      if (!(low > 0)) {
        error = e.Name + ": the lower bound must be above 0, not " + G(low);
        return false;
      }
    }
    for (double v : {low, high}) {
      TRunParameters p = problem.Params;
      TRunBatchParameters b = problem.Batch;
      SetFitConstantValue(p, b, k, v);
      const std::vector<std::string> refused = CheckRunValues(p, b);
      if (!refused.empty()) {
        error = e.Name + "=" + G(v) + ": " + Cp1252ToUtf8(refused.front());
        return false;
      }
    }
  }
  long long values = 0;
  for (const TMeasuredData& d : problem.Data) values += d.ValueCount();
  if (values == 0) {
    error = "no measured values to fit to";
    return false;
  }
  for (int k = 0; k < kMeasuredColumnCount; ++k) {
    const double level = problem.ErrorLevel[k];
    if (!std::isnan(level) && !(level > 0 && std::isfinite(level))) {
      error = std::string("the error level of ") + MeasuredColumnName(static_cast<TMeasuredColumn>(k)) +
              " must be above 0, not " + G(level);
      return false;
    }
  }
  return true;
}

long long FitEvaluationBudget(const TFitProblem& problem, const TFitOptions& options) {
  const long long p = static_cast<long long>(problem.Estimate.size());
  const long long starts = std::max(options.Starts, 1);
  const long long perSearch = std::max(options.MaxEvaluationsPerStart, 10LL);
  // Per start: its first trial, then per round a search and the trial at its end; then
  // the trial at the optimum and the Jacobian's.
  long long budget = starts * (1 + kLevelRounds * (perSearch + 1)) + 1 + 2 * p;
  if (options.Profile)
    budget += 2 * p * (kProfileWalk + kProfileBisect) * std::max(perSearch / 4, 1LL);
  return budget;
}

bool RunFit(const TFitProblem& problem, const TFitOptions& options, TFitResult& result, std::string& error) {
  result = TFitResult{};
  if (!CheckFitProblem(problem, error)) return false;
  long long values = 0;
  for (const TMeasuredData& d : problem.Data) values += d.ValueCount();
  if (values <= static_cast<long long>(problem.Estimate.size())) {
    error = std::to_string(values) + " measured value(s) cannot determine " + std::to_string(problem.Estimate.size()) +
            " constant(s)";
    return false;
  }
  const double callerStart = ThreadCpuSeconds();
  TContext c;
  c.Problem = &problem;
  c.Options = &options;
  c.LagSeed = static_cast<std::uint32_t>(options.Seed);
  for (int k = 0; k < kMeasuredColumnCount; ++k) c.Series[k] = MeasuredColumnSeries(static_cast<TMeasuredColumn>(k));
  std::vector<double> start;
  for (const TFitParameter& e : problem.Estimate) {
    const int k = FitConstantIndex(e.Name);
    double low = e.Low, high = e.High, dl = 0, dh = 0;
    DefaultFitBounds(problem.Params, problem.Batch, k, dl, dh);
    if (std::isnan(low)) low = dl;
    if (std::isnan(high)) high = dh;
    c.Constants.push_back(k);
    c.Low.push_back(low);
    c.High.push_back(high);
    start.push_back(std::clamp(FitConstantValue(problem.Params, problem.Batch, k), low, high));
    result.Names.push_back(e.Name);
  }
  const std::size_t p = c.P();
  double lastTime = 0;
  std::array<double, kMeasuredColumnCount> squares{};
  for (std::size_t s = 0; s < problem.Data.size(); ++s)
    for (const TMeasuredPoint& point : problem.Data[s].Points)
      for (int k = 0; k < kMeasuredColumnCount; ++k) {
        const double y = point.Value[k];
        if (std::isnan(y)) continue;
        c.Obs.push_back({static_cast<int>(s), point.Replicate, point.Time, k, y});
        ++c.Count[k];
        squares[k] += y * y;
        lastTime = std::max(lastTime, point.Time);
      }
  const double dt = problem.Params.SimInterval;
  c.MaxSteps = static_cast<long long>(std::ceil(lastTime / dt - 1e-9)) + 1;
  for (int k = 0; k < kMeasuredColumnCount; ++k) {
    c.Estimated[k] = std::isnan(problem.ErrorLevel[k]);
    const bool od = k == static_cast<int>(TMeasuredColumn::ODreal);
    const double scale = od ? 1 : (c.Count[k] ? std::sqrt(squares[k] / static_cast<double>(c.Count[k])) : 1);
    const double unit = scale > 0 ? scale : 1e-3;
    c.Floor[k] = 1e-10 * unit;
    c.Provisional[k] = c.Estimated[k] ? 0.05 * unit : problem.ErrorLevel[k];
  }
  int measuredColumns = 0, estimatedColumns = 0;
  for (int k = 0; k < kMeasuredColumnCount; ++k) {
    measuredColumns += c.Count[k] > 0;
    estimatedColumns += c.Count[k] > 0 && c.Estimated[k];
  }
  // With one column, or none estimated, the levels only scale the objective; relative
  // weights need rounds of their own.
  const bool levelsMove = estimatedColumns > 0 && measuredColumns > 1;
  const bool weightsMove = c.Count[static_cast<int>(TMeasuredColumn::ODreal)] > 0;
  const int threads = ThreadCount(options);
  const long long maxEval = std::max(options.MaxEvaluationsPerStart, 10LL);
  std::vector<std::size_t> all(p);
  for (std::size_t j = 0; j < p; ++j) all[j] = j;

  // ---- starts ----
  const int starts = std::max(options.Starts, 1);
  const auto points = StartPoints(c, start, starts, options.Seed);
  std::vector<TStartResult> found(static_cast<std::size_t>(starts));
  ParallelTasks(c, starts, threads, [&](int t, TEvaluator& ev) {
    TStartResult& r = found[static_cast<std::size_t>(t)];
    r.X = points[static_cast<std::size_t>(t)];
    r.Levels = c.Provisional;
    TTrial trial;
    if (!ev.Simulate(r.X, trial)) return;
    for (int round = 0; round < kLevelRounds; ++round) {
      const std::vector<double> before = r.X, reference = trial.Simulated;
      LocalSearch(c, ev, r.Levels, reference, all, r.X, round == 0 ? 0.1 : 0.01, maxEval);
      if (!ev.Simulate(r.X, trial)) return;
      if (!levelsMove && !weightsMove) break;
      const TLevels next = levelsMove ? LevelsFrom(c, trial, c.Provisional) : r.Levels;
      bool settled = true;
      for (int k = 0; k < kMeasuredColumnCount; ++k)
        if (c.Count[k] && std::fabs(next[k] / r.Levels[k] - 1) > 1e-3) settled = false;
      for (std::size_t j = 0; j < p; ++j)
        if (std::fabs(r.X[j] - before[j]) > 1e-7 * (c.High[j] - c.Low[j])) settled = false;
      r.Levels = next;
      if (settled) break;
    }
    r.Deviance = Deviance(c, trial);
  });
  auto cancelled = [&] {
    result.Cancelled = true;
    result.Evaluations = c.Evaluations.load();
    error = "the fit was cancelled";
    return false;
  };
  if (c.Stopped.load()) return cancelled();
  std::size_t best = 0;
  for (std::size_t t = 1; t < found.size(); ++t)
    if (found[t].Deviance < found[best].Deviance) best = t;
  if (!(found[best].Deviance < kHuge)) {
    error = "no start gave a run that can be compared with the data";
    return false;
  }
  const std::vector<double> xHat = found[best].X;

  // ---- levels, residuals and the Jacobian at the optimum ----
  TEvaluator ev(c);
  TTrial at;
  if (!ev.Simulate(xHat, at)) return cancelled();
  const TLevels levels = estimatedColumns ? LevelsFrom(c, at, c.Provisional) : c.Provisional;
  auto weighted = [&](const TTrial& trial, std::vector<double>& r) {
    r.resize(c.Obs.size());
    for (std::size_t i = 0; i < c.Obs.size(); ++i)
      r[i] = UnitResidual(c, i, trial.Simulated[i], at.Simulated) / levels[c.Obs[i].Column];
  };
  std::vector<double> r0;
  weighted(at, r0);
  const std::size_t n = c.Obs.size();
  std::vector<double> h(p), xPlus(p), xMinus(p);
  std::vector<std::vector<double>> rPlus(p), rMinus(p);
  ParallelTasks(c, static_cast<int>(2 * p), threads, [&](int t, TEvaluator& e) {
    const std::size_t j = static_cast<std::size_t>(t) / 2;
    const bool plus = t % 2 == 0;
    // Central differences with a step of 1e-3 of the estimate: wide enough to reach
    // past the whole-step events, short enough for the curvature.
    const double step = std::max(1e-3 * std::fabs(xHat[j]), 1e-6 * (c.High[j] - c.Low[j]));
    std::vector<double> x = xHat;
    if (plus)
      x[j] = std::min(xHat[j] + step, c.High[j]);
    else
      x[j] = std::max(xHat[j] - step, c.Low[j]);
    TTrial trial;
    if (!e.Simulate(x, trial)) return;
    weighted(trial, plus ? rPlus[j] : rMinus[j]);
    (plus ? xPlus : xMinus)[j] = x[j];
  });
  if (c.Stopped.load()) return cancelled();
  std::vector<std::vector<double>> jac(n, std::vector<double>(p, 0));
  for (std::size_t j = 0; j < p; ++j) {
    const double span = xPlus[j] - xMinus[j];
    for (std::size_t i = 0; i < n; ++i) jac[i][j] = span > 0 ? (rMinus[j][i] - rPlus[j][i]) / span : 0;
  }
  // d(model)/d(theta) = -d(residual)/d(theta): the sign does not matter for J'J.
  std::vector<std::vector<double>> jtj(p, std::vector<double>(p, 0));
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t a = 0; a < p; ++a)
      for (std::size_t b = 0; b < p; ++b) jtj[a][b] += jac[i][a] * jac[i][b];
  std::vector<double> eigen;
  std::vector<std::vector<double>> vec;
  SymmetricEigen(jtj, eigen, vec);
  const double top = *std::max_element(eigen.begin(), eigen.end());
  std::vector<std::vector<double>> cov(p, std::vector<double>(p, 0));
  std::vector<char> undetermined(p, 0);
  for (std::size_t k = 0; k < p; ++k) {
    if (!(top > 0) || eigen[k] <= 1e-14 * top) {
      for (std::size_t j = 0; j < p; ++j)
        if (std::fabs(vec[j][k]) > 0.1) undetermined[j] = 1;
      continue;
    }
    for (std::size_t a = 0; a < p; ++a)
      for (std::size_t b = 0; b < p; ++b) cov[a][b] += vec[a][k] * vec[b][k] / eigen[k];
  }

  result.Points = static_cast<long long>(n);
  result.DegreesOfFreedom = static_cast<long long>(n) - static_cast<long long>(p);
  result.Quantile = estimatedColumns ? 't' : 'z';
  result.QuantileValue =
      estimatedColumns ? TQuantile975(static_cast<double>(std::max(result.DegreesOfFreedom, 1LL))) : kZ975;
  const double q = result.QuantileValue;
  result.SSE = 0;
  for (double v : r0) result.SSE += v * v;
  result.Estimate = xHat;
  result.Low = c.Low;
  result.High = c.High;
  result.StdError.resize(p);
  result.CILow.resize(p);
  result.CIHigh.resize(p);
  result.Correlation.assign(p, std::vector<double>(p, NAN));
  for (std::size_t j = 0; j < p; ++j) {
    const double se = undetermined[j] ? kInf : std::sqrt(std::max(cov[j][j], 0.0));
    result.StdError[j] = se;
    result.CILow[j] = xHat[j] - q * se;
    result.CIHigh[j] = xHat[j] + q * se;
  }
  for (std::size_t a = 0; a < p; ++a)
    for (std::size_t b = 0; b < p; ++b)
      if (!undetermined[a] && !undetermined[b] && cov[a][a] > 0 && cov[b][b] > 0)
        result.Correlation[a][b] = a == b ? 1 : cov[a][b] / std::sqrt(cov[a][a] * cov[b][b]);
  for (int k = 0; k < kMeasuredColumnCount; ++k) {
    result.ErrorLevel[k] = c.Count[k] ? levels[k] : NAN;
    result.ErrorEstimated[k] = c.Count[k] && c.Estimated[k];
  }

  // ---- profiles ----
  if (options.Profile) {
    result.ProfileLow.assign(p, NAN);
    result.ProfileHigh.assign(p, NAN);
    std::vector<char> flat(2 * p, 0);
    const double threshold = result.SSE + q * q;
    ParallelTasks(c, static_cast<int>(2 * p), threads, [&](int t, TEvaluator& e) {
      const std::size_t j = static_cast<std::size_t>(t) / 2;
      const double dir = t % 2 == 0 ? -1 : 1;
      const double bound = dir < 0 ? c.Low[j] : c.High[j];
      std::vector<std::size_t> others;
      for (std::size_t k = 0; k < p; ++k)
        if (k != j) others.push_back(k);
      std::vector<double> x = xHat;
      // The least objective with constant j held at v, the others searched from x.
      auto profile = [&](double v) {
        std::vector<double> y = x;
        y[j] = v;
        const double f = LocalSearch(c, e, levels, at.Simulated, others, y, 0.02, std::max(maxEval / 4, 1LL));
        return std::pair{f, y};
      };
      double step = std::isfinite(result.StdError[j]) && result.StdError[j] > 0 ? result.StdError[j]
                                                                               : 0.05 * (c.High[j] - c.Low[j]);
      step = std::max(step, 1e-6 * (c.High[j] - c.Low[j]));
      double inside = xHat[j], outside = NAN;
      for (int k = 0; k < kProfileWalk; ++k) {
        const double v = dir < 0 ? std::max(inside - step, bound) : std::min(inside + step, bound);
        auto [f, y] = profile(v);
        if (c.Stopped.load()) return;
        if (f > threshold) {
          outside = v;
          break;
        }
        inside = v;
        x = y;
        if (v == bound) break;
        step *= 2;
      }
      double limit = inside;
      if (std::isnan(outside)) {
        flat[static_cast<std::size_t>(t)] = inside == bound;
      } else {
        for (int k = 0; k < kProfileBisect; ++k) {
          const double mid = 0.5 * (inside + outside);
          auto [f, y] = profile(mid);
          if (c.Stopped.load()) return;
          if (f > threshold) {
            outside = mid;
          } else {
            inside = mid;
            x = y;
          }
        }
        limit = 0.5 * (inside + outside);
      }
      (dir < 0 ? result.ProfileLow : result.ProfileHigh)[j] = limit;
    });
    if (c.Stopped.load()) return cancelled();
    for (std::size_t j = 0; j < p; ++j)
      for (int side = 0; side < 2; ++side)
        if (flat[2 * j + static_cast<std::size_t>(side)])
          result.Warnings.push_back("The profile of " + result.Names[j] + " stays within the 95 % level up to its " +
                                    (side == 0 ? "lower bound " + G(c.Low[j]) : "upper bound " + G(c.High[j])) +
                                    ": the data do not bound " + result.Names[j] +
                                    (side == 0 ? " from below." : " from above."));
  }

  // ---- warnings, residuals, the records with the estimates ----
  for (std::size_t j = 0; j < p; ++j)
    if (undetermined[j])
      result.Warnings.push_back(result.Names[j] + " has no visible effect on the simulated values at the measured "
                                "times, alone or together with the others: these data cannot determine it.");
  for (std::size_t a = 0; a < p; ++a)
    for (std::size_t b = a + 1; b < p; ++b)
      if (std::fabs(result.Correlation[a][b]) > kCorrelationWarning) {
        char corr[32];
        std::snprintf(corr, sizeof corr, "%.3f", result.Correlation[a][b]);
        result.Warnings.push_back(result.Names[a] + " and " + result.Names[b] +
                                  " cannot be told apart by these data (correlation " + corr +
                                  "): they trade off against each other, and only a combination of them is "
                                  "determined.");
      }
  for (std::size_t j = 0; j < p; ++j) {
    const double tol = 1e-6 * (c.High[j] - c.Low[j]);
    if (xHat[j] - c.Low[j] <= tol || c.High[j] - xHat[j] <= tol)
      result.Warnings.push_back(result.Names[j] + " ended at its " +
                                (xHat[j] - c.Low[j] <= tol ? "lower bound " + G(c.Low[j])
                                                           : "upper bound " + G(c.High[j])) +
                                ": the best value may lie beyond it.");
  }
  long long beyond = 0;
  for (char b : at.Beyond) beyond += b;
  if (beyond)
    result.Warnings.push_back(std::to_string(beyond) + " measured value(s) lie after the simulated run ended at " +
                              G(at.LastTime) + " h; each is compared with the run's last row.");

  result.Residuals.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const TObservation& o = c.Obs[i];
    TFitResidual& r = result.Residuals[i];
    r.DataSet = o.Set;
    r.Replicate = o.Replicate;
    r.Time = o.Time;
    r.Column = static_cast<TMeasuredColumn>(o.Column);
    r.Measured = o.Measured;
    r.Simulated = at.Simulated[i];
    r.Residual = o.Measured - at.Simulated[i];
    r.Weighted = r0[i];
    r.Sigma = levels[o.Column] *
              (o.Column == static_cast<int>(TMeasuredColumn::ODreal) ? std::max(std::fabs(at.Simulated[i]), 1e-12)
                                                                     : 1.0);
    r.BeyondRun = at.Beyond[i] != 0;
  }
  result.Params = problem.Params;
  result.Batch = problem.Batch;
  for (std::size_t j = 0; j < p; ++j) SetFitConstantValue(result.Params, result.Batch, c.Constants[j], xHat[j]);
  result.Evaluations = c.Evaluations.load();
  result.CriticalPathSeconds = ThreadCpuSeconds() - callerStart - c.CallerInPhases + c.BusiestInPhases;
  return true;
}

TMeasuredData SyntheticMeasuredData(const TRunParameters& params, const TRunBatchParameters& batch,
                                    const TSyntheticDesign& design) {
  TRunParameters p = params;
  TRunBatchParameters b = batch;
  ClearRunStatus(p, b);
  TZymra_Run run;
  RunSweepRun(run, p, b, design.LagSeed, 1000000);
  TSampler draw(Mix64(design.Seed ^ 0xA0761D6478BD642FULL));
  TMeasuredData data;
  for (int r = 1; r <= std::max(design.Replicates, 1); ++r)
    for (double t : design.Times) {
      TMeasuredPoint point;
      point.Time = t;
      point.Replicate = r;
      for (int k = 0; k < kMeasuredColumnCount; ++k) {
        const double noise = design.Noise[static_cast<std::size_t>(k)];
        if (std::isnan(noise) || run.Time.Rows() == 0) continue;
        // The model's value as the fit compares it.
        bool beyond = false;
        const double exact =
            SeriesAt(run.Time, run.Series(MeasuredColumnSeries(static_cast<TMeasuredColumn>(k))), t, beyond);
        const double e = draw.Normal();
        point.Value[static_cast<std::size_t>(k)] =
            k == static_cast<int>(TMeasuredColumn::ODreal) ? exact * (1 + noise * e) : exact + noise * e;
      }
      data.Points.push_back(point);
    }
  return data;
}
