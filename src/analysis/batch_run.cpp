#include "batch_run.h"
#include "reason.h"

#include "characteristic.h"
#include "fast_profile.h"
#include "frame_flags.h"
#include "frame_ref.h"
#include "value_range.h"

#include <algorithm>
#include <atomic>
#include <chrono>
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
// What a run's readers may keep of their buffers from frame to frame, all threads together:
// frames of a few megabytes (a DSLR's JPEG, a wide video's rows) then cost no allocation
// each.
constexpr std::size_t kRunKeptBuffers = std::size_t(48) << 20;

void ResetRun(AnalysisResults& results, int count) {
    for (int b = 0; b < kProfileBins; ++b) {
        results.mean[b] = 0;
        results.largest[b] = 0;
        results.smallest[b] = 1.0e8;  // off the graph until a frame is recorded
    }
    results.largestTotal = 0;
    results.valueLow = results.valueHigh = 0;
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
    // Which frame the slot holds once it is done: written by the worker after the rest of the
    // slot, read by the caller before it.
    std::atomic<int> index{-1};
    WindowRead read = WindowRead::Ok;
    int width = 0;
    int height = 0;
    std::string error;
    WindowFacts facts;
    double low = 0, high = 0;  // the window's smallest and largest value
    bool real = false;         // the frame's values are not all integers
    double profile[kProfileBins];
};

// What reading and analysing frames needs, one set per thread, kept from frame to frame.
class FrameWorker {
public:
    FrameWorker(int N, MemoryBudget& budget, OpenVideos& videos, int threads, bool valueRange) {
        try {
            // Each frame is then told "not enough memory to analyse the frame".
            std::string reason;
            ready_ = AllocIntPlane(N, N, window_, reason);
            profiler_ = std::make_unique<FastProfiler>();
            profiler_->setGatherExtremes(valueRange);
        } catch (const std::exception&) {
            ready_ = false;
        }
        reader_.hold.setBudget(&budget);
        reader_.videos = &videos;
        reader_.keptBufferBytes =
            std::max(reader_.keptBufferBytes, kRunKeptBuffers / std::size_t(std::max(threads, 1)));
    }
    void process(const FrameRef& frame, WindowMode mode, int N, FrameResult& slot) {
        slot.error.clear();
        slot.width = slot.height = 0;
        slot.facts = WindowFacts();
        if (!ready_) {
            slot.read = WindowRead::Unreadable;
            slot.error = Reason(ReasonKind::NoMemoryAnalyse);
            return;
        }
        try {
            slot.read = ReadFrameWindow(frame, mode, N, reader_, window_, slot.width, slot.height,
                                        slot.error);
            if (slot.read != WindowRead::Ok) return;
            slot.real = reader_.real;
            // The flags' sums and hash come with the transform's loads of the window.
            WindowTally tally;
            if (slot.real)
                profiler_->compute(reader_.realWindow.data(), slot.profile, tally);
            else
                profiler_->compute(window_.data(), slot.profile, reader_.sampleCeiling, tally);
            slot.low = tally.low;
            slot.high = tally.high;
            slot.error = ProfileRangeProblem(slot.profile);
            if (!slot.error.empty()) {
                slot.read = WindowRead::Unreadable;
                return;
            }
            if (slot.real)
                slot.facts = WindowFactsOf(tally, reader_.realWindow.data(), N, mode,
                                           reader_.border, scratch_);
            else
                slot.facts = WindowFactsOf(tally, window_, N, reader_.sampleCeiling, mode,
                                           reader_.border, scratch_);
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
    FactsScratch scratch_;
    bool ready_ = false;
};

// Frames per claim: long lists are handed out in batches, so that workers and the caller
// meet once a batch rather than once a frame; short ones a frame at a time, so that every
// thread gets work.
int BatchSize(int count, int threads) { return std::clamp(count / (32 * threads), 1, 8); }

// Frames are read and analysed by worker threads, each with its own reader, window and
// profiler, a few batches ahead of the calling thread, which takes the results strictly in
// list order. So the table, the curves, the progress positions and the stop at the first
// failing frame are those of a run one frame at a time, and each frame's profile does not
// depend on which thread computed it. When the system will not start a thread the run goes
// on with those it has, and with none the calling thread reads every frame itself.
//
// A worker claims a batch of consecutive frames with one atomic step, marks each frame done
// in its slot, and wakes the caller only when it waits for one of them: at the batch's end,
// or sooner when the batch runs long or a test's read hook may hold the worker.
class ParallelRun {
public:
    ParallelRun(const std::vector<FrameRef>& frames, int count, WindowMode mode, int N, int threads,
                const BatchControl* control)
        : frames_(frames), count_(count), mode_(mode), n_(N), control_(control),
          budget_(kRunMemoryBudget), batch_(BatchSize(count, std::max(threads, 1))),
          threads_(std::max(threads, 1)), slots_(std::size_t(2 * batch_ * threads_ + batch_)) {
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
    // outside came before any worker started frame k: none ever will.
    const FrameResult* Wait(int k) {
        FrameResult& slot = SlotOf(k);
        if (workers_.empty()) {
            if (!inlineWorker_)
                inlineWorker_ = std::make_unique<FrameWorker>(n_, budget_, videos_, 1,
                                                              control_ && control_->valueRange);
            if (control_ && control_->beforeRead) control_->beforeRead(k);
            inlineWorker_->process(frames_[std::size_t(k)], mode_, n_, slot);
            slot.index.store(k);
            return &slot;
        }
        const auto arrived = [&] { return slot.index.load() == k || abandonedFrom_.load() <= k; };
        if (!arrived()) {
            std::unique_lock<std::mutex> lock(mutex_);
            waitingFor_.store(k);
            done_.wait(lock, arrived);
            waitingFor_.store(-1);
        }
        return slot.index.load() == k ? &slot : nullptr;
    }
    void Release(int k) {
        released_.store(k + 1);
        if (workersWaiting_.load() > 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            space_.notify_all();
        }
    }

private:
    FrameResult& SlotOf(int k) { return slots_[std::size_t(k) % slots_.size()]; }

    // Frames from `first` on will never be started: the caller must not wait for them.
    void Abandon(int first) {
        std::lock_guard<std::mutex> lock(mutex_);
        abandonedFrom_.store(std::min(abandonedFrom_.load(), first));
        done_.notify_all();
    }
    void WakeCaller() {
        std::lock_guard<std::mutex> lock(mutex_);
        done_.notify_all();
    }
    bool Stopping() const { return control_ && control_->stopRequested(); }

    void Work() {
        using Clock = std::chrono::steady_clock;
        FrameWorker worker(n_, budget_, videos_, threads_, control_ && control_->valueRange);
        const int slotCount = int(slots_.size());
        for (;;) {
            // The caller is done (a bad frame ended the run): nothing more is wanted.
            if (stop_.load()) return;
            // A stop asked for from outside: no frame is started after it.
            if (Stopping()) return Abandon(next_.load());
            const int first = next_.fetch_add(batch_);
            if (first >= count_) return;
            const int last = std::min(count_, first + batch_);
            if (last > released_.load() + slotCount) {
                std::unique_lock<std::mutex> lock(mutex_);
                ++workersWaiting_;
                space_.wait(lock,
                            [&] { return stop_.load() || last <= released_.load() + slotCount; });
                --workersWaiting_;
                if (stop_.load()) return;
            }
            const Clock::time_point start = Clock::now();
            for (int k = first; k < last; ++k) {
                if (stop_.load()) return;
                if (Stopping()) return Abandon(k);
                const bool hook = control_ && control_->beforeRead;
                if (hook) control_->beforeRead(k);
                FrameResult& slot = SlotOf(k);  // this thread's alone until it is marked done
                worker.process(frames_[std::size_t(k)], mode_, n_, slot);
                slot.index.store(k);
                const int waiting = waitingFor_.load();
                if (waiting >= first && waiting <= k &&
                    (k == last - 1 || hook || Clock::now() - start > std::chrono::milliseconds(10)))
                    WakeCaller();
            }
        }
    }

    const std::vector<FrameRef>& frames_;
    const int count_;
    const WindowMode mode_;
    const int n_;
    const BatchControl* control_;
    MemoryBudget budget_;
    OpenVideos videos_;
    const int batch_;
    const int threads_;
    std::vector<FrameResult> slots_;
    std::vector<std::thread> workers_;
    std::unique_ptr<FrameWorker> inlineWorker_;
    std::mutex mutex_;
    std::condition_variable done_;
    std::condition_variable space_;
    std::atomic<int> next_{0};         // the next frame a worker claims
    std::atomic<int> released_{0};     // frames before this one have been taken by the caller
    std::atomic<int> waitingFor_{-1};  // the frame the caller sleeps for
    std::atomic<int> abandonedFrom_{INT_MAX};
    std::atomic<int> workersWaiting_{0};  // for space in the slots
    std::atomic<bool> stop_{false};       // set under the mutex, for the workers waiting on space
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
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
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
            low = std::min(low, frame.low);
            high = std::max(high, frame.high);
            const bool real = frame.real;
            run.Release(k);
            RecordFrame(results, results.frameProfile, real, k, count, sums.data());
        }
        if (progress) progress->setCount(k + 1, count);
    }
    if (!results.leftOut.empty()) AverageOverAnalysed(results, sums.data(), count);
    if (control && control->valueRange && low <= high) {
        results.valueLow = low;
        results.valueHigh = high;
    }
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
        error = Reason(ReasonKind::FrameTooSmall, {width, height, N, N});
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
