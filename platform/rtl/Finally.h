#pragma once
// A step that runs when a scope ends, whether the work in it succeeded or not:
// the try/finally of the class library's code. While an exception unwinds, a
// failing step must not replace the first error, so its own failure is dropped.
#include <exception>
#include <functional>
#include <utility>

class Finally {
public:
    explicit Finally(std::function<void()> f) : f_(std::move(f)) {}
    ~Finally() noexcept(false) {
        if (std::uncaught_exceptions() > count_) {
            try {
                f_();
            } catch (...) {
            }
        } else {
            f_();
        }
    }
    Finally(const Finally&) = delete;
    Finally& operator=(const Finally&) = delete;

private:
    std::function<void()> f_;
    int count_ = std::uncaught_exceptions();
};
