#include "billing/nfe/AnswerWait.h"

#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "billing/nfe/AnswerFiles.h"
#include "billing/nfe/NFeError.h"
#include "platform/rtl/SafeFile.h"

namespace billing::nfe {

namespace {

// Anything under an answer's name is the answer, readable or not.
bool Present(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// The answer and error files the waits of this process look for (the user
// interface thread's only: waits and the poller run on its timers).
std::map<std::string, int>& Awaited() {
    static std::map<std::string, int> names;
    return names;
}

std::string Normal(const std::string& path) { return std::filesystem::path(path).lexically_normal().string(); }

void Await(const std::string& path, int delta) {
    std::map<std::string, int>& names = Awaited();
    std::string key = Normal(path);
    if ((names[key] += delta) <= 0) names.erase(key);
}

}  // namespace

bool AnswerAwaited(const std::string& path) { return Awaited().count(Normal(path)) > 0; }

AnswerWait::AnswerWait(WaitServices services, std::string answerPath, std::string errorPath, int stepMs,
                       int limitMs, Check check, Done done)
    : services_(std::move(services)),
      answer_(std::move(answerPath)),
      error_(std::move(errorPath)),
      step_(stepMs > 0 ? stepMs : 1),
      limit_(limitMs),
      check_(std::move(check)),
      done_(std::move(done)) {}

AnswerWait::~AnswerWait() { Cancel(); }

void AnswerWait::Start() {
    if (!services_.make_timer || !services_.clock)
        throw ENFeError("Não é possível aguardar a resposta do Monitor de NF-e: falta o temporizador.");
    Cancel();
    timer_ = services_.make_timer();
    started_ = services_.clock();
    waiting_ = true;
    Await(answer_, 1);
    Await(error_, 1);
    timer_->Start(step_, [this] { Tick(); });
}

void AnswerWait::Cancel() {
    const bool was = waiting_;
    if (waiting_) {
        Await(answer_, -1);
        Await(error_, -1);
    }
    waiting_ = false;
    if (timer_) timer_->Stop();
    if (was && stopped_) {
        try {
            stopped_();
        } catch (const Exception&) {
            // The database is busy: the record says until when the wait
            // lasts at most, and a poller goes by that.
        }
    }
}

void AnswerWait::Tick() {
    if (!waiting_) return;
    bool last = services_.clock() - started_ >= limit_;
    for (const std::string* path : {&answer_, &error_}) {
        if (!Present(*path)) continue;
        WaitResult r;
        r.path = *path;
        r.outcome = path == &answer_ ? WaitOutcome::Answer : WaitOutcome::Error;
        try {
            r.bytes = ReadAnswer(*path);
        } catch (const Exception& e) {
            r.problem = "não pôde ser lida: " + e.Message();
        }
        if (r.problem.empty() && check_) check_(r.bytes, path == &error_, r.problem);
        if (r.problem.empty()) return Finish(std::move(r));
        // Perhaps still being written: it gets the remaining steps.
        if (last) {
            r.outcome = WaitOutcome::Unusable;
            return Finish(std::move(r));
        }
        return;
    }
    if (elsewhere_) {
        std::optional<WaitResult> r;
        try {
            r = elsewhere_();
        } catch (const Exception&) {
            // The database is busy: asked again at the next step.
        }
        if (r) return Finish(std::move(*r));
    }
    if (last) Finish(WaitResult{});
}

void AnswerWait::Finish(WaitResult result) {
    Cancel();
    if (done_) done_(result);
}

}  // namespace billing::nfe
