# CPack: the install components become three Debian packages, `vessaro-server`, `vessaro-cli` and
# `vessaro`, each with its library dependencies worked out by dpkg-shlibdeps, its copyright file
# and changelog, and for the server the maintainer scripts and the configuration as a conffile.
# scripts/package runs it; `cpack -G DEB` in a build folder does the same.

set(VESSARO_PACKAGE_MAINTAINER "Vessaro developers <maintainers@vessaro.org>"
    CACHE STRING "Maintainer named in the Debian packages")
set(VESSARO_PACKAGE_HOMEPAGE "https://vessaro.org/" CACHE STRING "Homepage of the packages")
set(VESSARO_PACKAGE_RELEASE 1 CACHE STRING "Debian revision of the packages")

set(debian_version ${PROJECT_VERSION}-${VESSARO_PACKAGE_RELEASE})
set(packages server:vessaro-server cli:vessaro-cli)
if(TARGET vessaro)
    list(APPEND packages desktop:vessaro)
endif()

# The changelog's date is the commit's, so that the same commit gives the same packages.
set(changelog_date "")
if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%aD
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE changelog_date OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(changelog_date STREQUAL "")
    string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
endif()

# share/doc/<package>: copyright and changelog.Debian.gz (gzip -9n, as Debian wants).
set(components "")
foreach(entry IN LISTS packages)
    string(REPLACE ":" ";" entry "${entry}")
    list(GET entry 0 component)
    list(GET entry 1 package)
    list(APPEND components ${component})
    string(TOUPPER ${component} upper)
    set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${package})
    set(CPACK_DEBIAN_${upper}_FILE_NAME DEB-DEFAULT)

    set(doc ${CMAKE_CURRENT_BINARY_DIR}/doc/${package})
    set(PACKAGE ${package})
    set(VERSION ${debian_version})
    set(UPSTREAM ${PROJECT_VERSION})
    set(MAINTAINER ${VESSARO_PACKAGE_MAINTAINER})
    set(DATE ${changelog_date})
    configure_file(debian/changelog.in ${doc}/changelog.Debian @ONLY)
    execute_process(COMMAND ${GZIP} -9nf ${doc}/changelog.Debian RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "gzip failed for ${doc}/changelog.Debian")
    endif()
    install(FILES debian/copyright ${doc}/changelog.Debian.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vessaro)
set(CPACK_PACKAGE_VENDOR "The Vessaro developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${VESSARO_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL ${components})
set(CPACK_DEB_COMPONENT_INSTALL ON)
# One package per component.
set(CPACK_COMPONENTS_GROUPING IGNORE)

set(CPACK_DEBIAN_PACKAGE_RELEASE ${VESSARO_PACKAGE_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VESSARO_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VESSARO_PACKAGE_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_DEBIAN_SERVER_DESCRIPTION "anonymous chat matching server
The Vessaro matching server grants sessions to Vessaro clients over UDP,
pairs users who ask for a partner, and relays the texts of their
conversations. It can also serve the site's default pages, and reports
Prometheus metrics and its health over HTTP. It runs as the systemd
service vessaro-server, configured in /etc/vessaro/server.toml.")
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "adduser")
set(server_control ${CMAKE_CURRENT_SOURCE_DIR}/debian/server/postinst
    ${CMAKE_CURRENT_SOURCE_DIR}/debian/server/prerm ${CMAKE_CURRENT_SOURCE_DIR}/debian/server/postrm)
set(CONFIG ${VESSARO_CONFIG_DEST}/server.toml)
configure_file(debian/conffiles.in ${CMAKE_CURRENT_BINARY_DIR}/debian/conffiles @ONLY)
list(APPEND server_control ${CMAKE_CURRENT_BINARY_DIR}/debian/conffiles)
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA "${server_control}")

set(CPACK_DEBIAN_CLI_DESCRIPTION "anonymous one-to-one chat from a terminal
vessaro-cli is the console client of Vessaro: it connects to a matching
server, asks for a partner with a profile and requirements given as
options, and exchanges lines of text typed on standard input. With
--json it prints one event a line, for scripts and other programs.")

set(CPACK_DEBIAN_DESKTOP_DESCRIPTION "anonymous one-to-one chat with strangers
Vessaro pairs you with a stranger for an anonymous text chat. Describe
yourself, say whom you would like to talk to and pick a topic; once you
both accept an offered partner you exchange lines of text until one of
you hangs up, and may save the conversation as an HTML page.")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk")

include(CPack)
