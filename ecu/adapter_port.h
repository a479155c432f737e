#pragma once
// The connection to a text-speaking adapter (an ELM327): a serial device
// (USB, or a Bluetooth rfcomm device, which is a serial device too) raw 8N1
// at the adapter's baud rate, held alone like the K-line port; or a TCP
// connection for Wi-Fi adapters, named "tcp:HOST:PORT". No 10400 baud, no
// wake-up pulse: the adapter makes the K-line's timing itself.

#include <cstdint>
#include <string>
#include <string_view>

namespace m797 {

// A Wi-Fi adapter's name: this prefix, then HOST:PORT.
inline constexpr std::string_view kTcpPortPrefix = "tcp:";

// "tcp:192.168.0.10:35000" -> host and port; false for other names and for
// a TCP name without a host or with a port outside 1..65535.
bool parseTcpPortName(std::string_view name, std::string& host, int& port);
bool isTcpPortName(std::string_view name);

class AdapterPort {
public:
    enum class ReadEnd { Prompt, TimedOut, Interrupted, Lost };

    AdapterPort() = default;
    ~AdapterPort();
    AdapterPort(const AdapterPort&) = delete;
    AdapterPort& operator=(const AdapterPort&) = delete;

    // Opens the device (or connects, within `connectTimeoutMs`); false with
    // lastErrorNumber/lastErrorText set.
    bool open(const std::string& name, unsigned baud, int connectTimeoutMs = 3000);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    bool isTcp() const { return tcp_; }

    // Writes the whole text; false when the adapter went away.
    bool write(std::string_view text);
    // Reads into `text` (appending) until the ">" prompt, the deadline (a
    // monotonic time in ns), the interrupt descriptor or the loss of the
    // adapter (`interruptible` false: the descriptor is not heeded). The
    // prompt is not stored.
    ReadEnd readUntilPrompt(std::string& text, long long deadlineNs, bool interruptible = true);
    // Drops whatever the adapter sent that nobody read.
    void discardInput();
    void setInterruptFd(int fd) { interruptFd_ = fd; }

    int lastErrorNumber() const { return lastErrno_; }
    const std::string& lastErrorText() const { return lastError_; }
    // Sets the error of a failed open that the port itself did not see
    // (the adapter answered wrongly).
    void fail(int errorNumber, std::string text);

    static long long nowNs();

private:
    bool openDevice(const std::string& name, unsigned baud);
    bool openTcp(const std::string& name, int connectTimeoutMs);
    bool failErrno(const std::string& what);
    void lose();

    int fd_ = -1;
    bool tcp_ = false;
    bool tty_ = false;
    int interruptFd_ = -1;
    int lastErrno_ = 0;
    std::string lastError_;
};

}  // namespace m797
