# Fails when a folder includes a header of a folder above it. From the
# bottom: framework/ (the thin Win32 layer), version/, engine/ (everything a
# run and a removal decide and do), pages/, wizard/, and app/ on top;
# comserver/ and checker/ stand beside the app and use the engine and below.
# res/ holds the resource identifiers the windows use. No folder below the
# app names the application object. Each offending line is named. Every file
# at any depth below a folder is read, and an include names a folder whether
# it is written "dir/x.h", <dir/x.h> or "../dir/x.h".
# Usage: cmake -DROOT=<source folder> -P CheckLayering.cmake
set(allowed_framework framework)
set(allowed_version framework version)
set(allowed_engine framework version engine)
set(allowed_pages framework version engine pages res)
set(allowed_wizard framework version engine pages wizard res)
set(allowed_comserver framework version engine comserver res)
set(allowed_checker framework version engine checker)
set(allowed_app framework version engine pages wizard comserver res app)
set(layers framework version engine pages wizard comserver checker app res)
set(failures "")
foreach(folder framework version engine pages wizard comserver checker app)
    file(GLOB_RECURSE files "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.hpp" "${ROOT}/${folder}/*.cpp"
         "${ROOT}/${folder}/*.c" "${ROOT}/${folder}/*.rc")
    if(NOT files)
        message(FATAL_ERROR "no sources found in ${ROOT}/${folder}")
    endif()
    foreach(file IN LISTS files)
        file(STRINGS "${file}" lines)
        set(number 0)
        foreach(line IN LISTS lines)
            math(EXPR number "${number} + 1")
            # A system header in angle brackets (<sys/types.h>) is no layer;
            # a quoted folder is one of the project's or a mistake.
            if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*([\"<])(\\.\\.?[/\\\\])*([A-Za-z_]+)[/\\\\]")
                set(quote "${CMAKE_MATCH_1}")
                set(named "${CMAKE_MATCH_3}")
                string(TOLOWER "${named}" named)
                list(FIND layers "${named}" isLayer)
                list(FIND allowed_${folder} "${named}" found)
                if(found EQUAL -1 AND (quote STREQUAL "\"" OR NOT isLayer EQUAL -1))
                    string(APPEND failures "\n${file}:${number}: ${line}   (${folder}/ may not include ${named}/)")
                endif()
            endif()
            if(NOT folder STREQUAL "app" AND line MATCHES "theApp")
                string(APPEND failures "\n${file}:${number}: ${line}   (only app/ knows the application object)")
            endif()
        endforeach()
    endforeach()
endforeach()
if(failures)
    message(FATAL_ERROR "a folder reaches above its layer:${failures}")
endif()
