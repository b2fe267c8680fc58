// SPDX-License-Identifier: GPL-3.0-or-later
#include "shortcuts/HotkeySettings.h"

#include "core/Settings.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

#include <cmath>
#include <optional>

namespace glimra {

namespace {

const QString kCurrentKey = settings::kHotkeyBindings;
const QString kOlderKey = settings::kOlderHotkeyBindings;
const QString kFinderCutKey = settings::kFinderCutEnabled;

constexpr quint32 kCommandShift = HotkeyModifier::Command | HotkeyModifier::Shift;
constexpr quint32 kControlOption = HotkeyModifier::Control | HotkeyModifier::Option;

HotkeyBinding factory(quint32 keyCode, quint32 modifiers, const char* label)
{
    return {keyCode, modifiers, QString::fromUtf8(label)};
}

std::optional<quint32> readUInt32(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (number < 0 || number > 4294967295.0 || std::floor(number) != number)
        return std::nullopt;
    return static_cast<quint32>(number);
}

std::optional<HotkeyBinding> readBinding(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const auto keyCode = readUInt32(object.value(QLatin1String("keyCode")));
    const auto modifiers = readUInt32(object.value(QLatin1String("modifiers")));
    const QJsonValue label = object.value(QLatin1String("label"));
    if (!keyCode || !modifiers || !label.isString())
        return std::nullopt;
    return HotkeyBinding{*keyCode, *modifiers, label.toString()};
}

QByteArray jsonString(const QString& text)
{
    // Qt's writer escapes for us; the surrounding brackets of the one-element array go.
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// Written by hand: the members of a binding keep the order keyCode, modifiers, label, which
// QJsonObject would sort away.
QByteArray encodeBinding(const HotkeyBinding& binding)
{
    return "{\"keyCode\":" + QByteArray::number(binding.keyCode) +
           ",\"modifiers\":" + QByteArray::number(binding.modifiers) +
           ",\"label\":" + jsonString(binding.label) + '}';
}

} // namespace

const std::array<HotkeyAction, kHotkeyCount>& hotkeyActions()
{
    static const std::array<HotkeyAction, kHotkeyCount> actions{{
        {1, "fullScreen", "fullscreen", factory(20, kCommandShift, "Full Screen"),
         QT_TRANSLATE_NOOP("Shortcuts", "Full Screen"), "capture full"},
        {2, "area", "area", factory(21, kCommandShift, "Area"),
         QT_TRANSLATE_NOOP("Shortcuts", "Area Capture"), "capture area"},
        {3, "window", "window", factory(23, kCommandShift, "Window"),
         QT_TRANSLATE_NOOP("Shortcuts", "Window Capture"), "capture window"},
        {4, "tileLeftHalf", "tileLeftHalf", factory(123, kControlOption, "Left Half"),
         QT_TRANSLATE_NOOP("Shortcuts", "Left Half"), "tile left-half"},
        {5, "tileRightHalf", "tileRightHalf", factory(124, kControlOption, "Right Half"),
         QT_TRANSLATE_NOOP("Shortcuts", "Right Half"), "tile right-half"},
        {6, "tileTopLeft", "tileTopLeft", factory(32, kControlOption, "Top Left"),
         QT_TRANSLATE_NOOP("Shortcuts", "Top Left"), "tile top-left"},
        {7, "tileTopRight", "tileTopRight", factory(34, kControlOption, "Top Right"),
         QT_TRANSLATE_NOOP("Shortcuts", "Top Right"), "tile top-right"},
        {8, "tileBottomLeft", "tileBottomLeft", factory(38, kControlOption, "Bottom Left"),
         QT_TRANSLATE_NOOP("Shortcuts", "Bottom Left"), "tile bottom-left"},
        {9, "tileBottomRight", "tileBottomRight", factory(40, kControlOption, "Bottom Right"),
         QT_TRANSLATE_NOOP("Shortcuts", "Bottom Right"), "tile bottom-right"},
        {10, "tileCenter", "tileCenter", factory(8, kControlOption, "Center"),
         QT_TRANSLATE_NOOP("Shortcuts", "Center"), "tile center"},
        {11, "tileMaximize", "tileMaximize", factory(3, kControlOption, "Maximize"),
         QT_TRANSLATE_NOOP("Shortcuts", "Maximize"), "tile maximize"},
    }};
    return actions;
}

QString hotkeyTitle(int id)
{
    if (id < 1 || id > kHotkeyCount)
        return {};
    return QCoreApplication::translate("Shortcuts", hotkeyActions()[size_t(id - 1)].title);
}

const HotkeyAction* hotkeyActionForRow(const QString& rowId)
{
    for (const HotkeyAction& action : hotkeyActions()) {
        if (rowId == QLatin1String(action.rowId))
            return &action;
    }
    return nullptr;
}

HotkeySettings::HotkeySettings(QSettings& store, QObject* parent) : QObject(parent), m_store(store)
{
    for (const HotkeyAction& action : hotkeyActions())
        m_bindings[action.id - 1] = action.factory;
    load();
}

HotkeyBinding HotkeySettings::binding(int id) const
{
    return id >= 1 && id <= kHotkeyCount ? m_bindings[id - 1] : HotkeyBinding{};
}

void HotkeySettings::setBinding(int id, const HotkeyBinding& binding)
{
    if (id < 1 || id > kHotkeyCount)
        return;
    m_bindings[id - 1] = binding;
    Q_EMIT bindingChanged(id);
}

void HotkeySettings::setFinderCutEnabled(bool enabled)
{
    m_finderCutEnabled = enabled;
    Q_EMIT finderCutEnabledChanged(enabled);
}

void HotkeySettings::save()
{
    QByteArray json = "{";
    for (const HotkeyAction& action : hotkeyActions()) {
        if (json.size() > 1)
            json += ',';
        json += jsonString(QString::fromUtf8(action.storageKey)) + ':' +
                encodeBinding(m_bindings[action.id - 1]);
    }
    json += '}';
    m_store.setValue(kCurrentKey, json);
    m_store.setValue(kFinderCutKey, m_finderCutEnabled);
    m_store.sync();
    if (onHotkeysChanged)
        onHotkeysChanged();
}

void HotkeySettings::resetToDefaults()
{
    for (const HotkeyAction& action : hotkeyActions())
        setBinding(action.id, action.factory);
    setFinderCutEnabled(true);
    save();
}

void HotkeySettings::load()
{
    if (m_store.contains(kFinderCutKey))
        m_finderCutEnabled = m_store.value(kFinderCutKey).toBool();
    if (!loadCurrentForm())
        migrateOlderForm();
}

bool HotkeySettings::loadCurrentForm()
{
    if (!m_store.contains(kCurrentKey))
        return false;
    const QJsonDocument document =
        QJsonDocument::fromJson(m_store.value(kCurrentKey).toByteArray());
    if (!document.isObject())
        return false;
    const QJsonObject object = document.object();
    // Every member must decode, including ones this version does not know.
    std::array<HotkeyBinding, kHotkeyCount> loaded;
    for (const HotkeyAction& action : hotkeyActions())
        loaded[action.id - 1] = action.factory;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const auto binding = readBinding(it.value());
        if (!binding)
            return false;
        for (const HotkeyAction& action : hotkeyActions()) {
            if (it.key() == QLatin1String(action.storageKey))
                loaded[action.id - 1] = *binding;
        }
    }
    m_bindings = loaded;
    return true;
}

void HotkeySettings::migrateOlderForm()
{
    if (!m_store.contains(kOlderKey))
        return;
    const QJsonDocument document = QJsonDocument::fromJson(m_store.value(kOlderKey).toByteArray());
    if (!document.isArray())
        return;
    const QJsonArray array = document.array();
    std::array<HotkeyBinding, 3> captures;
    for (qsizetype i = 0; i < array.size(); ++i) {
        const auto binding = readBinding(array.at(i));
        if (!binding)
            return;
        if (i < 3)
            captures[static_cast<size_t>(i)] = *binding;
    }
    // The older form held the three captures and nothing else.
    if (array.size() != 3)
        return;
    for (size_t i = 0; i < captures.size(); ++i)
        m_bindings[i] = captures[i];
    save();
    m_store.remove(kOlderKey);
    m_store.sync();
}

} // namespace glimra
