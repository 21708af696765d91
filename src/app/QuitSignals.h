#pragma once

#include <QObject>

#include <csignal>
#include <functional>

class QSocketNotifier;

// SIGTERM (a logout), SIGHUP and SIGINT become a call on the main thread's event loop, so
// that the program ends as a Quit does: the item under way finishes, what moved is stored
// and the cache is closed. A second such signal while that runs ends the program at once.
// One at a time per process.
class QuitSignals : public QObject {
    Q_OBJECT

public:
    static constexpr int caught[] = {SIGTERM, SIGHUP, SIGINT};

    // Catches the three signals from now on; `quit` runs once, with the signal's number.
    explicit QuitSignals(std::function<void(int)> quit, QObject* parent = nullptr);
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

private:
    void received();

    std::function<void(int)> quit_;
    int readEnd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};
