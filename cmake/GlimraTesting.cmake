# SPDX-License-Identifier: GPL-3.0-or-later
include(GoogleTest)

# glimra_add_test(NAME <name> SOURCES ... LIBS ... [DISPLAY] [NO_SESSION_BUS] [ENV k=v ...])
#
# Tests without DISPLAY run on Qt's offscreen platform and never touch an X server.
# DISPLAY tests use the X server, window manager and tray that scripts/test.sh starts, and
# share one lock so that pointer, focus and clipboard of one test never leak into another.
function(glimra_add_test)
    cmake_parse_arguments(T "DISPLAY;NO_SESSION_BUS" "NAME" "SOURCES;LIBS;ENV" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE glimra_settings GTest::gtest GTest::gmock
        glimra_testmain ${T_LIBS})
    set(env ${T_ENV})
    if(T_DISPLAY)
        set(lock x11)
    else()
        list(APPEND env QT_QPA_PLATFORM=offscreen)
        set(lock "")
    endif()
    if(T_NO_SESSION_BUS)
        list(APPEND env DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/glimra-no-bus)
    endif()
    # Empty values vanish from the property list on its way into the generated test script
    # and shift every later property, so only what has a value is passed. The environment
    # goes through env(1) in front of the binary: a multi-variable ENVIRONMENT list does not
    # survive that script, and discovery needs the offscreen platform as much as the run.
    set(props LABELS "${T_NAME}")
    if(lock)
        list(APPEND props RESOURCE_LOCK "${lock}")
    endif()
    if(env)
        set_target_properties(${T_NAME} PROPERTIES CROSSCOMPILING_EMULATOR "env;${env}")
    endif()
    gtest_discover_tests(${T_NAME}
        DISCOVERY_MODE PRE_TEST
        PROPERTIES ${props}
        DISCOVERY_TIMEOUT 30)
endfunction()
