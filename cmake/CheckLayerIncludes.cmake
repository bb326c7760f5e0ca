cmake_minimum_required(VERSION 3.25)
# Fails when a source of a layer includes a project header from a folder the layer
# does not depend on: a climb up the layers is a build error, not a review comment.
# -DLAYER=name -DALLOWED="folder;folder" -DSOURCES="file;file" -DSTAMP=file
foreach(source IN LISTS SOURCES)
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[^\"/]+/")
    foreach(line IN LISTS includes)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([^\"/]+)/.*" "\\1" folder "${line}")
        if(NOT folder IN_LIST ALLOWED)
            message(FATAL_ERROR "${source}: layer '${LAYER}' may not include \"${folder}/...\" "
                                "(allowed: ${ALLOWED}); ${line}")
        endif()
    endforeach()
endforeach()
file(TOUCH ${STAMP})
