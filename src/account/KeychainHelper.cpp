// GLib's headers name struct members "signals"; include them before anything from Qt.
#include <gio/gio.h>
#include <libsecret/secret.h>

#include "account/KeychainHelper.h"

#include <QDir>
#include <QStringDecoder>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace glimra {

namespace {

// A token is a few hundred bytes; anything far larger in our file was not written by us.
constexpr qint64 kMaxTokenBytes = 64 * 1024;

const SecretSchema* tokenSchema()
{
    static const SecretSchema schema = [] {
        SecretSchema s;
        std::memset(&s, 0, sizeof s);
        s.name = "com.tarnwick.glimra.Token";
        // Match on service and account alone, so an item written by another tool under the
        // same two attributes (secret-tool, an older build) is found and replaced.
        s.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
        s.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    return &schema;
}

struct HashTableDeleter {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using Attributes = std::unique_ptr<GHashTable, HashTableDeleter>;

Attributes attributesFor(const QByteArray& service, const QByteArray& account)
{
    Attributes table(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
    g_hash_table_insert(table.get(), g_strdup("service"), g_strdup(service.constData()));
    g_hash_table_insert(table.get(), g_strdup("account"), g_strdup(account.constData()));
    return table;
}

std::optional<QString> decodeUtf8(const char* data, qsizetype size)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(QByteArrayView(data, size));
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

bool ssStore(const QByteArray& service, const QByteArray& token)
{
    const Attributes attributes = attributesFor(service, KeychainHelper::account().toUtf8());
    secret_password_clearv_sync(tokenSchema(), attributes.get(), nullptr, nullptr);
    SecretValue* value = secret_value_new(token.constData(), token.size(), "text/plain");
    const gboolean stored = secret_password_storev_binary_sync(
        tokenSchema(), attributes.get(), SECRET_COLLECTION_DEFAULT, "Glimra session token", value,
        nullptr, nullptr);
    secret_value_unref(value);
    return stored;
}

// Nothing when no item exists or the service could not be asked.
std::optional<QByteArray> ssLookup(const QByteArray& service)
{
    const Attributes attributes = attributesFor(service, KeychainHelper::account().toUtf8());
    SecretValue* value =
        secret_password_lookupv_binary_sync(tokenSchema(), attributes.get(), nullptr, nullptr);
    if (!value)
        return std::nullopt;
    gsize length = 0;
    const gchar* data = secret_value_get(value, &length);
    QByteArray bytes(data, static_cast<qsizetype>(length));
    secret_value_unref(value);
    return bytes;
}

void ssClear(const QByteArray& service)
{
    const Attributes attributes = attributesFor(service, KeychainHelper::account().toUtf8());
    secret_password_clearv_sync(tokenSchema(), attributes.get(), nullptr, nullptr);
}

bool nameAnswers(GDBusConnection* bus, const char* method, const char* replyType,
                 GVariant* arguments)
{
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method,
        arguments, G_VARIANT_TYPE(replyType), G_DBUS_CALL_FLAGS_NONE, 500, nullptr, nullptr);
    if (!reply)
        return false;
    bool found = false;
    if (g_variant_is_of_type(reply, G_VARIANT_TYPE("(b)"))) {
        gboolean owned = FALSE;
        g_variant_get(reply, "(b)", &owned);
        found = owned;
    } else {
        GVariantIter* names = nullptr;
        g_variant_get(reply, "(as)", &names);
        const gchar* name = nullptr;
        while (!found && g_variant_iter_next(names, "&s", &name))
            found = std::strcmp(name, "org.freedesktop.secrets") == 0;
        g_variant_iter_free(names);
    }
    g_variant_unref(reply);
    return found;
}

bool probeSessionBus()
{
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus)
        return false;
    const bool answers =
        nameAnswers(bus, "NameHasOwner", "(b)", g_variant_new("(s)", "org.freedesktop.secrets")) ||
        nameAnswers(bus, "ListActivatableNames", "(as)", nullptr);
    g_object_unref(bus);
    return answers;
}

// --- the fallback file -------------------------------------------------------------------

QString stateHome()
{
    // Relative values are invalid by the XDG rules and must be ignored.
    const QString configured = qEnvironmentVariable("XDG_STATE_HOME");
    if (!configured.isEmpty() && QDir::isAbsolutePath(configured))
        return configured;
    return QDir::homePath() + QStringLiteral("/.local/state");
}

// The folder must belong to us and be closed to everyone else; one we created earlier with
// looser rights is tightened, one owned by someone else is not used at all.
bool ensurePrivateFolder(const QByteArray& folder)
{
    QDir().mkpath(QFile::decodeName(folder).section(u'/', 0, -2));
    if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    if (::lstat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return false;
    if ((st.st_mode & 077) != 0 && ::chmod(folder.constData(), 0700) != 0)
        return false;
    return true;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}

bool fileStore(const QString& path, const QByteArray& token)
{
    const QByteArray target = QFile::encodeName(path);
    const QByteArray folder = QFile::encodeName(path.section(u'/', 0, -2));
    if (!ensurePrivateFolder(folder))
        return false;
    // Written beside the target and renamed over it, so a crash mid-write never leaves a
    // truncated token, and created 0600 so the bytes are never readable by others.
    QByteArray temp = target + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, 0600) == 0 && writeAll(fd, token) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok)
        ok = ::rename(temp.constData(), target.constData()) == 0;
    if (!ok)
        ::unlink(temp.constData());
    return ok;
}

std::optional<QByteArray> fileLookup(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<QByteArray> result;
    struct stat st {};
    // A file others could read may have been read, or planted, by them: not our secret.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::getuid() &&
        (st.st_mode & 077) == 0 && st.st_size <= kMaxTokenBytes) {
        QByteArray bytes(static_cast<qsizetype>(st.st_size), Qt::Uninitialized);
        qsizetype got = 0;
        while (got < bytes.size()) {
            const ssize_t n =
                ::read(fd, bytes.data() + got, static_cast<size_t>(bytes.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += n;
        }
        if (got == bytes.size())
            result = std::move(bytes);
    }
    ::close(fd);
    return result;
}

} // namespace

bool KeychainHelper::secretServiceAnswers()
{
    // Without an address GLib would try to autolaunch a bus of its own.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return false;
    // A bus that accepts the connection but never answers must not hold up start-up: the
    // probe runs aside and is abandoned when it is late.
    auto promise = std::make_shared<std::promise<bool>>();
    std::future<bool> answer = promise->get_future();
    std::thread([promise] { promise->set_value(probeSessionBus()); }).detach();
    if (answer.wait_for(std::chrono::milliseconds(1500)) != std::future_status::ready)
        return false;
    return answer.get();
}

KeychainHelper::KeychainHelper(const QString& service, Backend backend)
    : m_service(service), m_backend(backend)
{
    if (m_backend == Backend::Automatic)
        m_backend = secretServiceAnswers() ? Backend::SecretService : Backend::File;
}

KeychainHelper::~KeychainHelper() = default;

QString KeychainHelper::fallbackFilePath() const
{
    QString name = m_service + u'.' + account();
    name.replace(u'/', u'_');
    return stateHome() + QStringLiteral("/Glimra/") + name;
}

void KeychainHelper::save(const QString& token)
{
    const QByteArray bytes = token.toUtf8();
    if (m_backend == Backend::SecretService) {
        // A locked or broken keyring must not sign the user out at the next start: the
        // private file keeps the token instead, and is dropped once the keyring works.
        if (ssStore(m_service.toUtf8(), bytes)) {
            ::unlink(QFile::encodeName(fallbackFilePath()).constData());
            return;
        }
    }
    fileStore(fallbackFilePath(), bytes);
}

std::optional<QString> KeychainHelper::retrieve() const
{
    std::optional<QByteArray> bytes;
    if (m_backend == Backend::SecretService)
        bytes = ssLookup(m_service.toUtf8());
    if (!bytes)
        bytes = fileLookup(fallbackFilePath());
    if (!bytes)
        return std::nullopt;
    return decodeUtf8(bytes->constData(), bytes->size());
}

void KeychainHelper::remove()
{
    if (m_backend == Backend::SecretService)
        ssClear(m_service.toUtf8());
    ::unlink(QFile::encodeName(fallbackFilePath()).constData());
}

} // namespace glimra
