#include "engine/fast_engine.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "engine/simulation.h"

namespace orvane {
namespace {

// The voiding clock's constants, as the reference clock has them.
constexpr double kAdministrationClock = 540.0;
constexpr double kMidnight = 1440.0;
constexpr double kDayInterval = 180.0;
constexpr double kNightInterval = 360.0;
constexpr double kMorningClock = 360.0;

constexpr int kDayKey = 0;    // 180 min at the day rate
constexpr int kNightKey = 1;  // 360 min at the night rate

using Components = std::array<double, kComponentCount>;

// Helper threads that live as long as the program, so a calculation does not pay for
// starting them. run() hands out indices 0..count-1 to the caller and the helpers as each
// asks for the next; the caller waits only for indices that a helper has taken, so a
// helper that wakes late (the other core busy) costs nothing.
class WorkerPool {
public:
    static WorkerPool& instance() {
        static WorkerPool pool;
        return pool;
    }

    int helperCount() const { return static_cast<int>(threads_.size()); }

    void run(int count, int helpers, const std::function<void(int)>& body) {
        std::lock_guard<std::mutex> serial(runMutex_);
        auto job = std::make_shared<Job>(&body, count);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job_ = job;
            wanted_ = helpers;
            ++generation_;
        }
        wake_.notify_all();
        job->work();
        while (job->finished.load(std::memory_order_acquire) < count) std::this_thread::yield();
        std::lock_guard<std::mutex> lock(mutex_);
        job_.reset();
    }

    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

private:
    struct Job {
        Job(const std::function<void(int)>* b, int c) : body(b), count(c) {}
        // body is called only for indices below count, all of which the caller waits for,
        // so it is never called after run() has returned.
        void work() {
            for (int i = next.fetch_add(1); i < count; i = next.fetch_add(1)) {
                (*body)(i);
                finished.fetch_add(1, std::memory_order_release);
            }
        }
        const std::function<void(int)>* body;
        int count;
        std::atomic<int> next{0};
        std::atomic<int> finished{0};
    };

    WorkerPool() {
        const int cores = static_cast<int>(std::thread::hardware_concurrency());
        const int helpers = std::clamp(cores - 1, 0, 7);
        try {
            for (int i = 0; i < helpers; ++i) threads_.emplace_back([this, i] { loop(i); });
        } catch (const std::system_error&) {
            // Fewer helpers, or none: the caller does the work.
        }
    }

    ~WorkerPool() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& thread : threads_) thread.join();
    }

    void loop(int index) {
        unsigned long long seen = 0;
        for (;;) {
            std::shared_ptr<Job> job;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
                if (stop_) return;
                seen = generation_;
                if (index < wanted_) job = job_;
            }
            if (job) job->work();
        }
    }

    std::vector<std::thread> threads_;
    std::mutex runMutex_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::shared_ptr<Job> job_;
    int wanted_ = 0;
    unsigned long long generation_ = 0;
    bool stop_ = false;
};

}  // namespace

FastDoseEngine::FastDoseEngine(const ModelParameters& parameters,
                               std::span<const FillRateSchedule> schedules,
                               std::span<const double> t0s, int n, const QuadratureNodes& nodes,
                               const QuadratureWeights& weights)
    : parameters_(parameters),
      n_(n),
      x_(nodes),
      w_(weights),
      schedules_(schedules.begin(), schedules.end()),
      t0s_(t0s.begin(), t0s.end()) {
    // A component with fraction 0 or rate constant 0 delivers nothing; it keeps g = 0.
    for (int c = 0; c < kComponentCount; ++c) {
        if (parameters.fraction[c] == 0 || parameters.rateConstant[c] == 0) continue;
        fraction_[c] = parameters.fraction[c];
        rate_[c] = parameters.rateConstant[c];
        if (fraction_[c] < 0) anyNegative_ = true;
    }

    // The lengths of intervals 2..n, by the reference clock's arithmetic, so that every
    // comparison with midnight comes out as it does there.
    struct Key {
        double length;
        bool night;
    };
    std::vector<Key> keys{{kDayInterval, false}, {kNightInterval, true}};
    const int tail = std::max(n - 1, 0);
    plan_.resize(t0s_.size() * static_cast<std::size_t>(tail));
    for (std::size_t t = 0; t < t0s_.size(); ++t) {
        double clock = kAdministrationClock + t0s_[t];
        std::uint16_t* plan = plan_.data() + t * tail;
        for (int d = 2; d <= n; ++d) {
            if (clock < kMidnight) {
                clock = clock + kDayInterval;
                plan[d - 2] = kDayKey;
            } else if (clock == kMidnight) {
                clock = kMorningClock;
                plan[d - 2] = kNightKey;
            } else {
                const double length = kDayInterval - (clock - kMidnight);
                clock = kMidnight;
                auto found = std::find_if(keys.begin(), keys.end(), [&](const Key& k) {
                    return !k.night && k.length == length;
                });
                if (found == keys.end()) found = keys.insert(keys.end(), {length, false});
                plan[d - 2] = static_cast<std::uint16_t>(found - keys.begin());
            }
        }
    }
    keyCount_ = static_cast<int>(keys.size());

    // One node set per distinct length, first intervals included.
    std::vector<double> lengths;
    auto lengthIndex = [&](double length) {
        auto found = std::find(lengths.begin(), lengths.end(), length);
        if (found == lengths.end()) found = lengths.insert(lengths.end(), length);
        return static_cast<int>(found - lengths.begin());
    };
    std::vector<int> keyNodeSet;
    for (const Key& key : keys) keyNodeSet.push_back(lengthIndex(key.length));
    for (double t0 : t0s_) firstNodeSet_.push_back(lengthIndex(t0));

    const double lp = parameters.physicalDecayConstant;
    nodeSets_.resize(lengths.size());
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        NodeSet& set = nodeSets_[i];
        const double length = lengths[i];
        const double half = length / 2;
        set.length = length;
        for (int p = 0; p < kPoints; ++p) {
            const double y = (p % 2 == 0) ? x_[p / 2] : -x_[p / 2];
            const double dt = (1 + y) * half;
            set.offset[p] = dt;
            set.weightTime[p] = w_[p / 2] * half;
            set.decay[p] = std::exp(-lp * dt);
            for (int c = 0; c < kComponentCount; ++c) {
                set.uptake[c][p] = rate_[c] == 0 ? 0.0 : -std::expm1(-rate_[c] * dt);
            }
        }
        set.decayEnd = std::exp(-lp * length);
        for (int c = 0; c < kComponentCount; ++c) {
            set.uptakeEnd[c] = rate_[c] == 0 ? 0.0 : -std::expm1(-rate_[c] * length);
            set.carry[c] = std::exp(-(lp + rate_[c]) * length);
        }
    }

    // Every interval after the first starts at the residual volume.
    kernels_.resize(schedules_.size() * keys.size());
    for (std::size_t s = 0; s < schedules_.size(); ++s) {
        for (std::size_t k = 0; k < keys.size(); ++k) {
            const double rate = keys[k].night ? schedules_[s].nightRate : schedules_[s].dayRate;
            buildKernel(kernels_[s * keys.size() + k], nodeSets_[keyNodeSet[k]], kResidualVolume,
                        rate);
        }
    }
}

void FastDoseEngine::buildKernel(Kernel& kernel, const NodeSet& nodes, double startVolume,
                                 double rate) const {
    const double delta = parameters_.deltaScaled;
    const double gamma = parameters_.gammaScaled * 0.0039;
    // The dose-rate factor S(V) of the reference. Its gamma term is exactly 0 without gamma
    // emissions, so the powers are skipped then; they are taken first, in a loop of their
    // own, so that the divisions below overlap instead of waiting on each call.
    std::array<double, kPoints> volume;
    std::array<double, kPoints> power;
    for (int p = 0; p < kPoints; ++p) volume[p] = startVolume + rate * nodes.offset[p];
    if (gamma != 0) {
        for (int p = 0; p < kPoints; ++p) power[p] = std::pow(volume[p], 0.667);
    }
    double content = 0.0;
    Components inflow{};
    for (int p = 0; p < kPoints; ++p) {
        double factor = delta / (volume[p] * 120);
        if (gamma != 0) factor += gamma / (power[p] * 60);
        const double weight = nodes.weightTime[p] * factor * nodes.decay[p];
        kernel.weight[p] = weight;
        content += weight;
        for (int c = 0; c < kComponentCount; ++c) inflow[c] += weight * nodes.uptake[c][p];
    }
    kernel.nodes = &nodes;
    kernel.content = content;
    kernel.inflow = inflow;
    kernel.endVolume = startVolume + rate * nodes.length;
    kernel.residualShare = kResidualVolume / kernel.endVolume;
}

namespace {

// One interval: adds its integral to total, returns the activity at its void (unclamped)
// and advances g to the interval's end. b is the content at the interval's start.
template <bool kCheckSign>
inline double advance(const FastDoseEngine::Kernel& kernel, double b, Components& g,
                      double& total) {
    const FastDoseEngine::NodeSet& nodes = *kernel.nodes;
    bool closedForm = true;
    if constexpr (kCheckSign) {
        // Each component's uptake grows with time, so the content is lowest where every
        // negative component has delivered all it delivers within the interval.
        double lowest = b;
        for (int c = 0; c < kComponentCount; ++c) {
            lowest += std::min(g[c], 0.0) * nodes.uptakeEnd[c];
        }
        closedForm = lowest >= 0;
    }
    if (closedForm) {
        total += b * kernel.content + (g[0] * kernel.inflow[0] + g[1] * kernel.inflow[1]) +
                 (g[2] * kernel.inflow[2] + g[3] * kernel.inflow[3]);
    } else {
        // Point by point; a negative content counts as 0.
        double sum = 0.0;
        for (int p = 0; p < FastDoseEngine::kPoints; ++p) {
            double content = b;
            for (int c = 0; c < kComponentCount; ++c) content += g[c] * nodes.uptake[c][p];
            if (content > 0) sum += kernel.weight[p] * content;
        }
        total += sum;
    }
    const double atVoid =
        nodes.decayEnd * (b + (g[0] * nodes.uptakeEnd[0] + g[1] * nodes.uptakeEnd[1]) +
                          (g[2] * nodes.uptakeEnd[2] + g[3] * nodes.uptakeEnd[3]));
    for (int c = 0; c < kComponentCount; ++c) g[c] *= nodes.carry[c];
    return atVoid;
}

template <bool kCheckSign, bool kRecord>
double runCell(const FastDoseEngine::Kernel& first, const FastDoseEngine::Kernel* row,
               const std::uint16_t* plan, int n, const Components& fraction, VoidHistory* history) {
    Components g = fraction;
    double total = 0.0;
    double b = 0.0;
    double end = 0.0;
    const FastDoseEngine::Kernel* kernel = &first;
    for (int d = 1;; ++d) {
        const double atVoid = advance<kCheckSign>(*kernel, b, g, total);
        if constexpr (kRecord) {
            end += kernel->nodes->length;
            history->voidActivity[d] = atVoid;
            history->voidVolume[d] = kernel->endVolume;
            history->voidTime[d] = end;
        }
        // What the void leaves: the share of the residual volume.
        b = atVoid * kernel->residualShare;
        if (d == n) break;
        kernel = &row[plan[d - 1]];
    }
    return (1000 * total) / 3.7;
}

}  // namespace

double FastDoseEngine::cellDose(int scheduleIndex, double v0, int t0Index,
                                VoidHistory* history) const {
    Kernel first;
    buildKernel(first, nodeSets_[firstNodeSet_[t0Index]], v0, schedules_[scheduleIndex].dayRate);
    const Kernel* row = kernels_.data() + static_cast<std::size_t>(scheduleIndex) * keyCount_;
    const std::uint16_t* plan = plan_.data() + static_cast<std::size_t>(t0Index) * (n_ - 1);
    if (history != nullptr) {
        return anyNegative_ ? runCell<true, true>(first, row, plan, n_, fraction_, history)
                            : runCell<false, true>(first, row, plan, n_, fraction_, history);
    }
    return anyNegative_ ? runCell<true, false>(first, row, plan, n_, fraction_, nullptr)
                        : runCell<false, false>(first, row, plan, n_, fraction_, nullptr);
}

double simulateDoseFast(const ModelParameters& parameters, const FillRateSchedule& schedule,
                        double v0, double t0, int n, const QuadratureNodes& nodes,
                        const QuadratureWeights& weights, VoidHistory* history) {
    const FastDoseEngine engine(parameters, std::span(&schedule, 1), std::span(&t0, 1), n, nodes,
                                weights);
    return engine.cellDose(0, v0, 0, history);
}

void fillDoseTablesFast(const ModelParameters& parameters,
                        std::span<const FillRateSchedule> schedules, const ModelTables& tables,
                        int n, std::span<DoseTable> results, int threadCount) {
    const FastDoseEngine engine(parameters, schedules, tables.t0Grid, n, tables.quadratureNodes,
                                tables.quadratureWeights);
    // Each cell writes its own element and nothing else, so the order of the cells and the
    // thread that runs one cannot change a dose.
    constexpr int kTableCells = kV0Count * kT0Count;
    auto cell = [&](int i) {
        const int s = i / kTableCells;
        const int v = i / kT0Count % kV0Count;
        const int t = i % kT0Count;
        results[s].at(t, v) = engine.cellDose(s, tables.v0Grid[v], t);
    };
    const int cells = static_cast<int>(schedules.size()) * kTableCells;
    if (threadCount == 0) threadCount = n >= kFastThreadingMinIntervals ? 0x7fff : 1;
    WorkerPool* pool = threadCount > 1 ? &WorkerPool::instance() : nullptr;
    if (pool == nullptr || pool->helperCount() == 0) {
        for (int i = 0; i < cells; ++i) cell(i);
    } else {
        pool->run(cells, threadCount - 1, cell);
    }
}

std::array<DoseTable, kScheduleCount> computeDoseTablesFast(const ModelParameters& parameters,
                                                            const ModelTables& tables, int n,
                                                            int threadCount) {
    std::array<DoseTable, kScheduleCount> results{};
    fillDoseTablesFast(parameters, kFillRateSchedules, tables, n, results, threadCount);
    return results;
}

}  // namespace orvane
