# Fails when a source folder includes a header of a folder above it. The order,
# lowest first: platform <- lib, device <- trace <- draw <- analysis <- modes <- remote,
# publish <- app
# (lib and device are independent of each other, as are remote and publish). tests/ and bench/ may include
# anything and are not scanned.
#   cmake -DSOURCE_DIR=<tree> [-DEXPECT_VIOLATIONS=<n>] -P checklayering.cmake
# With EXPECT_VIOLATIONS the script succeeds only when exactly that many
# violations are found (its own test on a tree with known faults).
cmake_minimum_required(VERSION 3.25)
if(NOT SOURCE_DIR)
    message(FATAL_ERROR "SOURCE_DIR is not set")
endif()
get_filename_component(root "${SOURCE_DIR}" ABSOLUTE)

set(folders platform lib device trace draw analysis modes remote publish app)
# What each folder may include besides itself.
set(below_platform "")
set(below_lib platform)
set(below_device platform)
set(below_trace platform lib device)
set(below_draw platform lib device trace)
set(below_analysis platform lib device trace draw)
set(below_modes platform lib device trace draw analysis)
set(below_remote platform lib device trace draw analysis modes)
set(below_publish platform lib device trace draw analysis modes)
set(below_app platform lib device trace draw analysis modes remote publish)

# The project folder a path below the root lies in, or "" outside them.
function(folder_of path out)
    file(RELATIVE_PATH rel "${root}" "${path}")
    string(REGEX MATCH "^[^/]+" top "${rel}")
    if(rel MATCHES "^\\.\\./" OR NOT top IN_LIST folders)
        set(top "")
    endif()
    set(${out} "${top}" PARENT_SCOPE)
endfunction()

set(violations 0)
foreach(folder IN LISTS folders)
    file(GLOB_RECURSE sources LIST_DIRECTORIES false
         "${root}/${folder}/*.h" "${root}/${folder}/*.hpp" "${root}/${folder}/*.cpp"
         "${root}/${folder}/*.c")
    list(SORT sources)
    foreach(source IN LISTS sources)
        get_filename_component(dir "${source}" DIRECTORY)
        file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
        foreach(line IN LISTS lines)
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]+)[\">].*$" "\\1" name "${line}")
            # A name is looked up beside the including file first, then from the root.
            get_filename_component(beside "${dir}/${name}" ABSOLUTE)
            if(EXISTS "${beside}")
                set(target "${beside}")
            else()
                get_filename_component(target "${root}/${name}" ABSOLUTE)
            endif()
            folder_of("${target}" included)
            if(included STREQUAL "" OR included STREQUAL folder)
                continue()
            endif()
            if(NOT included IN_LIST below_${folder})
                file(RELATIVE_PATH where "${root}" "${source}")
                message("${where}: includes ${name} (${folder}/ may not include ${included}/)")
                math(EXPR violations "${violations} + 1")
            endif()
        endforeach()
    endforeach()
endforeach()

if(DEFINED EXPECT_VIOLATIONS)
    if(NOT violations EQUAL EXPECT_VIOLATIONS)
        message(FATAL_ERROR "${violations} layering violations found, ${EXPECT_VIOLATIONS} expected")
    endif()
elseif(violations GREATER 0)
    message(FATAL_ERROR "${violations} includes point up the layers")
endif()
