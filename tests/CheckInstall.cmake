cmake_minimum_required(VERSION 3.25)
# Installs the build in BUILD_DIR into PREFIX and checks what a Linux desktop needs to show and
# start the client: the executable, a desktop entry, and the icon that entry names.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed")
endif()
foreach(file bin/vetron share/applications/vetron.desktop share/icons/hicolor/512x512/apps/vetron.png
             share/icons/hicolor/scalable/apps/vetron.svg)
    if(NOT EXISTS "${PREFIX}/${file}")
        message(FATAL_ERROR "not installed: ${file}")
    endif()
endforeach()
file(STRINGS "${PREFIX}/share/applications/vetron.desktop" entry)
foreach(line "Exec=vetron" "Icon=vetron")
    if(NOT line IN_LIST entry)
        message(FATAL_ERROR "the desktop entry lacks ${line}")
    endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
