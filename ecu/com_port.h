#pragma once
// The acquisition thread: the only code that talks to the control unit.
// Created suspended; "Старт" resumes it, "Стоп" pauses it between exchanges
// (cutting a read in progress short), and exit stops and joins it.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "ecu/request_table.h"

namespace m797 {

struct LiveRecord;
class SerialLine;

class Com_Port {
public:
    Com_Port(LiveRecord& record, std::unique_ptr<SerialLine> line);
    ~Com_Port();
    Com_Port(const Com_Port&) = delete;
    Com_Port& operator=(const Com_Port&) = delete;

    void resume();
    void suspend();
    // Stops the loop, joins the thread and closes the port.
    void terminate();
    bool isSuspended() const;

    // Called on the acquisition thread when the loop gives up after ten failed
    // connection starts; the window side posts it to its own thread.
    void setGiveUpHandler(std::function<void()> handler);

    RequestTable& requests() { return table_; }

private:
    void run();

    LiveRecord& record_;
    std::unique_ptr<SerialLine> line_;
    RequestTable table_;
    std::function<void()> onGiveUp_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool suspended_ = true;
    bool terminating_ = false;
    std::thread thread_;
};

}  // namespace m797
