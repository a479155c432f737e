#pragma once
// Every signal whose default would end the process, and that can be caught,
// ends the window program like "Выход": SIGTERM, SIGINT and SIGHUP (a kill,
// Ctrl+C, a closed terminal or a logout), SIGQUIT (Ctrl+\\), SIGUSR1/2, the
// timer and limit signals and the real-time ones. SIGPIPE is not an end.
// The handler only writes the signal number into a pipe; a socket notifier
// turns it into `received` on the window thread, where the program ends in
// its one orderly way. Crashes are not among them (crash_signals.h).

#include <QObject>

class QSocketNotifier;

class ExitSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; one instance per process.
    explicit ExitSignals(QObject* parent = nullptr);
    ~ExitSignals() override;
    ExitSignals(const ExitSignals&) = delete;
    ExitSignals& operator=(const ExitSignals&) = delete;

    bool installed() const { return notifier_ != nullptr; }
    // Whether a signal came that `received` has not yet told (before the
    // event loop runs, for a wait that must end on it).
    bool arrived() const;

signals:
    void received(int signalNumber);

private:
    void readPipe();
    void setHandlers(bool install);

    QSocketNotifier* notifier_ = nullptr;
};
