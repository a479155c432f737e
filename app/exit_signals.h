#pragma once
// SIGTERM, SIGINT and SIGHUP (a kill, Ctrl+C, a closed terminal or a logout)
// end the window program like "Выход". The handler only writes the signal
// number into a pipe; a socket notifier turns it into `received` on the
// window thread, where the program ends in its one orderly way.

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

signals:
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier* notifier_ = nullptr;
};
