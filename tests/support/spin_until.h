#pragma once
// Lets the window thread's events run until `done` holds or the time is up.

#include <QElapsedTimer>
#include <QTest>
#include <functional>

namespace m797::testing {

inline bool spinUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) return false;
        QTest::qWait(5);
    }
    return true;
}

}  // namespace m797::testing
