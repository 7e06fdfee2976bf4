# The launcher's Windows resources: the window icon (101), the application manifest and the version
# information, compiled once with windres into a COFF object.
#
# kyr_add_launcher_resources(TARGET) links that object into an executable: the launcher itself and the
# test programs that open its window. Does nothing outside Windows builds.
set(KYR_LAUNCHER_RESOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(KYR_LAUNCHER_RESOURCE_OBJECT ${CMAKE_BINARY_DIR}/launcher_resources/launcher_resources.o)

if(WIN32)
    configure_file(${KYR_LAUNCHER_RESOURCE_DIR}/version.h.in ${CMAKE_BINARY_DIR}/launcher_resources/version.h @ONLY)
    add_custom_command(
        OUTPUT ${KYR_LAUNCHER_RESOURCE_OBJECT}
        COMMAND ${CMAKE_RC_COMPILER} -O coff -I ${KYR_LAUNCHER_RESOURCE_DIR} -I ${CMAKE_BINARY_DIR}/launcher_resources
                -i ${KYR_LAUNCHER_RESOURCE_DIR}/launcher.rc -o ${KYR_LAUNCHER_RESOURCE_OBJECT}
        WORKING_DIRECTORY ${KYR_LAUNCHER_RESOURCE_DIR}
        DEPENDS ${KYR_LAUNCHER_RESOURCE_DIR}/launcher.rc ${KYR_LAUNCHER_RESOURCE_DIR}/launcher.ico
                ${KYR_LAUNCHER_RESOURCE_DIR}/launcher.manifest ${CMAKE_BINARY_DIR}/launcher_resources/version.h
        COMMENT "Compiling the launcher's resources"
        VERBATIM)
    add_custom_target(kyr_launcher_resources DEPENDS ${KYR_LAUNCHER_RESOURCE_OBJECT})
endif()

function(kyr_add_launcher_resources target)
    if(NOT WIN32)
        return()
    endif()
    # Called from other folders, where the variables above are not set: the path is rebuilt here.
    add_dependencies(${target} kyr_launcher_resources)
    target_link_libraries(${target} PRIVATE ${CMAKE_BINARY_DIR}/launcher_resources/launcher_resources.o)
endfunction()
