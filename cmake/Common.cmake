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
