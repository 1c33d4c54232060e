#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the thread that created the watcher, so the
// program ends through its orderly shutdown instead of dying mid-write. One watcher per process.
class TTerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TTerminationSignals(QObject* parent = nullptr);
    ~TTerminationSignals() override;

    bool IsActive() const { return m_notifier != nullptr; }

signals:
    void TerminationRequested(int signalNumber);

private:
    void OnActivated();

    std::unique_ptr<QSocketNotifier> m_notifier;
};
