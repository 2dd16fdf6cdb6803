#include "batch_run.h"

#include "characteristic.h"
#include "fast_profile.h"
#include "frame_flags.h"
#include "frame_ref.h"
#include "value_range.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace framesifter {

namespace {

// What the frames being read at one time may hold in all. With the profile table and the
// program itself this keeps a run's peak well under 300 MB whatever the thread count; a
// 4000 x 4000 frame decoded whole (24-bit, a copy for the window search) fits.
constexpr std::size_t kRunMemoryBudget = std::size_t(192) << 20;

void ResetRun(AnalysisResults& results, int count) {
    for (int b = 0; b < kProfileBins; ++b) {
        results.mean[b] = 0;
        results.largest[b] = 0;
        results.smallest[b] = 1.0e8;  // off the graph until a frame is recorded
    }
    results.largestTotal = 0;
    // Any total is smaller: the first frame recorded is the smallest so far, however large.
    results.smallestTotal = std::numeric_limits<double>::infinity();
    results.leftOut.clear();
    results.flags.clear();
    results.exactColumns.clear();
    for (int b = 0; b < kTableBins; ++b) std::fill_n(results.profileTable[b], count, 0);
    std::fill_n(results.exactBins.begin(), std::size_t(count) * kExactBins, 0.0f);
}

}  // namespace

int SaturateToInt(double v) {
    if (!(v == v)) return 0;
    if (v >= double(INT_MAX)) return INT_MAX;
    if (v <= double(INT_MIN)) return INT_MIN;
    return int(v);
}

namespace {

// Frame k's characteristic into the table and the summary curves. `sums` gathers the plain
// sums too, for a mean over fewer frames when some are left out (wide, so that many frames of
// the largest profiles do not overflow them); the mean of a run without any keeps its
// arithmetic.
void RecordFrame(AnalysisResults& results, const double* profile, bool real, int k, int count,
                 long double* sums) {
    bool fits = true;
    for (int b = 0; b < kTableBins; ++b) {
        results.profileTable[b][k] = SaturateToInt(profile[b]);
        fits = fits && profile[b] < 2147483648.0;
    }
    // A frame of whole numbers whose bins pass the int range (32-bit and float FITS) keeps its
    // truncated bins whole, so that its scores stay those of the table it does not fit.
    if (real)
        std::copy_n(profile, kTableBins, results.exactColumns[k].data());
    else if (!fits)
        for (int b = 0; b < kTableBins; ++b) results.exactColumns[k][b] = std::trunc(profile[b]);
    std::copy_n(profile, kExactBins, results.exactBins.begin() + std::ptrdiff_t(k) * kExactBins);
    double total = 0;
    for (int b = 0; b < kTableBins; ++b) total += profile[b];
    for (int b = 0; b < kProfileBins; ++b) {
        results.mean[b] += profile[b] / count;
        sums[b] += profile[b];
    }
    if (!(results.largestTotal >= total)) {
        results.largestTotal = total;
        std::copy_n(profile, kProfileBins, results.largest);
    }
    if (results.smallestTotal > total) {
        results.smallestTotal = total;
        std::copy_n(profile, kProfileBins, results.smallest);
    }
}

struct FrameResult {
    int index = -1;  // which frame the slot holds once it is done
    WindowRead read = WindowRead::Ok;
    int width = 0;
    int height = 0;
    std::string error;
    WindowFacts facts;
    bool real = false;  // the frame's values are not all integers
    double profile[kProfileBins];
};

// What reading and analysing frames needs, one set per thread.
class FrameWorker {
public:
    FrameWorker(int N, MemoryBudget& budget) {
        try {
            // Each frame is then told "not enough memory to analyse the frame".
            std::string reason;
            ready_ = AllocIntPlane(N, N, window_, reason);
            profiler_ = std::make_unique<FastProfiler>();
        } catch (const std::exception&) {
            ready_ = false;
        }
        reader_.hold.setBudget(&budget);
    }
    void process(const FrameRef& frame, WindowMode mode, int N, FrameResult& slot) {
        slot.error.clear();
        slot.width = slot.height = 0;
        slot.facts = WindowFacts();
        if (!ready_) {
            slot.read = WindowRead::Unreadable;
            slot.error = "not enough memory to analyse the frame";
            return;
        }
        try {
            slot.read = ReadFrameWindow(frame, mode, N, reader_, window_, slot.width, slot.height,
                                        slot.error);
            slot.real = slot.read == WindowRead::Ok && reader_.real;
            if (slot.real)
                profiler_->compute(reader_.realWindow.data(), slot.profile);
            else if (slot.read == WindowRead::Ok)
                profiler_->compute(window_.data(), slot.profile);
            if (slot.read == WindowRead::Ok) {
                slot.error = ProfileRangeProblem(slot.profile);
                if (!slot.error.empty()) {
                    slot.read = WindowRead::Unreadable;
                    return;
                }
            }
            if (slot.real)
                slot.facts = MeasureRealWindow(reader_.realWindow.data(), N, mode);
            else if (slot.read == WindowRead::Ok)
                slot.facts = MeasureWindow(window_, N, reader_.sampleCeiling, mode);
        } catch (const std::exception& e) {
            reader_.hold.reset();
            slot.read = WindowRead::Unreadable;
            slot.error = e.what();
        }
    }

private:
    FrameReader reader_;
    IntPlane window_;
    std::unique_ptr<FastProfiler> profiler_;
    bool ready_ = false;
};

// Frames are read and analysed by worker threads, each with its own reader, window and
// profiler, a few frames ahead of the calling thread, which takes the results strictly in
// list order. So the table, the curves, the progress positions and the stop at the first
// failing frame are those of a run one frame at a time, and each frame's profile does not
// depend on which thread computed it. When the system will not start a thread the run goes
// on with those it has, and with none the calling thread reads every frame itself.
class ParallelRun {
public:
    ParallelRun(const std::vector<FrameRef>& frames, int count, WindowMode mode, int N, int threads,
                const BatchControl* control)
        : frames_(frames), count_(count), mode_(mode), n_(N), control_(control),
          budget_(kRunMemoryBudget), slots_(std::size_t(2 * threads + 2)) {
        for (int t = 0; t < threads; ++t) {
            try {
                workers_.emplace_back([this] { Work(); });
            } catch (const std::system_error&) {
                break;
            }
        }
    }
    ~ParallelRun() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        space_.notify_all();
        for (std::thread& t : workers_) t.join();
    }
    int threadCount() const { return int(workers_.size()); }

    // Waits for frame k; the result stays valid until Release(k). Null when a stop from
    // outside came before any worker took frame k: none ever will.
    const FrameResult* Wait(int k) {
        FrameResult& slot = SlotOf(k);
        if (workers_.empty()) {
            if (!inlineWorker_) inlineWorker_ = std::make_unique<FrameWorker>(n_, budget_);
            if (control_ && control_->beforeRead) control_->beforeRead(k);
            inlineWorker_->process(frames_[std::size_t(k)], mode_, n_, slot);
            slot.index = k;
            return &slot;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [&] { return slot.index == k || (claimsEnded_ && next_ <= k); });
        return slot.index == k ? &slot : nullptr;
    }
    void Release(int k) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            released_ = k + 1;
        }
        space_.notify_all();
    }

private:
    FrameResult& SlotOf(int k) { return slots_[std::size_t(k) % slots_.size()]; }

    void Work() {
        FrameWorker worker(n_, budget_);
        for (;;) {
            int k;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                space_.wait(lock, [&] {
                    return stop_ || next_ >= count_ || next_ < released_ + int(slots_.size());
                });
                if (stop_ || next_ >= count_) return;
                // A stop asked for from outside: no frame is started after it, and the caller,
                // who may already wait for the next frame, is told that none will come.
                if (control_ && control_->stopRequested()) {
                    claimsEnded_ = true;
                    lock.unlock();
                    done_.notify_all();
                    return;
                }
                k = next_++;
            }
            if (control_ && control_->beforeRead) control_->beforeRead(k);
            FrameResult& slot = SlotOf(k);  // this thread's alone until it is marked done
            worker.process(frames_[std::size_t(k)], mode_, n_, slot);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                slot.index = k;
            }
            done_.notify_all();
        }
    }

    const std::vector<FrameRef>& frames_;
    const int count_;
    const WindowMode mode_;
    const int n_;
    const BatchControl* control_;
    MemoryBudget budget_;
    std::vector<FrameResult> slots_;
    std::vector<std::thread> workers_;
    std::unique_ptr<FrameWorker> inlineWorker_;
    std::mutex mutex_;
    std::condition_variable done_;
    std::condition_variable space_;
    int next_ = 0;      // the next frame a worker takes
    int released_ = 0;  // frames before this one have been taken by the caller
    bool stop_ = false;
    bool claimsEnded_ = false;  // a worker saw the outside stop: no frame is claimed again
};

int ThreadCount(int asked) {
    if (asked > 0) return std::min(asked, 16);
    const unsigned hardware = std::thread::hardware_concurrency();
    return int(std::clamp(hardware, 1u, 8u));
}

BatchResult BadFrame(const FrameResult& frame, int k, const FrameRef& ref) {
    BatchResult result;
    result.status =
        frame.read == WindowRead::TooSmall ? BatchStatus::TooSmall : BatchStatus::Unreadable;
    result.failedIndex = k;
    result.failedFrame = ref;
    result.reason = frame.error;
    result.width = frame.width;
    result.height = frame.height;
    return result;
}

// The curves of a run that left frames out are over the analysed frames alone.
void AverageOverAnalysed(AnalysisResults& results, const long double* sums, int count) {
    const int analysed = count - int(results.leftOut.size());
    for (int b = 0; b < kProfileBins; ++b)
        results.mean[b] = analysed > 0 ? double(sums[b] / analysed) : 0;
    if (analysed > 0) return;
    std::fill_n(results.smallest, kProfileBins, 0.0);
    results.smallestTotal = 0;
}

}  // namespace

BatchResult RunBatch(AnalysisResults& results, const std::vector<FrameRef>& frames, WindowMode mode,
                     ProgressSink* progress, int threads, BatchControl* control) {
    BatchResult result;
    const int count = int(std::min<std::size_t>(frames.size(), kMaxFrameEntries + 1));
    if (count == 0) return result;
    if (count > int(kMaxFrameEntries)) {
        result.status = BatchStatus::TooMany;
        return result;
    }
    results.files.clear();
    if (results.profileTable.second() < count ||
        results.exactBins.size() < std::size_t(count) * kExactBins) {
        // The old columns go first: a long list's table is large, and two would not fit.
        results.profileTable.release();
        std::vector<float>().swap(results.exactBins);
        std::string error;
        if (!CreateAnalysisResults(results, count, error)) {
            result.status = BatchStatus::NoMemory;
            result.reason = error;
            return result;
        }
    }
    ResetRun(results, count);

    auto stopped = [&] {
        results.leftOut.clear();
        if (progress) progress->setPosition(0);
        result.status = BatchStatus::Stopped;
        return result;
    };
    std::vector<long double> sums(kProfileBins, 0.0L);
    std::vector<WindowFacts> facts(static_cast<std::size_t>(count));
    bool leaving = false;  // the user chose to leave bad frames out
    ParallelRun run(frames, count, mode, kWindowSize, std::min(ThreadCount(threads), count),
                    control);
    for (int k = 0; k < count; ++k) {
        if (control && control->stopRequested()) return stopped();
        if (progress) progress->setPosition(int(double(k) / count * 100));
        const FrameResult* waited = run.Wait(k);
        if (!waited) return stopped();
        const FrameResult& frame = *waited;
        if (frame.read != WindowRead::Ok) {
            const BatchResult bad = BadFrame(frame, k, frames[std::size_t(k)]);
            if (!leaving) {
                leaving = control && control->leaveOut && control->leaveOut(bad);
                if (control && control->stopRequested()) return stopped();
                if (!leaving) return bad;
            }
            const bool small = bad.status == BatchStatus::TooSmall;
            results.leftOut.push_back(
                {k, bad.failedFrame, small ? std::string() : bad.reason, bad.width, bad.height});
            run.Release(k);
        } else {
            std::copy_n(frame.profile, kProfileBins, results.frameProfile);
            facts[std::size_t(k)] = frame.facts;
            const bool real = frame.real;
            run.Release(k);
            RecordFrame(results, results.frameProfile, real, k, count, sums.data());
        }
        if (progress) progress->setCount(k + 1, count);
    }
    if (!results.leftOut.empty()) AverageOverAnalysed(results, sums.data(), count);
    results.flags = FlagFrames(facts);
    if (progress) progress->setPosition(0);
    results.files = frames;
    results.mode = mode;
    result.status = BatchStatus::Completed;
    return result;
}

bool AnalyseSingleFrame(const FrameRef& frame, WindowMode mode, const FftPlan& plan,
                        FrameReader& reader, double* profile, std::string& error) {
    const int N = plan.size();
    IntPlane window;
    if (!AllocIntPlane(N, N, window, error)) return false;
    int width = 0, height = 0;
    // A frame read alone keeps to a run's memory bound too. The reader is lent one for this
    // read only, and never keeps it past it, even when the read throws.
    MemoryBudget own(kRunMemoryBudget);
    struct Lent {
        BudgetHold& hold;
        const bool lent;
        ~Lent() {
            if (lent) hold.setBudget(nullptr);
        }
    } lend{reader.hold, !reader.hold.budget()};
    if (lend.lent) reader.hold.setBudget(&own);
    const WindowRead read = ReadFrameWindow(frame, mode, N, reader, window, width, height, error);
    if (read == WindowRead::TooSmall) {
        error = "the frame is " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels; at least " + std::to_string(N) + " x " + std::to_string(N) +
                " are needed";
    }
    if (read != WindowRead::Ok) return false;
    double computed[kProfileBins];
    if (!(reader.real ? AnalyseWindow(reader.realWindow.data(), plan, computed, error)
                      : AnalyseWindow(window, plan, computed, error)))
        return false;
    error = ProfileRangeProblem(computed);
    if (!error.empty()) return false;
    std::copy_n(computed, kProfileBins, profile);
    return true;
}

}  // namespace framesifter
