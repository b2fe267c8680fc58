// SPDX-License-Identifier: GPL-3.0-or-later
#include "account/UserInfo.h"

#include "core/JsonMembers.h"

namespace glimra {

UserInfo UserInfo::fromJson(const QJsonObject& user)
{
    UserInfo info;
    info.id = integerMember(user, QLatin1StringView("id")).value_or(0);
    info.username = stringMember(user, QLatin1StringView("username")).value_or(QString());
    info.email = stringMember(user, QLatin1StringView("email")).value_or(QString());
    info.screenshotCount = integerMember(user, QLatin1StringView("screenshot_count"));
    info.storageUsedBytes = integerMember(user, QLatin1StringView("storage_used_bytes"));
    return info;
}

} // namespace glimra
