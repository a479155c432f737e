#pragma once
// Tells a failure once: the same failure again on a retry stays quiet; a
// different one, or the same after a success, is told again.

namespace m797 {

class FailureOnce {
public:
    // True when `error` is to be told now.
    bool failed(int error) {
        const bool told = failing_ && error == last_;
        failing_ = true;
        last_ = error;
        return !told;
    }
    void succeeded() { failing_ = false; }

private:
    bool failing_ = false;
    int last_ = 0;
};

}  // namespace m797
