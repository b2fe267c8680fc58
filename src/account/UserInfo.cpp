#include "account/UserInfo.h"

#include <QJsonObject>
#include <QJsonValue>

namespace glimra {

namespace {

// JSON has only one number type; an integer member is a number with no fraction that fits
// in 64 bits (Qt keeps integers it parsed exactly, beyond the 53 bits of a double).
std::optional<qint64> integerMember(const QJsonObject& object, QLatin1StringView key)
{
    const QJsonValue value = object.value(key);
    if (!value.isDouble())
        return std::nullopt;
    // toInteger() hands back its default for fractions and out-of-range numbers; asking
    // with two defaults tells a real 0 from "not an integer".
    const qint64 exact = value.toInteger(0);
    if (exact != 0 || value.toInteger(1) == 0)
        return exact;
    return std::nullopt;
}

QString stringMember(const QJsonObject& object, QLatin1StringView key)
{
    const QJsonValue value = object.value(key);
    return value.isString() ? value.toString() : QString();
}

} // namespace

UserInfo UserInfo::fromJson(const QJsonObject& user)
{
    UserInfo info;
    info.id = integerMember(user, QLatin1StringView("id")).value_or(0);
    info.username = stringMember(user, QLatin1StringView("username"));
    info.email = stringMember(user, QLatin1StringView("email"));
    info.screenshotCount = integerMember(user, QLatin1StringView("screenshot_count"));
    info.storageUsedBytes = integerMember(user, QLatin1StringView("storage_used_bytes"));
    return info;
}

} // namespace glimra
