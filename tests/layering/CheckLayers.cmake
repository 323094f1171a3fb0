# Fails when a file includes a header from a layer above its own. The layers, lowest first:
# platform, src, frontends; a file may include from its own layer and those below. Neither
# platform nor src includes a toolkit (Qt) header. Every library's include path is the whole
# tree, so the compiler would not catch it.
#
#   cmake -DROOT=<tree> -P CheckLayers.cmake
#
# Prints each offending include and "found N includes against the layers".

if(NOT ROOT)
    message(FATAL_ERROR "CheckLayers.cmake needs -DROOT=<source tree>")
endif()
get_filename_component(ROOT "${ROOT}" ABSOLUTE)

# The layers a file in each layer must not include from.
set(forbidden_platform src frontends)
set(forbidden_src frontends)

set(found 0)
foreach(layer platform src)
    file(GLOB_RECURSE files LIST_DIRECTORIES false
        "${ROOT}/${layer}/*.h" "${ROOT}/${layer}/*.hpp" "${ROOT}/${layer}/*.cpp")
    foreach(path ${files})
        file(STRINGS "${path}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
        file(RELATIVE_PATH shown "${ROOT}" "${path}")
        get_filename_component(dir "${path}" DIRECTORY)
        foreach(line ${lines})
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*)[>\"].*" "\\1" header
                "${line}")
            # A quoted include may be relative to the file ("../../src/x.h"); it is taken from
            # the tree's root otherwise, as the include path says.
            set(target "${header}")
            if(EXISTS "${dir}/${header}")
                get_filename_component(absolute "${dir}/${header}" ABSOLUTE)
                file(RELATIVE_PATH target "${ROOT}" "${absolute}")
            endif()
            set(bad "")
            foreach(above ${forbidden_${layer}})
                if(target MATCHES "^${above}/")
                    set(bad "${above}/ is above ${layer}/")
                endif()
            endforeach()
            if(header MATCHES "^Q(t[A-Z]|[A-Z])")
                set(bad "a toolkit header in ${layer}/")
            endif()
            if(bad)
                message("${shown}: includes ${header} (${bad})")
                math(EXPR found "${found} + 1")
            endif()
        endforeach()
    endforeach()
endforeach()

message("found ${found} includes against the layers")
if(found GREATER 0)
    message(FATAL_ERROR "includes against the layers: platform -> src -> frontends, no toolkit")
endif()
