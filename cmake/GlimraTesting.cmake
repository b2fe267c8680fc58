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
    gtest_discover_tests(${T_NAME}
        DISCOVERY_MODE PRE_TEST
        PROPERTIES ENVIRONMENT "${env}" RESOURCE_LOCK "${lock}" LABELS "${T_NAME}"
        DISCOVERY_TIMEOUT 30)
endfunction()
