# The demo payload that travels in Tessaro's executable: the image table, stand-in firmware
# images generated at build time, and the help documents rendered from assets/help. Made in
# ${TESSARO_PAYLOAD_DIR}; nothing generated is kept in the source tree.

set(TESSARO_ASSETS_DIR ${PROJECT_SOURCE_DIR}/assets)
set(TESSARO_PAYLOAD_DIR ${CMAKE_BINARY_DIR}/payload)

# Name and size of each image, in the order they are packed. The names are those of
# assets/private.ini; the sizes are those of the real images they stand for.
set(TESSARO_DEMO_IMAGES
    sim_ge-interim.img 3500373
    sim_fe-interim.img 3656697
    sim_fe-746.img 5369014
    sim_ge-746.img 5421431)

set(TESSARO_HELP_DOCUMENTS Upgrade1 Upgrade2 Upgrade3)

# The rules that make the payload's files, made once for every program that carries it; the
# target tessaro-payload-files builds them. Sets TESSARO_PAYLOAD_ENTRIES (NAME=PATH for the
# packer) and TESSARO_PAYLOAD_FILES in the caller's scope.
function(tessaro_payload_files)
    set(entries "private.ini=${TESSARO_ASSETS_DIR}/private.ini")
    set(files ${TESSARO_ASSETS_DIR}/private.ini)
    get_property(made GLOBAL PROPERTY TESSARO_PAYLOAD_RULES_MADE)
    file(MAKE_DIRECTORY ${TESSARO_PAYLOAD_DIR})

    set(images ${TESSARO_DEMO_IMAGES})
    while(images)
        list(POP_FRONT images image size)
        set(path ${TESSARO_PAYLOAD_DIR}/${image})
        if(NOT made)
            add_custom_command(OUTPUT ${path}
                COMMAND tessaro-imagegen ${size} ${path}
                DEPENDS tessaro-imagegen
                COMMENT "Generating the stand-in image ${image}"
                VERBATIM)
        endif()
        list(APPEND entries "${image}=${path}")
        list(APPEND files ${path})
    endwhile()

    foreach(document IN LISTS TESSARO_HELP_DOCUMENTS)
        set(source ${TESSARO_ASSETS_DIR}/help/${document}.txt)
        set(path ${TESSARO_PAYLOAD_DIR}/${document}.pdf)
        if(NOT made)
            add_custom_command(OUTPUT ${path}
                COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:tessaro-helpdoc> ${source} ${path}
                DEPENDS tessaro-helpdoc ${source}
                COMMENT "Rendering the help document ${document}.pdf"
                VERBATIM)
        endif()
        list(APPEND entries "${document}.pdf=${path}")
        list(APPEND files ${path})
    endforeach()

    if(NOT made)
        add_custom_target(tessaro-payload-files DEPENDS ${files})
        set_property(GLOBAL PROPERTY TESSARO_PAYLOAD_RULES_MADE TRUE)
    endif()
    set(TESSARO_PAYLOAD_ENTRIES ${entries} PARENT_SCOPE)
    set(TESSARO_PAYLOAD_FILES ${files} PARENT_SCOPE)
endfunction()

# tessaro_add_packed_program(NAME FROM BARE_TARGET)
# Builds NAME in the program folder: BARE_TARGET's executable with the payload appended by
# tessaro-pack. Any change to the program, the packer or a payload file packs it again.
function(tessaro_add_packed_program name)
    cmake_parse_arguments(ARG "" "FROM" "" ${ARGN})
    set_target_properties(${ARG_FROM} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    tessaro_payload_files()
    set(packed ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${name})
    add_custom_command(OUTPUT ${packed}
        COMMAND tessaro-pack --exe $<TARGET_FILE:${ARG_FROM}> --out ${packed} ${TESSARO_PAYLOAD_ENTRIES}
        DEPENDS ${ARG_FROM} tessaro-pack tessaro-payload-files ${TESSARO_PAYLOAD_FILES}
        COMMENT "Packing the payload into ${name}"
        VERBATIM)
    add_custom_target(${name} ALL DEPENDS ${packed})
endfunction()
