#include "keyring/KeyringPassword.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QEventLoop>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <optional>
#include <utility>

namespace {

TKeyringPassword::TResult ResultOf(const QKeychain::Job& job) {
    TKeyringPassword::TResult result;
    switch (job.error()) {
    case QKeychain::NoError:
        if (const auto* read = qobject_cast<const QKeychain::ReadPasswordJob*>(&job)) {
            result.Status = TKeyringPassword::TStatus::Found;
            result.Password = read->textData().toStdString();
        } else {
            result.Status = TKeyringPassword::TStatus::Done;
        }
        break;
    case QKeychain::EntryNotFound:
        result.Status = TKeyringPassword::TStatus::NotFound;
        break;
    default:
        result.Status = TKeyringPassword::TStatus::Failed;
        result.Reason = job.errorString().toStdString();
        if (result.Reason.empty())
            result.Reason = "error " + std::to_string(static_cast<int>(job.error()));
        break;
    }
    return result;
}

} // namespace

TKeyringPassword::TKeyringPassword(std::string key) : m_key(std::move(key)), m_context(std::make_unique<QObject>()) {}

TKeyringPassword::~TKeyringPassword() = default;

void TKeyringPassword::Read(TDone done) {
    Start(new QKeychain::ReadPasswordJob(QString::fromUtf8(kService)), std::move(done));
}

void TKeyringPassword::Store(const std::string& password, TDone done) {
    auto* job = new QKeychain::WritePasswordJob(QString::fromUtf8(kService));
    job->setTextData(QString::fromStdString(password));
    Start(job, std::move(done));
}

void TKeyringPassword::Remove(TDone done) {
    Start(new QKeychain::DeletePasswordJob(QString::fromUtf8(kService)), std::move(done));
}

void TKeyringPassword::Start(QKeychain::Job* job, TDone done) {
    // The job has no parent: QtKeychain's backends call back into it when the keyring answers,
    // however late, so only the job itself may decide when it goes (after its answer).
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(QString::fromStdString(m_key));

    // Whichever comes first, the answer or the end of the bound, settles the call.
    struct TCall {
        TDone done;
        bool settled = false;
        bool locked = false;
        int boundMs = 0;
        std::shared_ptr<int> pending;
        QPointer<QTimer> bound; // owned by the context, gone once the call is settled
        void Settle(TResult result) {
            if (settled)
                return;
            settled = true;
            --*pending;
            if (bound)
                bound->deleteLater();
            result.Locked = locked;
            if (done)
                done(result);
        }
    };
    auto call = std::make_shared<TCall>();
    call->done = std::move(done);
    call->pending = m_pending;
    call->boundMs = m_timeoutMs;
    ++*m_pending;
    QObject::connect(job, &QKeychain::Job::finished, m_context.get(),
                     [call](QKeychain::Job* finished) { call->Settle(ResultOf(*finished)); });
    call->bound = new QTimer(m_context.get()); // the context owns it
    call->bound->setSingleShot(true);
    call->bound->setTimerType(Qt::PreciseTimer); // a coarse timer may end the bound early
    QObject::connect(call->bound, &QTimer::timeout, m_context.get(), [call] {
        call->Settle({TStatus::TimedOut, {}, {}, false, call->boundMs});
    });
    call->bound->start(m_timeoutMs);
    // The question hangs on the timer: an answer after the call has been settled goes with it.
    AskWhetherLocked(call->bound, [call, lockedMs = m_lockedTimeoutMs] {
        if (call->settled || !call->bound)
            return;
        call->locked = true;
        call->boundMs = lockedMs;
        call->bound->start(lockedMs);
    });
    job->start();
}

void TKeyringPassword::AskWhetherLocked(QObject* context, std::function<void()> locked) const {
    // The Secret Service's default collection, as libsecret finds it on the same session bus. A
    // keyring without one (or without the Secret Service, as KWallet's own interface) keeps the
    // short bound.
    QDBusMessage get = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets/aliases/default"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.freedesktop.Secret.Collection") << QStringLiteral("Locked");
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(get, m_timeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [locked = std::move(locked)](QDBusPendingCallWatcher* answered) {
                         answered->deleteLater();
                         const QDBusPendingReply<QDBusVariant> reply = *answered;
                         if (!reply.isError() && reply.value().variant().toBool())
                             locked();
                     });
}

TKeyringPassword::TResult TKeyringPassword::Wait(const std::function<void(TDone)>& call) {
    // The answer may come after the wait has ended (the application was told to exit, which ends
    // every running loop): it then finds no loop to end.
    struct TWait {
        std::optional<TResult> result;
        QEventLoop* loop = nullptr;
    };
    auto wait = std::make_shared<TWait>();
    call([wait](const TResult& answer) {
        wait->result = answer;
        if (wait->loop != nullptr)
            wait->loop->quit();
    });
    if (!wait->result) {
        QEventLoop loop;
        wait->loop = &loop;
        loop.exec();
        wait->loop = nullptr;
    }
    return wait->result.value_or(TResult{TStatus::Failed, {}, "the program is ending"});
}

void TKeyringPassword::WaitIdle() {
    if (!Busy())
        return;
    // Every call ends within its bound; the loop looks again every few milliseconds.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [this, &loop] {
        if (!Busy())
            loop.quit();
    });
    poll.start(10);
    loop.exec();
}
