#include "Commands.h"

#include "desktop/StatusClient.h"
#include "desktop/StatusFormat.h"

#include <QCoreApplication>
#include <QDBusConnection>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <thread>

#include <poll.h>
#include <unistd.h>

const char* const kStatusHelp =
    "Usage: tallyglass-tool status [--format text|json|waybar|i3blocks] [--template T] [--follow]\n"
    "\n"
    "Prints the running program's Balance List, read over the session bus, for a status bar.\n"
    "\n"
    "  --format text      the rows through the template, joined by \" \xC2\xB7 \" (the default)\n"
    "  --format json      {\"class\": ..., \"balances\": [{\"id\", \"name\", \"balance\", \"trend\",\n"
    "                     \"status\", \"warning\", \"failed_in_a_row\"}]}\n"
    "  --format waybar    waybar's custom-module JSON: text, alt, tooltip (a row a line), class\n"
    "  --format i3blocks  full_text, short_text (the balances alone) and, for failed, warning\n"
    "                     or stopped, a colour, a line each; with --follow the full text alone\n"
    "  --template T       what each row shows: {name} {balance} {trend} {status} {warning}\n"
    "                     {failed} {id} (default \"{name} {balance}\")\n"
    "  --follow           print a new line at every change instead of once, without polling;\n"
    "                     ends when the reader of the output goes away (exit code 0) or the\n"
    "                     program ends (a last \"stopped\" line, exit code 1)\n"
    "\n"
    "The class (and the waybar alt) is the first that applies of stopped (the program does not\n"
    "run), failed (a row's last check failed), warning (a balance beyond a limit), changed (a\n"
    "balance moved at its last check) and ok. When the program does not run, one line says\n"
    "\"stopped\" and the exit code is 1; with --follow the command waits for the program instead.\n";

namespace {

// Writes one line; false once nobody reads the output any more.
bool PrintLine(const std::string& line) {
    const std::string out = line + '\n';
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size())
        return false;
    return std::fflush(stdout) == 0;
}

// Ends the event loop when the reader of standard output closes its end: a thread waits in poll()
// on it for POLLERR or POLLHUP, which a pipe's writing end reports once its reader is gone, so
// that a quiet program's watcher does not outlive its status bar until the next change.
class TOutputWatch {
public:
    TOutputWatch() {
        if (pipe(m_wake) != 0) {
            m_wake[0] = m_wake[1] = -1;
            return;
        }
        m_thread = std::thread([this] { Watch(); });
    }
    ~TOutputWatch() {
        if (m_thread.joinable()) {
            const char byte = 0;
            while (write(m_wake[1], &byte, 1) < 0 && errno == EINTR) {
            }
            m_thread.join();
        }
        for (const int fd : m_wake)
            if (fd >= 0)
                close(fd);
    }
    TOutputWatch(const TOutputWatch&) = delete;
    TOutputWatch& operator=(const TOutputWatch&) = delete;

private:
    void Watch() {
        pollfd fds[2] = {{STDOUT_FILENO, 0, 0}, {m_wake[0], POLLIN, 0}};
        for (;;) {
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (fds[1].revents != 0)
                return;
            if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
                return;
            }
        }
    }

    int m_wake[2] = {-1, -1};
    std::thread m_thread;
};

} // namespace

int RunStatus(const TArgs& arguments) {
    TArgs args = arguments;
    std::string formatName = "text", rowTemplate = kDefaultStatusTemplate;
    bool hasFormat = false, hasTemplate = false;
    if (!TakeOption(args, "--format", formatName, hasFormat))
        return UsageError("--format needs a value", kStatusHelp);
    if (!TakeOption(args, "--template", rowTemplate, hasTemplate))
        return UsageError("--template needs a value", kStatusHelp);
    bool follow = false;
    for (auto it = args.begin(); it != args.end();) {
        if (*it == "--follow") {
            follow = true;
            it = args.erase(it);
        } else {
            ++it;
        }
    }
    if (!args.empty())
        return UsageError("unexpected argument '" + args.front() + "'", kStatusHelp);
    TStatusFormat format = TStatusFormat::Text;
    if (!ParseStatusFormat(formatName, format))
        return UsageError("unknown format '" + formatName + "'", kStatusHelp);

    const auto line = [&](const TBalanceEntries* entries) {
        return StatusOutput(format, entries, rowTemplate, follow);
    };
    const QDBusConnection bus = QDBusConnection::sessionBus();
    TStatusClient client(bus);
    if (!follow || !bus.isConnected()) {
        TBalanceEntries entries;
        std::string error;
        if (client.Read(entries, error))
            return PrintLine(line(&entries)) ? 0 : 2;
        PrintLine(line(nullptr));
        if (!bus.isConnected())
            std::fprintf(stderr, "tallyglass-tool: no session bus: %s\n", error.c_str());
        return 1;
    }

    // A write to a closed pipe fails with EPIPE instead of ending the process.
    std::signal(SIGPIPE, SIG_IGN);
    std::string last;
    bool printedAny = false;
    const auto print = [&](const std::string& text) {
        // The same line twice (the program came back unchanged) tells the bar nothing new.
        if (printedAny && text == last)
            return;
        last = text;
        printedAny = true;
        if (!PrintLine(text))
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    };
    // A follower started before the program waits for it; once it has run, its end ends the follower
    // too (a bar that wants it back starts the command again).
    bool seenRunning = false;
    QObject::connect(&client, &TStatusClient::Changed, &client, [&](const TBalanceEntries& entries) {
        seenRunning = true;
        print(line(&entries));
    });
    QObject::connect(&client, &TStatusClient::Stopped, &client, [&] {
        print(line(nullptr));
        if (seenRunning)
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    });
    const TOutputWatch watch;
    client.Follow();
    return QCoreApplication::exec();
}
