// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QLatin1StringView>
#include <QString>

#include <optional>

namespace glimra {

// The member as a string; nothing when it is missing or of another type.
std::optional<QString> stringMember(const QJsonObject& object, QLatin1StringView key);

// The member as an integer: a JSON number with no fraction that fits in 64 bits (Qt keeps
// integers it parsed exactly, beyond the 53 bits of a double). Nothing otherwise.
std::optional<qint64> integerMember(const QJsonObject& object, QLatin1StringView key);

} // namespace glimra
