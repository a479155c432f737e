#pragma once
// A write to a closed pipe or terminal (`m797diag ... | head -1`, a `less`
// quit early) fails with EPIPE instead of ending the program with SIGPIPE:
// the program goes on, stops printing where it cannot, finishes its log and
// trace, and releases an output under test as on any other end. Called
// first thing in main(), for the window and headless mode alike; threads
// started later inherit it.

namespace m797 {

void ignoreBrokenPipes();

}  // namespace m797
