# Run by CPack on the staged package (CPACK_PRE_BUILD_SCRIPTS): strips the
# program and its libraries as Debian's dh_strip does, without symbols and
# without the .comment and .note sections; the package carries no debug
# symbols. CPACK_TORVEL_STRIP names the strip program.
cmake_minimum_required(VERSION 3.25)
file(GLOB_RECURSE programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
file(GLOB_RECURSE libraries LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.so")
foreach(file IN LISTS programs libraries)
    set(options --remove-section=.comment --remove-section=.note)
    if(file IN_LIST libraries)
        list(APPEND options --strip-unneeded)
    endif()
    execute_process(COMMAND "${CPACK_TORVEL_STRIP}" ${options} "${file}" RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "cannot strip ${file}")
    endif()
endforeach()
