// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/JsonMembers.h"

#include <QJsonValue>

namespace glimra {

std::optional<QString> stringMember(const QJsonObject& object, QLatin1StringView key)
{
    const QJsonValue value = object.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

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

} // namespace glimra
