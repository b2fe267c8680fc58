# SPDX-License-Identifier: GPL-3.0-or-later
# Runs at install time: each unit names the server where this installation puts it, which is
# known only now (cmake --install --prefix, or the package's /usr). The user unit is a
# template; the system unit, kept ready to copy by hand, names /usr/local/bin.
set(server "${CMAKE_INSTALL_PREFIX}/${GLIMRA_BINDIR}/glimra-server")
foreach(kind user system)
    if(kind STREQUAL user)
        file(READ "${GLIMRA_SOURCE_DIR}/data/glimra-server.user.service.in" text)
        string(REPLACE "@GLIMRA_SERVER@" "${server}" text "${text}")
    else()
        file(READ "${GLIMRA_SOURCE_DIR}/server/glimra-server.service" text)
        string(REPLACE "/usr/local/bin/glimra-server" "${server}" text "${text}")
    endif()
    set(dir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/lib/systemd/${kind}")
    file(MAKE_DIRECTORY "${dir}")
    file(WRITE "${dir}/glimra-server.service" "${text}")
    message(STATUS "Installing: ${dir}/glimra-server.service")
endforeach()
