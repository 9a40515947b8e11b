# The product's layers, each one target, linked in one direction only.
#
# qv_layer(<target> FOLDER <folder directly under src> SOURCES <files...> [DEPENDS <targets...>])
#   A static library of the sources in src/<folder>, one folder per layer. Its headers are reached
#   as "<folder>/<file>.h" through a directory of its own in the build tree
#   (layers/<target>/<folder>, a link to src/<folder>), and its public include
#   path is that directory alone. A layer therefore sees its own headers and
#   those of the layers it depends on (their include paths come with them),
#   and an include of any other layer's header is not found: reaching up, or
#   sideways into an undeclared sibling, fails to compile.
#
# qv_declare_layer(<name> FOLDER <folder from the project root> [DEPENDS <targets...>])
#   Records a layer for the include check (tools/check-layers) without making
#   a target: the platform, the resources, the simulated client, the DLL.
#
# qv_write_layers(<file>) writes the recorded layers, one a line:
#   <name> <folder> <dependency>...
# which the include check reads, so the rule is declared once, here in CMake.

function(qv_declare_layer name)
    cmake_parse_arguments(L "" "FOLDER" "DEPENDS" ${ARGN})
    list(JOIN L_DEPENDS " " depends)
    set_property(GLOBAL APPEND PROPERTY QV_LAYER_TABLE "${name} ${L_FOLDER} ${depends}")
endfunction()

function(qv_layer target)
    cmake_parse_arguments(L "" "FOLDER" "SOURCES;DEPENDS" ${ARGN})
    if(L_FOLDER MATCHES "/")
        message(FATAL_ERROR "${target}: a layer's folder is one folder directly under src/, "
                            "not ${L_FOLDER}")
    endif()
    set(view ${CMAKE_BINARY_DIR}/layers/${target})
    file(MAKE_DIRECTORY ${view})
    if(NOT EXISTS ${view}/${L_FOLDER})
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${L_FOLDER} ${view}/${L_FOLDER} SYMBOLIC)
    endif()
    list(TRANSFORM L_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/src/${L_FOLDER}/)
    add_library(${target} STATIC ${L_SOURCES})
    target_include_directories(${target} PUBLIC ${view})
    target_link_libraries(${target} PUBLIC ${L_DEPENDS})
    qv_warnings(${target})
    qv_declare_layer(${target} FOLDER src/${L_FOLDER} DEPENDS ${L_DEPENDS})
endfunction()

function(qv_write_layers file)
    get_property(table GLOBAL PROPERTY QV_LAYER_TABLE)
    list(JOIN table "\n" text)
    file(CONFIGURE OUTPUT ${file} CONTENT "${text}\n" @ONLY)
endfunction()
