#include "app/QuitSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Written by the handler, which may do nothing but async-signal-safe calls.
volatile int writeEnd = -1;
volatile sig_atomic_t requested = 0;

void setDisposition(void (*handler)(int))
{
    for (const int number : QuitSignals::caught) {
        struct sigaction action {};
        action.sa_handler = handler;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(number, &action, nullptr);
    }
}

void onSignal(int number)
{
    const int saved = errno;
    // A main thread that never gets back to its loop must not keep the program from ending:
    // the second request ends it at once, as the signal's own meaning would.
    if (requested) {
        setDisposition(SIG_DFL);
        ::raise(number);
        return;
    }
    requested = 1;
    const unsigned char byte = static_cast<unsigned char>(number);
    if (writeEnd >= 0 && ::write(writeEnd, &byte, 1) < 0) {
        // A full pipe already holds a request to quit.
    }
    errno = saved;
}

} // namespace

QuitSignals::QuitSignals(std::function<void(int)> quit, QObject* parent) : QObject(parent), quit_(std::move(quit))
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    readEnd_ = ends[0];
    writeEnd = ends[1];
    requested = 0;
    notifier_ = new QSocketNotifier(readEnd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &QuitSignals::received);
    setDisposition(&onSignal);
}

QuitSignals::~QuitSignals()
{
    setDisposition(SIG_DFL);
    if (readEnd_ < 0)
        return;
    ::close(writeEnd);
    writeEnd = -1;
    ::close(readEnd_);
}

void QuitSignals::received()
{
    unsigned char byte = 0;
    if (::read(readEnd_, &byte, 1) != 1)
        return;
    notifier_->setEnabled(false);
    // The clean end may wait for a removal's current item; a second signal need not.
    setDisposition(SIG_DFL);
    if (quit_)
        quit_(byte);
}
