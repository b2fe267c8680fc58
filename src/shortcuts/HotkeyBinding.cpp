// SPDX-License-Identifier: GPL-3.0-or-later
#include "shortcuts/HotkeyBinding.h"

#include <array>

namespace glimra {

namespace {

struct KeyName {
    quint32 keyCode;
    const char* text; // UTF-8
    quint32 keysym;
};

// Portable key codes, their display text and the X keysym of the same key.
constexpr std::array<KeyName, 70> kKeys{{
    {0, "A", 0x61},          {1, "S", 0x73},          {2, "D", 0x64},
    {3, "F", 0x66},          {4, "H", 0x68},          {5, "G", 0x67},
    {6, "Z", 0x7a},          {7, "X", 0x78},          {8, "C", 0x63},
    {9, "V", 0x76},          {11, "B", 0x62},         {12, "Q", 0x71},
    {13, "W", 0x77},         {14, "E", 0x65},         {15, "R", 0x72},
    {16, "Y", 0x79},         {17, "T", 0x74},         {31, "O", 0x6f},
    {32, "U", 0x75},         {34, "I", 0x69},         {35, "P", 0x70},
    {37, "L", 0x6c},         {38, "J", 0x6a},         {40, "K", 0x6b},
    {45, "N", 0x6e},         {46, "M", 0x6d},         {18, "1", 0x31},
    {19, "2", 0x32},         {20, "3", 0x33},         {21, "4", 0x34},
    {22, "6", 0x36},         {23, "5", 0x35},         {25, "9", 0x39},
    {26, "7", 0x37},         {28, "8", 0x38},         {29, "0", 0x30},
    {24, "=", 0x3d},         {27, "-", 0x2d},         {30, "]", 0x5d},
    {33, "[", 0x5b},         {39, "'", 0x27},         {41, ";", 0x3b},
    {42, "\\", 0x5c},        {43, ",", 0x2c},         {44, "/", 0x2f},
    {47, ".", 0x2e},         {50, "`", 0x60},         {48, "Tab", 0xff09},
    {49, "Space", 0x20},     {51, "Delete", 0xff08},  {53, "Esc", 0xff1b},
    {122, "F1", 0xffbe},     {120, "F2", 0xffbf},     {99, "F3", 0xffc0},
    {118, "F4", 0xffc1},     {96, "F5", 0xffc2},      {97, "F6", 0xffc3},
    {98, "F7", 0xffc4},      {100, "F8", 0xffc5},     {101, "F9", 0xffc6},
    {109, "F10", 0xffc7},    {103, "F11", 0xffc8},    {111, "F12", 0xffc9},
    {105, "F13", 0xffca},    {107, "F14", 0xffcb},    {113, "F15", 0xffcc},
    {123, "\u2190", 0xff51}, {124, "\u2192", 0xff53}, {125, "\u2193", 0xff54},
    {126, "\u2191", 0xff52},
}};

const KeyName* findCode(quint32 keyCode)
{
    for (const KeyName& key : kKeys) {
        if (key.keyCode == keyCode)
            return &key;
    }
    return nullptr;
}

} // namespace

QString keyCodeToString(quint32 keyCode)
{
    const KeyName* key = findCode(keyCode);
    return key ? QString::fromUtf8(key->text) : QStringLiteral("?");
}

std::optional<quint32> keysymForKeyCode(quint32 keyCode)
{
    const KeyName* key = findCode(keyCode);
    return key ? std::optional<quint32>(key->keysym) : std::nullopt;
}

std::optional<quint32> keyCodeForKeysym(quint32 keysym)
{
    // A layout may put the capital letter in the unshifted place.
    if (keysym >= 0x41 && keysym <= 0x5a)
        keysym += 0x20;
    for (const KeyName& key : kKeys) {
        if (key.keysym == keysym)
            return key.keyCode;
    }
    return std::nullopt;
}

QString HotkeyBinding::displayString() const
{
    QString text;
    if (modifiers & HotkeyModifier::Control)
        text += QStringLiteral("Ctrl+");
    if (modifiers & HotkeyModifier::Option)
        text += QStringLiteral("Alt+");
    if (modifiers & HotkeyModifier::Shift)
        text += QStringLiteral("Shift+");
    if (modifiers & HotkeyModifier::Command)
        text += QStringLiteral("Super+");
    return text + keyCodeToString(keyCode);
}

Qt::KeyboardModifiers toQtModifiers(quint32 modifiers)
{
    Qt::KeyboardModifiers result;
    result.setFlag(Qt::MetaModifier, modifiers & HotkeyModifier::Command);
    result.setFlag(Qt::ShiftModifier, modifiers & HotkeyModifier::Shift);
    result.setFlag(Qt::AltModifier, modifiers & HotkeyModifier::Option);
    result.setFlag(Qt::ControlModifier, modifiers & HotkeyModifier::Control);
    return result;
}

quint32 fromQtModifiers(Qt::KeyboardModifiers modifiers)
{
    quint32 result = 0;
    if (modifiers & Qt::MetaModifier)
        result |= HotkeyModifier::Command;
    if (modifiers & Qt::ShiftModifier)
        result |= HotkeyModifier::Shift;
    if (modifiers & Qt::AltModifier)
        result |= HotkeyModifier::Option;
    if (modifiers & Qt::ControlModifier)
        result |= HotkeyModifier::Control;
    return result;
}

} // namespace glimra
