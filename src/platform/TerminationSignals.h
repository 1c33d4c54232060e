#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a Qt signal on the thread that created the watcher, so the
// program ends through its orderly shutdown instead of dying mid-write. One watcher per process.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    bool isActive() const { return m_notifier != nullptr; }

signals:
    void terminationRequested(int signalNumber);

private:
    void onActivated();

    std::unique_ptr<QSocketNotifier> m_notifier;
};
