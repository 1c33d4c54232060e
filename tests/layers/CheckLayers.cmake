# Fails when a source file includes a header from a layer above its own.
#
#   cmake -DROOT=<repository root> -P tests/layers/CheckLayers.cmake
#
# Prints "<file>:<line>: <layer> may not include <layer> ("<include>")" for each such include, and names
# every file under src/ that lies in no layer. Only quoted includes whose first folder is a layer are
# checked; system includes and local or generated headers ("BuildConfig.h", "Commands.h") are not.
cmake_minimum_required(VERSION 3.25)

# The two orders, lowest first. Edit them here.
#
# A core folder may include itself and the core folders before it.
set(CORE_LAYERS
    platform
    base
    translate
    alerts
    script
    check
    history
    discover
    currency
    balancelist
    keyring
    desktop
    app)
# The user-interface layers, all above the core. "X/ui" is the ui/ folder of core folder X: it may include
# the core folders up to X and the layers before it here. widgets, which has no core folder, reaches as
# far into the core as the layer before it. The ui/ folder of a core folder that is not named here takes
# the place of its core folder: script/ui would come after alerts/ui.
set(UI_LAYERS
    platform/ui
    translate/ui
    widgets
    alerts/ui
    history/ui
    discover/ui
    currency/ui
    balancelist/ui
    app/ui)
# Folders beside src/ whose programs use the core only. bench/ is not among them: bench_startup times
# the whole program starting, windows included.
set(CORE_ONLY tools demo)

if(NOT ROOT)
    message(FATAL_ERROR "usage: cmake -DROOT=<repository root> -P ${CMAKE_CURRENT_LIST_FILE}")
endif()
cmake_path(ABSOLUTE_PATH ROOT NORMALIZE)
if(NOT IS_DIRECTORY ${ROOT}/src)
    message(FATAL_ERROR "${ROOT} has no src/ folder")
endif()

foreach(layer IN LISTS UI_LAYERS)
    if(layer MATCHES "^(.+)/ui$" AND NOT CMAKE_MATCH_1 IN_LIST CORE_LAYERS)
        message(FATAL_ERROR "UI_LAYERS names ${layer}, but ${CMAKE_MATCH_1} is not in CORE_LAYERS")
    endif()
endforeach()

# Each core folder gets a place in the user-interface order for its ui/ folder.
foreach(core IN LISTS CORE_LAYERS)
    list(FIND CORE_LAYERS ${core} coreIndex)
    if(NOT "${core}/ui" IN_LIST UI_LAYERS)
        list(LENGTH UI_LAYERS at)
        set(i 0)
        foreach(layer IN LISTS UI_LAYERS)
            if(layer MATCHES "^(.+)/ui$")
                list(FIND CORE_LAYERS ${CMAKE_MATCH_1} other)
                if(other GREATER coreIndex)
                    set(at ${i})
                    break()
                endif()
            endif()
            math(EXPR i "${i} + 1")
        endforeach()
        list(INSERT UI_LAYERS ${at} "${core}/ui")
    endif()
endforeach()

# Every layer gets the last core index and the last user-interface index it may include (-1: none); every
# layer that can be included gets its kind and index.
list(LENGTH CORE_LAYERS coreCount)
math(EXPR lastCore "${coreCount} - 1")
set(i 0)
foreach(layer IN LISTS CORE_LAYERS)
    set(CORE_REACH_${layer} ${i})
    set(UI_REACH_${layer} -1)
    set(KIND_${layer} CORE)
    set(INDEX_${layer} ${i})
    math(EXPR i "${i} + 1")
endforeach()
set(i 0)
set(reach -1)
foreach(layer IN LISTS UI_LAYERS)
    if(layer MATCHES "^(.+)/ui$")
        list(FIND CORE_LAYERS ${CMAKE_MATCH_1} reach)
    endif()
    set(CORE_REACH_${layer} ${reach})
    set(UI_REACH_${layer} ${i})
    set(KIND_${layer} UI)
    set(INDEX_${layer} ${i})
    math(EXPR i "${i} + 1")
endforeach()
foreach(layer IN LISTS CORE_ONLY)
    set(CORE_REACH_${layer} ${lastCore})
    set(UI_REACH_${layer} -1)
endforeach()

# The layer of a path below src/ ("alerts/ui/X.h" -> alerts/ui), or "" when its first folder is no layer.
function(layer_in_src path out)
    set(layer "")
    if(path MATCHES "^([^/]+)/(ui/)?")
        if(CMAKE_MATCH_1 IN_LIST UI_LAYERS)
            # A folder that is a user-interface layer as a whole (widgets).
            set(layer ${CMAKE_MATCH_1})
        elseif(CMAKE_MATCH_1 IN_LIST CORE_LAYERS)
            set(layer ${CMAKE_MATCH_1})
            if(CMAKE_MATCH_2)
                set(layer ${layer}/ui)
            endif()
        endif()
    endif()
    set(${out} "${layer}" PARENT_SCOPE)
endfunction()

# Appends to `out` one report line for each include of `lines` (one file's include lines, in order) that
# `layer` may not use. `numbers` holds their line numbers; a line whose number is not known is shown as "?".
function(check_includes file layer lines numbers out)
    set(found "")
    set(n 0)
    list(LENGTH numbers numbersCount)
    foreach(line IN LISTS lines)
        if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\"")
            set(include "${CMAKE_MATCH_1}")
            layer_in_src("${include}" target)
            if(target)
                set(allowed FALSE)
                if(KIND_${target} STREQUAL "CORE" AND NOT INDEX_${target} GREATER CORE_REACH_${layer})
                    set(allowed TRUE)
                elseif(KIND_${target} STREQUAL "UI" AND NOT INDEX_${target} GREATER UI_REACH_${layer})
                    set(allowed TRUE)
                endif()
                if(NOT allowed)
                    set(number "?")
                    if(n LESS numbersCount)
                        list(GET numbers ${n} number)
                    endif()
                    list(APPEND found "${file}:${number}: ${layer} may not include ${target} (\"${include}\")")
                endif()
            endif()
        endif()
        math(EXPR n "${n} + 1")
    endforeach()
    set(${out} "${found}" PARENT_SCOPE)
endfunction()

set(files "")
foreach(top src ${CORE_ONLY})
    file(GLOB_RECURSE found LIST_DIRECTORIES FALSE RELATIVE ${ROOT}
        ${ROOT}/${top}/*.h ${ROOT}/${top}/*.cpp ${ROOT}/${top}/*.in)
    list(SORT found)
    list(APPEND files ${found})
endforeach()

set(includeCount 0)
set(unplacedCount 0)
set(includePattern "^[ \t]*#[ \t]*include")
foreach(file IN LISTS files)
    if(file MATCHES "^src/(.*)$")
        layer_in_src("${CMAKE_MATCH_1}" layer)
        if(NOT layer)
            string(REGEX MATCH "^src/([^/]+/)?" folder "${file}")
            message("${file}: unknown layer ${folder} (place the folder in the lists of tests/layers/CheckLayers.cmake)")
            math(EXPR unplacedCount "${unplacedCount} + 1")
            continue()
        endif()
    else()
        string(REGEX MATCH "^[^/]+" layer "${file}")
    endif()

    # Most files break no rule, and reading only their include lines keeps the check quick. Line numbers are
    # counted for the few that do.
    file(STRINGS ${ROOT}/${file} lines REGEX "${includePattern}" ENCODING UTF-8)
    list(LENGTH lines count)
    if(count EQUAL 0)
        continue()
    endif()
    check_includes("${file}" ${layer} "${lines}" "" found)
    if(NOT found)
        continue()
    endif()

    # Brackets, semicolons and backslashes would change how CMake splits the text into lines; only the
    # include lines' positions are taken from it, so they may be replaced. The two readings find the same
    # include lines unless a line holds bytes that are not text.
    file(READ ${ROOT}/${file} text)
    string(REGEX REPLACE "[][;\\]" "_" text "${text}")
    string(REPLACE "\n" ";" text "${text}")
    set(numbers "")
    set(number 1)
    foreach(line IN LISTS text)
        if(line MATCHES "${includePattern}")
            list(APPEND numbers ${number})
        endif()
        math(EXPR number "${number} + 1")
    endforeach()
    check_includes("${file}" ${layer} "${lines}" "${numbers}" found)
    foreach(report IN LISTS found)
        message("${report}")
        math(EXPR includeCount "${includeCount} + 1")
    endforeach()
endforeach()

if(includeCount GREATER 0 OR unplacedCount GREATER 0)
    set(summary "${includeCount} include(s) break the layer order")
    if(unplacedCount GREATER 0)
        string(APPEND summary " and ${unplacedCount} file(s) are in no layer")
    endif()
    message(FATAL_ERROR "${summary}; the layers are listed at the top of tests/layers/CheckLayers.cmake")
endif()
