#pragma once

#include <QHash>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

class QLocalServer;
class QLockFile;

namespace glimra {

// The running instance's end of `glimra COMMAND`: a local socket in the user's runtime folder
// that only the user can open. One request per connection: a JSON line with "command", "args"
// and "input"; one JSON reply with "exitCode", "stdout" and "stderr".
class RemoteControl final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RemoteControl)
public:
    using Reply = std::function<void(int exitCode, const QString& out, const QString& err)>;
    using Handler =
        std::function<void(const QStringList& args, const QString& input, const Reply& reply)>;

    explicit RemoteControl(QObject* parent = nullptr);
    ~RemoteControl() override;

    // False when another instance holds the session; this one must not run.
    bool claimInstance();
    bool listen();
    void addCommand(const QString& name, Handler handler);

    static QString socketPath();
    static QString lockPath();

private:
    void acceptConnections();

    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
    QHash<QString, Handler> m_handlers;
};

struct RemoteResult {
    bool connected = false;
    int exitCode = 1;
    QString out;
    QString err;
};

// Sends one command to the running instance and waits for its reply.
RemoteResult sendRemoteCommand(const QString& command, const QStringList& args,
                               const QString& input, int timeoutMs);

} // namespace glimra
