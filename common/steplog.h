// Steps that skip their own failures: each step runs, a step that fails (answers false or throws an
// error) is left and the next one runs; afterwards the caller may ask whether any failed. Ending
// the program is no error and passes through.
#pragma once
#include <exception>
#include <type_traits>

class StepLog {
public:
    template <class Step>
    void Run(Step&& step)
    {
        try {
            if constexpr (std::is_same_v<decltype(step()), void>) {
                step();
            } else {
                if (!step()) failed_ = true;
            }
        } catch (const std::exception&) {
            failed_ = true;
        }
    }
    bool AnyFailed() const { return failed_; }

private:
    bool failed_ = false;
};
