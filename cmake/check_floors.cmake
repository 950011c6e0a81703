# Checks that no source includes a header from a floor above its own.
#   cmake -DROOT=<source tree> -P check_floors.cmake
#
# The floors, from the ground up (each may use only what stands below it, and itself):
#   link -> text -> params, archive -> live -> history, instrument -> station -> app
#   -> forms, cli -> main.cpp
# Floors on one level (params and archive; history and instrument; forms and cli) do not use
# each other. The simulator (sim/) is an independent peer: of the program it uses only
# link/codecs.h and link/frame.h.
# Includes without a floor folder (Qt, the standard library, generated ui_*.h) are not checked.

if(NOT ROOT)
    message(FATAL_ERROR "usage: cmake -DROOT=<source tree> -P check_floors.cmake")
endif()

set(rank_link 0)
set(rank_text 1)
set(rank_params 2)
set(rank_archive 2)
set(rank_live 3)
set(rank_instrument 4)
set(rank_history 4)
set(rank_station 5)
set(rank_app 6)
set(rank_forms 7)
set(rank_cli 7)
set(rank_main 8)
set(floors link text params archive live history instrument station app forms)

file(GLOB_RECURSE sources RELATIVE ${ROOT}
     ${ROOT}/src/*.h ${ROOT}/src/*.cpp ${ROOT}/cli/*.h ${ROOT}/cli/*.cpp
     ${ROOT}/sim/*.h ${ROOT}/sim/*.cpp)
list(SORT sources)

set(offences 0)
set(checked 0)
foreach(source IN LISTS sources)
    if(source MATCHES "^src/main\\.cpp$")
        set(floor main)
    elseif(source MATCHES "^src/([a-z_]+)/")
        set(floor ${CMAKE_MATCH_1})
    elseif(source MATCHES "^cli/")
        set(floor cli)
    elseif(source MATCHES "^sim/")
        set(floor sim)
    else()
        continue()
    endif()
    if(NOT floor STREQUAL "sim" AND NOT DEFINED rank_${floor})
        message(SEND_ERROR "${source}: folder '${floor}' is not a floor of the house")
        math(EXPR offences "${offences} + 1")
        continue()
    endif()
    math(EXPR checked "${checked} + 1")
    file(STRINGS ${ROOT}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*$" "\\1" header "${line}")
        if(NOT header MATCHES "^([a-z_]+)/")
            continue()
        endif()
        set(target ${CMAKE_MATCH_1})
        list(FIND floors ${target} known)
        if(known EQUAL -1)
            continue()
        endif()
        if(floor STREQUAL "sim")
            if(NOT header MATCHES "^link/(codecs|frame)\\.h$")
                message(SEND_ERROR "${source}: the simulator includes ${header}; it may use "
                                   "only link/codecs.h and link/frame.h")
                math(EXPR offences "${offences} + 1")
            endif()
        elseif(NOT target STREQUAL floor AND NOT rank_${target} LESS rank_${floor})
            message(SEND_ERROR "${source}: includes ${header}, from floor '${target}', which "
                               "does not stand below '${floor}'")
            math(EXPR offences "${offences} + 1")
        endif()
    endforeach()
endforeach()

if(offences GREATER 0)
    message(FATAL_ERROR "${offences} include(s) run up a floor")
endif()
message(STATUS "${checked} sources keep to their floors")
