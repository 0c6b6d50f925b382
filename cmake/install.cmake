# What `cmake --install BUILD --prefix DIR` lays out, for the user who runs
# it (scripts/install.sh is the usual way; it also enables the service):
#
#   DIR/                     the programs, beside sondral.ini and sondral.log
#   XDG_CONFIG_HOME/systemd/user/NAME.service    the user unit
#   XDG_DATA_HOME/applications/NAME.desktop      the menu entry
#   XDG_DATA_HOME/icons/hicolor/*/apps/sondral.{png,svg}
#
# XDG_CONFIG_HOME and XDG_DATA_HOME default to ~/.config and ~/.local/share.
# NAME is the service's name, made from DIR's folder name
# (cmake/instancename.cmake), so that each folder is a Sondral of its own.
# sondral.ini and sondral.log are never installed, so never overwritten.

# Without --prefix, the folder ./run.sh --install takes by default.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT AND DEFINED ENV{HOME})
    set(CMAKE_INSTALL_PREFIX "$ENV{HOME}/sondral" CACHE PATH "The station folder" FORCE)
endif()

# The programs that go beside each other in an installed folder.
# sondral-survey reads the sondral.ini beside it, so it belongs there too.
# programs.txt lists them for ./run.sh --install, which builds just these.
set(sondral_programs sondral sondral-survey)
list(JOIN sondral_programs "\n" sondral_programs_text)
file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/programs.txt CONTENT "${sondral_programs_text}\n")

# The unit, menu entry and icons go first: their checks of DIR (a name the
# unit and the menu entry cannot hold, a service of that name for another
# folder) then stop the install before any program is replaced.
install(CODE "set(SONDRAL_SOURCE_DIR \"${PROJECT_SOURCE_DIR}\")
set(SONDRAL_BINARY_DIR \"${PROJECT_BINARY_DIR}\")")
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/installuser.cmake)

install(TARGETS sondral RUNTIME DESTINATION .)
# The stream input's module, found beside the program (audio/streammodule.h).
install(TARGETS sondral-stream LIBRARY DESTINATION .)
# A helper that was not built is left out, not an error: sondral alone is
# a working install.
set(sondral_helpers ${sondral_programs})
list(REMOVE_ITEM sondral_helpers sondral)
install(TARGETS ${sondral_helpers} RUNTIME DESTINATION . OPTIONAL)
