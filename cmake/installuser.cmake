# Runs at install time (see cmake/install.cmake): lays out the user unit, the
# menu entry and the icons of the Sondral installed in CMAKE_INSTALL_PREFIX.
# SONDRAL_SOURCE_DIR and SONDRAL_BINARY_DIR are set by the install code
# before it.
include(${SONDRAL_SOURCE_DIR}/cmake/instancename.cmake)

# Stops the install with the reason on a line of its own, as scripts/install.sh
# passes it on (a FATAL_ERROR's text comes wrapped and framed).
function(refuse)
    string(CONCAT text ${ARGV})
    message(NOTICE "${text}")
    message(FATAL_ERROR "Sondral not installed into ${CMAKE_INSTALL_PREFIX}")
endfunction()

set(dir "${CMAKE_INSTALL_PREFIX}")
if(NOT IS_ABSOLUTE "${dir}" OR dir MATCHES "/$")
    refuse("Install into a folder given by its full path, not \"${dir}\"")
endif()
# The folder goes into the unit and the menu entry inside double quotes;
# these characters would need escaping there, in two different ways, and
# no station folder needs them.
if(dir MATCHES "[\"`$\\\\%\n]")
    refuse("The folder name must not contain \", `, $, \\, % or a line break: ${dir}")
endif()
sondral_instance_name("${dir}" SONDRAL_INSTANCE)

if(NOT "$ENV{XDG_CONFIG_HOME}" STREQUAL "")
    set(config_home "$ENV{XDG_CONFIG_HOME}")
else()
    set(config_home "$ENV{HOME}/.config")
endif()
if(NOT "$ENV{XDG_DATA_HOME}" STREQUAL "")
    set(data_home "$ENV{XDG_DATA_HOME}")
else()
    set(data_home "$ENV{HOME}/.local/share")
endif()
set(unit_dir "${config_home}/systemd/user")
set(unit "${unit_dir}/${SONDRAL_INSTANCE}.service")

# Two folders of the same name would share a service: the second install
# would take the first chain's service over. Refuse, and say why.
if(EXISTS "$ENV{DESTDIR}${unit}")
    file(STRINGS "$ENV{DESTDIR}${unit}" installed_dir REGEX "^WorkingDirectory=")
    string(REGEX REPLACE "^WorkingDirectory=" "" installed_dir "${installed_dir}")
    if(NOT installed_dir STREQUAL dir)
        refuse("${SONDRAL_INSTANCE}.service already runs the Sondral in ${installed_dir}. "
               "Each folder's Sondral is a service named after the folder: "
               "install this one into a folder of another name.")
    endif()
endif()

# The menu shows the first chain as "Sondral", every other by its name.
if(SONDRAL_INSTANCE STREQUAL "sondral")
    set(SONDRAL_MENU_NAME "Sondral")
else()
    set(SONDRAL_MENU_NAME "Sondral (${SONDRAL_INSTANCE})")
endif()
set(SONDRAL_DIR "${dir}")
set(generated "${SONDRAL_BINARY_DIR}/install-user")
configure_file(${SONDRAL_SOURCE_DIR}/resources/sondral.service.in
               ${generated}/${SONDRAL_INSTANCE}.service @ONLY)
configure_file(${SONDRAL_SOURCE_DIR}/resources/sondral.desktop.in
               ${generated}/${SONDRAL_INSTANCE}.desktop @ONLY)
file(INSTALL DESTINATION "${unit_dir}" TYPE FILE
     FILES ${generated}/${SONDRAL_INSTANCE}.service)
file(INSTALL DESTINATION "${data_home}/applications" TYPE FILE
     FILES ${generated}/${SONDRAL_INSTANCE}.desktop)

# One icon for every chain: the menu entries all name "sondral".
set(icons "${data_home}/icons/hicolor")
foreach(size 16 32 48 256)
    file(INSTALL DESTINATION "${icons}/${size}x${size}/apps" TYPE FILE
         RENAME sondral.png FILES ${SONDRAL_SOURCE_DIR}/resources/icons/sondral-${size}.png)
endforeach()
file(INSTALL DESTINATION "${icons}/scalable/apps" TYPE FILE
     FILES ${SONDRAL_SOURCE_DIR}/resources/icons/sondral.svg)
