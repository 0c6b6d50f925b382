# sondral_library(NAME FOLDER folder SOURCES file...
#                 [PUBLIC_DEPS target...] [PRIVATE_DEPS target...])
#
# A static library whose headers are included rooted at the project
# ("core/monitor.h"), but reachable only from the library itself and from the
# targets that link it. Its include root in the build tree,
# include/NAME/FOLDER/, holds a link to each header listed in SOURCES and
# nothing else; no target sees the source tree as an include folder. So an
# #include across the folder table of docs/architecture.md names a header
# its target does not link, and fails to compile.
#
# PUBLIC_DEPS are what the library's own headers include (its users need
# them too); PRIVATE_DEPS what only its .cpp files include.
function(sondral_library name)
    cmake_parse_arguments(L "" "FOLDER" "SOURCES;PUBLIC_DEPS;PRIVATE_DEPS" ${ARGN})
    if(NOT L_FOLDER OR NOT L_SOURCES OR L_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "sondral_library(${name} FOLDER ... SOURCES ...): "
                            "bad arguments ${L_UNPARSED_ARGUMENTS}")
    endif()
    set(root ${PROJECT_BINARY_DIR}/include/${name})
    # Made afresh at each configure, so that a header taken off the list
    # goes from the root too.
    file(REMOVE_RECURSE ${root})
    file(MAKE_DIRECTORY ${root}/${L_FOLDER})
    foreach(source IN LISTS L_SOURCES)
        if(source MATCHES "\\.h$")
            get_filename_component(header ${source} NAME)
            file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${source} ${root}/${L_FOLDER}/${header}
                 SYMBOLIC)
        endif()
    endforeach()
    add_library(${name} STATIC ${L_SOURCES})
    target_include_directories(${name} PUBLIC $<BUILD_INTERFACE:${root}>)
    target_link_libraries(${name} PUBLIC ${L_PUBLIC_DEPS} PRIVATE ${L_PRIVATE_DEPS})
    # Header-only libraries (ports) still need a linker language.
    set_target_properties(${name} PROPERTIES LINKER_LANGUAGE CXX)
endfunction()
