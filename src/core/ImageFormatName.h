// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string_view>

namespace glimra {

enum class ImageFormat { Png, Jpeg };

// The extension of a path's file name: what follows its last dot. Empty when the name has
// no dot, or only a leading one (that marks a hidden file, not an extension).
constexpr std::string_view fileExtension(std::string_view path)
{
    const std::string_view name = path.substr(path.rfind('/') + 1);
    const std::size_t dot = name.rfind('.');
    return dot != std::string_view::npos && dot > 0 ? name.substr(dot + 1) : std::string_view();
}

// The format an extension names, case aside: "png" is PNG, "jpg" and "jpeg" are JPEG,
// anything else names nothing.
constexpr std::optional<ImageFormat> imageFormatOfExtension(std::string_view extension)
{
    const auto is = [extension](std::string_view lower) {
        if (extension.size() != lower.size())
            return false;
        for (std::size_t i = 0; i < lower.size(); ++i) {
            const char c = extension[i];
            if ((c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c) != lower[i])
                return false;
        }
        return true;
    };
    if (is("png"))
        return ImageFormat::Png;
    if (is("jpg") || is("jpeg"))
        return ImageFormat::Jpeg;
    return std::nullopt;
}

} // namespace glimra
