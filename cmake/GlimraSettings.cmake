# SPDX-License-Identifier: GPL-3.0-or-later
# One target carries the compile settings every Glimra target shares, so flags never drift
# between libraries, tools and tests.
add_library(glimra_settings INTERFACE)
target_compile_features(glimra_settings INTERFACE cxx_std_20)
target_compile_definitions(glimra_settings INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_USE_QSTRINGBUILDER
    QT_NO_KEYWORDS)
target_compile_options(glimra_settings INTERFACE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual -Wimplicit-fallthrough)
if(GLIMRA_WERROR)
    target_compile_options(glimra_settings INTERFACE -Werror)
endif()
if(GLIMRA_SANITIZE)
    target_compile_options(glimra_settings INTERFACE -fsanitize=address,undefined
        -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(glimra_settings INTERFACE -fsanitize=address,undefined)
endif()
