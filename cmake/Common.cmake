# Shared compile settings and the JNI headers.

function(kavrin_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
    if(KAVRIN_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

function(kavrin_sanitize target)
    if(KAVRIN_SANITIZE AND NOT WIN32)
        target_compile_options(${target} PUBLIC -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
        target_link_options(${target} PUBLIC -fsanitize=address,undefined)
    endif()
endfunction()

# jni.h comes from the installed JDK. The host uses the JDK's own jni_md.h; the
# Windows build uses ours (a few typedefs), found first on the include path.
if(NOT KAVRIN_JDK_HOME)
    find_program(KAVRIN_JAVAC javac REQUIRED)
    get_filename_component(_javac_real ${KAVRIN_JAVAC} REALPATH)
    get_filename_component(_jdk_bin ${_javac_real} DIRECTORY)
    get_filename_component(KAVRIN_JDK_HOME ${_jdk_bin} DIRECTORY CACHE)
endif()
if(WIN32)
    set(KAVRIN_JNI_INCLUDE_DIRS ${CMAKE_SOURCE_DIR}/src/launch/jni/win32-include ${KAVRIN_JDK_HOME}/include)
else()
    set(KAVRIN_JNI_INCLUDE_DIRS ${KAVRIN_JDK_HOME}/include ${KAVRIN_JDK_HOME}/include/linux)
endif()

# kavrin_check_includes(TARGET NAME SOURCES... ALLOWED folder...): building TARGET first
# checks that SOURCES include project headers only from the ALLOWED folders; an include
# that climbs a layer fails the build.
function(kavrin_check_includes target name)
    cmake_parse_arguments(C "" "" "SOURCES;ALLOWED" ${ARGN})
    set(stamp ${CMAKE_BINARY_DIR}/layer-checks/${name}.stamp)
    add_custom_command(
        OUTPUT ${stamp}
        COMMAND ${CMAKE_COMMAND} -DLAYER=${name} "-DALLOWED=${C_ALLOWED}" "-DSOURCES=${C_SOURCES}"
                -DSTAMP=${stamp} -P ${CMAKE_SOURCE_DIR}/cmake/CheckLayerIncludes.cmake
        DEPENDS ${C_SOURCES} ${CMAKE_SOURCE_DIR}/cmake/CheckLayerIncludes.cmake
        COMMENT "Checking the includes of layer ${name}"
        VERBATIM)
    add_custom_target(kavrin_${name}_includes DEPENDS ${stamp})
    add_dependencies(${target} kavrin_${name}_includes)
endfunction()

# The folders a layer's sources may include: its own, the platform interfaces and
# those of every layer below it.
function(kavrin_layer_folders out)
    set(folders platform)
    foreach(layer IN LISTS ARGN)
        get_property(layer_folders GLOBAL PROPERTY KAVRIN_LAYER_FOLDERS_${layer})
        list(APPEND folders ${layer} ${layer_folders})
    endforeach()
    list(REMOVE_DUPLICATES folders)
    set(${out} ${folders} PARENT_SCOPE)
endfunction()

# kavrin_layer(NAME [DEPENDS layer...]): the static library kavrin_NAME of src/NAME,
# linked to the layers it depends on, with its includes checked. KAVRIN_CORE_SOURCES
# collects every layer's sources.
function(kavrin_layer name)
    cmake_parse_arguments(L "" "" "DEPENDS" ${ARGN})
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${name}/*.cpp)
    file(GLOB_RECURSE headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${name}/*.h)
    # The real platform is a library of its own (Windows builds only).
    list(FILTER sources EXCLUDE REGEX "/src/platform/win32/")
    list(FILTER headers EXCLUDE REGEX "/src/platform/win32/")
    kavrin_layer_folders(below ${L_DEPENDS})
    set(allowed ${name} ${below})
    list(REMOVE_DUPLICATES allowed)
    set_property(GLOBAL PROPERTY KAVRIN_LAYER_FOLDERS_${name} ${allowed})

    if(sources)
        add_library(kavrin_${name} STATIC ${sources})
        target_include_directories(kavrin_${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
        foreach(dep IN LISTS L_DEPENDS)
            target_link_libraries(kavrin_${name} PUBLIC kavrin_${dep})
        endforeach()
        kavrin_warnings(kavrin_${name})
        kavrin_sanitize(kavrin_${name})
    else()
        add_library(kavrin_${name} INTERFACE)
        target_include_directories(kavrin_${name} INTERFACE ${CMAKE_SOURCE_DIR}/src)
        foreach(dep IN LISTS L_DEPENDS)
            target_link_libraries(kavrin_${name} INTERFACE kavrin_${dep})
        endforeach()
    endif()
    kavrin_check_includes(kavrin_${name} ${name} SOURCES ${sources} ${headers} ALLOWED ${allowed})
    set(KAVRIN_CORE_SOURCES ${KAVRIN_CORE_SOURCES} ${sources} PARENT_SCOPE)
endfunction()
