# Runs at install time: the unit names the server where this installation puts it, which is
# known only now (cmake --install --prefix, or the package's /usr).
set(dir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/lib/systemd/user")
file(READ "${GLIMRA_UNIT_TEMPLATE}" text)
string(REPLACE "@GLIMRA_SERVER@" "${CMAKE_INSTALL_PREFIX}/${GLIMRA_BINDIR}/glimra-server" text
    "${text}")
file(MAKE_DIRECTORY "${dir}")
file(WRITE "${dir}/glimra-server.service" "${text}")
message(STATUS "Installing: ${dir}/glimra-server.service")
