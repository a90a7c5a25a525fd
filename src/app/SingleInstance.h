#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <sys/types.h>
#include <sys/un.h>

class QSocketNotifier;

// One Quovant per user: a later start hands a reopen to the running one over a
// per-user Unix socket and ends. The reopen carries what the desktop gave the later
// start to bring a window forward with (its activation token on Wayland, its startup id
// on X11), so that the running one may raise its window with it. Both ends check who is on the
// other side: a socket another user listens on is not this user's Quovant, and another user's
// connection reopens nothing. A plain socket, so that the start maps no network library. A lock
// file beside the socket, held for the instance's life, settles two starts at the very
// same moment: the one that does not get it waits for the other to listen, or to end.
class SingleInstance : public QObject {
public:
    // `activation` is the later start's token or startup id; empty when it had none.
    using Reopen = std::function<void(const QByteArray& activation)>;
    explicit SingleInstance(Reopen reopen);
    ~SingleInstance() override;

    // True when another instance of this user is running (and, unless it is too busy
    // to take the call or `reopen` is false, was asked to reopen); this one should end.
    bool forwardToRunning(bool reopen = true);
    // From now on every connection of this user's goes to `take`, which reads what it
    // asks (a reopen or a command) and owns the descriptor.
    void handClientsTo(std::function<void(int client)> take) { take_ = std::move(take); }
    // Starts listening for later starts.
    void listen();
    // Stops listening as the application quits, but holds on to the lock until its end: a
    // start meanwhile waits for that end and then runs, instead of asking an instance that
    // is going away to reopen.
    void stopListening();

    // In the session's runtime directory, or in a directory of the user's own under
    // the temporary directory where the session has none.
    static QString socketPath();

    // What a start says to the running instance, and what the running one reads from it:
    // an activation that is not a short run of printable characters is dropped.
    static QByteArray reopenMessage(const QByteArray& activation);
    static QByteArray activationIn(const QByteArray& message);
    // The token (Wayland) or startup id (X11) the desktop started this process with.
    static QByteArray ownActivation();
    // Tokens and startup ids are a few dozen characters.
    static constexpr int maxActivation = 256;

    // A blocking connection to this user's running instance, for a command; `notRunning`
    // when none runs and `busy` when one is too busy to take the call.
    static constexpr int notRunning = -1;
    static constexpr int busy = -2;
    static int connectToRunning();

private:
    // The socket's address, once its directory is known to be safe; none (said in the
    // log) when this start runs without the guard.
    static std::optional<sockaddr_un> safeAddress();
    void acceptWaiting();
    enum class Lock { taken, heldByAnother, unavailable };
    Lock takeLock();
    void releaseLock();

    Reopen reopen_;
    std::function<void(int client)> take_;
    const std::optional<sockaddr_un> address_;
    int listener_ = -1;
    // What this instance bound, so that it removes only its own socket at its end.
    dev_t boundDevice_ = 0;
    ino_t boundInode_ = 0;
    std::unique_ptr<QSocketNotifier> notifier_;
    int lock_ = -1;
};
