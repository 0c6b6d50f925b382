# The name of the Sondral installed in a folder: its systemd user unit
# (NAME.service), its menu entry (NAME.desktop) and its journal identifier.
#
# The folder's own name F, with every character other than a letter, a
# digit, "-", "_" or "." replaced by "_"; then F itself when it is "sondral"
# or starts with "sondral-", otherwise "sondral-F":
#   ~/sondral -> sondral      /srv/sondral-dab -> sondral-dab
#   ~/fm      -> sondral-fm   "/srv/stream 2"  -> sondral-stream_2
#
# Used at install time (cmake/installuser.cmake) and by scripts/install.sh:
#   cmake -DSONDRAL_DIR=DIR -P cmake/instancename.cmake   prints NAME
function(sondral_instance_name dir out)
    get_filename_component(folder "${dir}" NAME)
    string(REGEX REPLACE "[^A-Za-z0-9_.-]" "_" folder "${folder}")
    if(folder STREQUAL "sondral" OR folder MATCHES "^sondral-")
        set(${out} "${folder}" PARENT_SCOPE)
    else()
        set(${out} "sondral-${folder}" PARENT_SCOPE)
    endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    if(NOT SONDRAL_DIR)
        message(FATAL_ERROR "usage: cmake -DSONDRAL_DIR=DIR -P ${CMAKE_CURRENT_LIST_FILE}")
    endif()
    sondral_instance_name("${SONDRAL_DIR}" name)
    execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${name}")
endif()
