// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>
#include <optional>

namespace glimra {

class PrivateFileStore;
class SecretStore;

// Keeps the one session token so that the user stays signed in across restarts.
//
// The token lives in the desktop's Secret Service (GNOME Keyring, KWallet) as an item with
// the attributes service = service() and account = "authToken". Where no Secret Service
// answers (no session bus, or no keyring daemon on it) it lives in a file that only the user
// can read, $XDG_STATE_HOME/Glimra/<service>.authToken, in a folder only the user can open.
//
// Calls are synchronous, come from the GUI thread and never report errors: a failed read is
// the same as an empty store, a failed write leaves no token behind.
class KeychainHelper final {
    Q_DISABLE_COPY_MOVE(KeychainHelper)

public:
    enum class Backend {
        // Probe the session bus once, quickly, at construction.
        Automatic,
        SecretService,
        File,
    };

    static QString defaultService() { return QStringLiteral("com.tarnwick.glimra"); }
    static QString account() { return QStringLiteral("authToken"); }

    explicit KeychainHelper(const QString& service = defaultService(),
                            Backend backend = Backend::Automatic);
    ~KeychainHelper();

    QString service() const { return m_service; }
    bool usesSecretService() const { return m_backend == Backend::SecretService; }
    // Where the token lives when the Secret Service is not used.
    QString fallbackFilePath() const;

    // Replaces the stored token with this one (as UTF-8 bytes, unchanged).
    void save(const QString& token);
    // The stored token; nothing when none is stored, it cannot be read, it is not valid
    // UTF-8, or the fallback file could be read by anyone but the user.
    std::optional<QString> retrieve() const;
    // Removes the stored token; harmless when there is none.
    void remove();

    // True when a session bus is reachable and a Secret Service owns, or can be started
    // for, its well-known name. Bounded to about a second so start-up never hangs.
    static bool secretServiceAnswers();

private:
    QString m_service;
    Backend m_backend;
    std::unique_ptr<SecretStore> m_keyring; // only with the Secret Service backend
    std::unique_ptr<PrivateFileStore> m_file;
};

} // namespace glimra
